// Copy texts, the format a file name asks for and the list's keys.
#include <gtest/gtest.h>

#include "list_commands.h"

namespace {

TEST(Copy, Texts)
{
  const std::vector<TResultRow> rows = {
      {"2", "VL-2108", "02:00:00:00:00:02", "10.0.0.2"},
      {"1", "VL-2104", "02:00:00:00:00:01", ""},
  };
  struct Case {
    std::vector<TResultRow> rows;
    TCopyWhat what;
    const char *line_end;
    const char *text;
  };
  const Case cases[] = {
      {rows, TCopyWhat::Rows, "\n", "2\tVL-2108\t02:00:00:00:00:02\t10.0.0.2\n1\tVL-2104\t02:00:00:00:00:01\t"},
      {rows, TCopyWhat::Rows, "\r\n", "2\tVL-2108\t02:00:00:00:00:02\t10.0.0.2\r\n1\tVL-2104\t02:00:00:00:00:01\t"},
      {rows, TCopyWhat::IpAddress, "\n", "10.0.0.2\n"},
      {rows, TCopyWhat::MacAddress, "\r\n", "02:00:00:00:00:02\r\n02:00:00:00:00:01"},
      {{rows[0]}, TCopyWhat::Rows, "\n", "2\tVL-2108\t02:00:00:00:00:02\t10.0.0.2"},
      {{}, TCopyWhat::Rows, "\n", ""},
  };
  for (const Case &c : cases)
    EXPECT_EQ(CopyText(c.rows, c.what, c.line_end), c.text);
}

// A field holding a tab or a line end (a model name from the model file)
// cannot split the copied row: control characters show as U+FFFD.
TEST(Copy, FieldsShowControlCharactersAsReplacement)
{
  const std::vector<TResultRow> rows = {{"1", "VL\t2108", "02:00:00:00:00:11", "10.0.0.1"},
                                        {"2", "VL\n\x1b[31m2104\x7f", "02:00:00:00:00:12", "10.0.0.2"}};
  EXPECT_EQ(CopyText(rows, TCopyWhat::Rows),
            "1\tVL\uFFFD2108\t02:00:00:00:00:11\t10.0.0.1\n"
            "2\tVL\uFFFD\uFFFD[31m2104\uFFFD\t02:00:00:00:00:12\t10.0.0.2");
  EXPECT_EQ(CopyText({{"1", "m", "02:00:00:00:00:11\t", "10.0.0.1\r"}}, TCopyWhat::IpAddress),
            "10.0.0.1\uFFFD");
  EXPECT_EQ(CopyText({{"1", "m", "02:00:00:00:00:11\t", "10.0.0.1"}}, TCopyWhat::MacAddress),
            "02:00:00:00:00:11\uFFFD");
}

TEST(Save, FormatForFileName)
{
  struct Case {
    const char *path;
    TResultFormat fallback, format;
  };
  const Case cases[] = {
      {"a/b.JSON", TResultFormat::Csv, TResultFormat::Json},
      {"b.txt", TResultFormat::Csv, TResultFormat::Table},
      {"C:\\Users\\x\\result.Csv", TResultFormat::Json, TResultFormat::Csv},
      {"b.log", TResultFormat::Table, TResultFormat::Table},
      {"b", TResultFormat::Json, TResultFormat::Json},
      {"dir.json/b", TResultFormat::Csv, TResultFormat::Csv},     // the folder's dot is not the type
      {"dir.json\\b", TResultFormat::Table, TResultFormat::Table},
      {"b.", TResultFormat::Json, TResultFormat::Json},
      {".csv", TResultFormat::Json, TResultFormat::Csv},
  };
  for (const Case &c : cases)
    EXPECT_EQ(FormatForFileName(c.path, c.fallback), c.format) << c.path;
}

TEST(Keys, ListKeyActions)
{
  struct Case {
    int letter;
    bool ctrl, shift, alt;
    TListKey action;
  };
  const Case cases[] = {
      {'A', true, false, false, TListKey::SelectAll}, {'A', true, true, false, TListKey::SelectAll},
      {'A', true, true, true, TListKey::SelectAll},   {'A', false, false, false, TListKey::None},
      {'A', false, true, true, TListKey::None},       {'C', true, false, false, TListKey::Copy},
      {'C', true, true, false, TListKey::None},       {'C', true, false, true, TListKey::None},
      {'C', false, false, false, TListKey::None},     {'B', true, false, false, TListKey::None},
      {0, true, false, false, TListKey::None},
  };
  for (const Case &c : cases)
    EXPECT_EQ(ListKeyAction(c.letter, c.ctrl, c.shift, c.alt), c.action)
        << char(c.letter) << c.ctrl << c.shift << c.alt;
}

}  // namespace
