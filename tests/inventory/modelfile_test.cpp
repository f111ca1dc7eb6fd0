// Model table and model file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "modelfile_fixture.h"
#include "modeltable.h"

#ifndef VELA_SOURCE_DIR
#error VELA_SOURCE_DIR must name the source tree
#endif

namespace {

TEST_F(ModelFile, BuiltInRows) {
  for (int i = 0; i < MODEL_BUILTIN_ROWS; i++) {
    _MODELINFO r = ModelRow(i);
    EXPECT_NE(r.apid, 0u) << i;
    EXPECT_EQ(r.ports, 4u);
    EXPECT_EQ(r.k_upgtout, 40000u);
    EXPECT_EQ(r.f_upgtout, 20000u);
    EXPECT_LE(r.model_flag, 2u);
    EXPECT_GT(std::strlen(r.model_name), 0u);
    EXPECT_EQ(FindModel(r.apid, r.hwid), i) << "built-in rows are distinct";
  }
  for (int i = MODEL_BUILTIN_ROWS; i < MODEL_ROWS; i++) {
    _MODELINFO r = ModelRow(i);
    EXPECT_EQ(r.apid | r.hwid | r.ports | r.model_flag | r.k_upgtout | r.f_upgtout, 0u);
    EXPECT_EQ(r.model_name[0], '\0');
  }
  EXPECT_EQ(FindModel(0, 0), MODEL_BUILTIN_ROWS);  // the first empty row
  EXPECT_EQ(FindModel(0x12345678, 1), -1);
  EXPECT_EQ(ModelPorts(0x12345678, 1), 0u);
  EXPECT_EQ(ModelPorts(0x00560001, 0x2104), 4u);
}

TEST_F(ModelFile, ShippedFileListsTheBuiltInRows) {
  _MODELINFO before[MODEL_ROWS];
  for (int i = 0; i < MODEL_ROWS; i++)
    before[i] = ModelRow(i);
  ASSERT_EQ(LoadModelFile(VELA_SOURCE_DIR "/data/model_name.ini"), 0);
  for (int i = 0; i < MODEL_ROWS; i++)
    EXPECT_EQ(std::memcmp(&before[i], &ModelTable[i], sizeof(_MODELINFO)), 0) << "row " << i;
}

TEST_F(ModelFile, ValuesAreHexadecimal) {
  std::string path = Write(
      "[m]\nmodel_name = Probe\napid = 10\nhwid = 12345\nmodel_flag = 0x2\n"
      "k_upgtout = 9c40\nf_upgtout =  4e20zz\nports = xyz\n");
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  _MODELINFO r = ModelRow(0);
  EXPECT_STREQ(r.model_name, "Probe");
  EXPECT_EQ(r.apid, 16u);
  EXPECT_EQ(r.hwid, 0x2345);
  EXPECT_EQ(r.model_flag, 2u);
  EXPECT_EQ(r.k_upgtout, 40000u);
  EXPECT_EQ(r.f_upgtout, 20000u);  // stops at the first non-digit
  EXPECT_EQ(r.ports, 0u);          // no digits
}

TEST_F(ModelFile, ValueBeyond32BitsSaturates) {
  std::string path = Write(Section("m", "Big", "123456789abc", "1"));
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  EXPECT_EQ(ModelRow(0).apid, 0xFFFFFFFFu);
}

TEST_F(ModelFile, ThreeSectionsReplaceRowsZeroToTwoOnly) {
  _MODELINFO row3 = ModelRow(3), row43 = ModelRow(43);
  uint32_t old_apid = ModelRow(0).apid;
  uint16_t old_hwid = ModelRow(0).hwid;
  std::string path = Write(Section("first", "One", "a1", "1") + Section("second", "Two", "a2", "2") +
                           Section("third", "Three", "a3", "3"));
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  EXPECT_STREQ(ModelRow(0).model_name, "One");
  EXPECT_STREQ(ModelRow(1).model_name, "Two");
  EXPECT_STREQ(ModelRow(2).model_name, "Three");
  EXPECT_EQ(ModelRow(2).apid, 0xa3u);
  EXPECT_EQ(std::memcmp(&row3, &ModelTable[3], sizeof row3), 0);
  EXPECT_EQ(std::memcmp(&row43, &ModelTable[43], sizeof row43), 0);
  EXPECT_EQ(FindModel(old_apid, old_hwid), -1) << "the replaced built-in model is gone";
}

TEST_F(ModelFile, KeysInMixedCaseAreFound) {
  std::string path = Write("[Mixed]\nMODEL_NAME = Loud\nApId = 55\nHWID = 66\nPorts = 8\n");
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  EXPECT_STREQ(ModelRow(0).model_name, "Loud");
  EXPECT_EQ(ModelRow(0).apid, 0x55u);
  EXPECT_EQ(ModelRow(0).hwid, 0x66);
  EXPECT_EQ(ModelRow(0).ports, 8u);
}

TEST_F(ModelFile, MissingKeysReadAsZero) {
  std::string path = Write("[bare]\napid = 7\n");
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  _MODELINFO r = ModelRow(0);
  EXPECT_EQ(r.apid, 7u);
  EXPECT_EQ(r.model_name[0], '\0');
  EXPECT_EQ(r.hwid | r.ports | r.k_upgtout, 0u);
}

TEST_F(ModelFile, FailedLoadChangesNothingAndSaysSo) {
  std::string path = Write(Section("first", "Kept", "a1", "1"));
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  _MODELINFO before[MODEL_ROWS];
  std::memcpy(before, ModelTable, sizeof before);
  const char *missing = "/nonexistent/dir/model_name.ini";
  testing::internal::CaptureStderr();
  EXPECT_EQ(LoadModelFile(missing), -1);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "cannot parse file [/nonexistent/dir/model_name.ini]\n");
  EXPECT_EQ(std::memcmp(before, ModelTable, sizeof before), 0);
  EXPECT_STREQ(ModelRow(0).model_name, "Kept");
}

TEST_F(ModelFile, MoreSectionsThanRowsAreIgnored) {
  std::string text;
  for (int i = 0; i < 150; i++)
    text += Section("s" + std::to_string(i), "M" + std::to_string(i), std::to_string(1000 + i), "1");
  std::string path = Write(text);
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  EXPECT_STREQ(ModelRow(0).model_name, "M0");
  EXPECT_STREQ(ModelRow(99).model_name, "M99");
  // The apid texts 1000, 1099, 1100 are read as hexadecimal.
  EXPECT_EQ(FindModel(0x1000, 1), 0);
  EXPECT_EQ(FindModel(0x1099, 1), 99);
  EXPECT_EQ(FindModel(0x1100, 1), -1) << "section 100 must not be loaded";
}

TEST_F(ModelFile, LongNamesAreCut) {
  std::string longname(200, 'N');
  std::string longsec(300, 's');
  std::string path = Write(Section(longsec, longname, "77", "7"));
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  _MODELINFO r = ModelRow(0);
  EXPECT_EQ(std::string(r.model_name), std::string(39, 'N'));
  EXPECT_EQ(r.apid, 0x77u) << "a long section name still builds its keys";
  EXPECT_EQ(ModelRow(1).apid, 0x00560001u) << "the next row is untouched";
}

TEST_F(ModelFile, DuplicatePairGivesTheLowerRow) {
  std::string path = Write(Section("a", "First", "99", "1") + Section("b", "Second", "99", "1"));
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  EXPECT_EQ(FindModel(0x99, 1), 0);
}

TEST_F(ModelFile, DirectoryOfThatNameIsUnreadable) {
  std::string good = Write(Section("first", "Kept", "a1", "1"));
  ASSERT_EQ(LoadModelFile(good.c_str()), 0);
  _MODELINFO before[MODEL_ROWS];
  std::memcpy(before, ModelTable, sizeof before);
  const std::filesystem::path dir = TempName("model-dir");
  std::string path = (dir / "model_name.ini").string();
  ASSERT_TRUE(std::filesystem::create_directories(path));
  testing::internal::CaptureStderr();
  EXPECT_EQ(LoadModelFile(path.c_str()), -1);
  std::string err = testing::internal::GetCapturedStderr();
  std::filesystem::remove_all(dir);
  EXPECT_EQ(err, "cannot parse file [" + path + "]\n");
  EXPECT_EQ(std::memcmp(before, ModelTable, sizeof before), 0);
}

// Values follow strtoul in base 16 with a 32-bit unsigned long: a minus
// sign negates the magnitude modulo 2^32, and only a magnitude beyond 32
// bits saturates.
TEST_F(ModelFile, SignedValuesWrapLikeA32BitStrtoul) {
  struct Case {
    const char *text;
    uint32_t value;
  };
  const Case cases[] = {
      {"-5", 0xFFFFFFFBu},          {" -1", 0xFFFFFFFFu},       {"-0x10", 0xFFFFFFF0u},
      {"-FFFFFFFF", 1u},            {"-0", 0u},                 {"-100000000", 0xFFFFFFFFu},
      {"-123456789abc", 0xFFFFFFFFu}, {"+10", 0x10u},           {"--5", 0u},
      {"- 5", 0u},                  {"-", 0u},                  {"-0x", 0u},
      {"0x", 0u},                   {"0xg", 0u},                {"FFFFFFFF", 0xFFFFFFFFu},
      {"00000000000000000001", 1u},
  };
  std::string text;
  int k = 0;
  for (const Case &c : cases)
    text += "[s" + std::to_string(k++) + "]\napid = " + c.text + "\nhwid = " + c.text + "\n";
  std::string path = Write(text);
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  k = 0;
  for (const Case &c : cases) {
    _MODELINFO r = ModelRow(k++);
    EXPECT_EQ(r.apid, c.value) << "apid = " << c.text;
    EXPECT_EQ(r.hwid, c.value & 0xFFFFu) << "hwid = " << c.text;
  }
}

}  // namespace
