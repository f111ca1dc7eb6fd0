// The Windows program's text table is its STRINGTABLE resource: the same
// texts by the same numbers as the table built into the code, and the empty
// text for a number it does not have.
#include <gtest/gtest.h>

#include "texttable.h"
#include "win_util.h"

namespace {

TEST(StringTable, HoldsEveryTextOfTheBuiltInTable)
{
  int found = 0;
  for (int id = 0; id < 2000; ++id) {
    EXPECT_EQ(ResStr(id), LoadStr(id)) << id;
    found += !LoadStr(id).empty();
  }
  EXPECT_EQ(found, 15);
  EXPECT_EQ(ResStr(TXT_REG_KEY), "SoftWare\\Vela\\");
  EXPECT_EQ(ResStr(TXT_PROGRESS), "Found %d Vela(s), remain timeout = %d second(s)");
  // No column width texts: the columns keep their default widths.
  for (int id = 910; id <= 913; ++id)
    EXPECT_EQ(ResStr(id), "");
}

}  // namespace
