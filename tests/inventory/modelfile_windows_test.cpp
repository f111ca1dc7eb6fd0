// Model file tests of what only the Windows build has: the places it is
// looked for in (the current folder, %APPDATA%\Vela, the program's folder)
// and how the platform's own INI reader differs from iniparser's.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "modelfile_fixture.h"
#include "modeltable.h"

namespace {

namespace fs = std::filesystem;

std::string ProgramFolder() {
  wchar_t exe[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
  return fs::path(std::wstring(exe, n)).parent_path().string();
}

TEST_F(ModelFile, FileIsLookedForHereThenInAppDataThenBesideTheProgram) {
  const fs::path root = TempName("model-places");
  const fs::path cwd = root / "cwd", appdata = root / "appdata";
  ASSERT_TRUE(fs::create_directories(cwd));
  ASSERT_TRUE(fs::create_directories(appdata / "Vela"));
  const fs::path old_cwd = fs::current_path();
  wchar_t old_appdata[MAX_PATH * 4] = L"";
  const bool had_appdata = GetEnvironmentVariableW(L"APPDATA", old_appdata, MAX_PATH * 4) != 0;
  fs::current_path(cwd);
  SetEnvironmentVariableW(L"APPDATA", appdata.wstring().c_str());

  const std::vector<std::string> places = ModelFilePlaces();
  ASSERT_EQ(places.size(), 3u);
  EXPECT_EQ(places[0], "model_name.ini");
  EXPECT_EQ(places[1], appdata.string() + "\\Vela\\model_name.ini");
  EXPECT_EQ(places[2], ProgramFolder() + "\\model_name.ini");

  EXPECT_EQ(FindModelFile(), "model_name.ini") << "none exists: the current folder's name";
  std::ofstream(appdata / "Vela" / "model_name.ini", std::ios::binary) << Section("a", "AppData", "a1", "1");
  EXPECT_EQ(FindModelFile(), places[1]);
  ASSERT_EQ(LoadModelFile(FindModelFile().c_str()), 0);
  EXPECT_STREQ(ModelRow(0).model_name, "AppData");
  std::ofstream("model_name.ini", std::ios::binary) << Section("a", "Here", "a1", "1");
  EXPECT_EQ(FindModelFile(), "model_name.ini") << "the current folder comes first";
  ASSERT_EQ(LoadModelFile(FindModelFile().c_str()), 0) << "a relative name is the current folder's";
  EXPECT_STREQ(ModelRow(0).model_name, "Here");

  fs::current_path(old_cwd);
  SetEnvironmentVariableW(L"APPDATA", had_appdata ? old_appdata : nullptr);
  fs::remove_all(root);
}

// The platform's INI reader and iniparser agree on everything the shipped
// file uses; they differ on comments after a value, '#' comment lines and
// continuation lines.  Here is what the Windows reader makes of them (the
// Linux side is in modelfile_linux_test.cpp).
TEST_F(ModelFile, WindowsReaderKeepsInlineCommentsAndKnowsNoContinuations) {
  const std::string path = Write(kReaderDifferences);
  ASSERT_EQ(LoadModelFile(path.c_str()), 0);
  EXPECT_STREQ(ModelRow(0).model_name, "VL-2108 ; was VL-2100") << "the comment stays part of the value";
  EXPECT_EQ(ModelRow(0).apid, 0x21u) << "a number stops at the blank anyway";
  EXPECT_EQ(ModelRow(1).apid, 0x22u) << "'# apid' is another key, not apid";
  EXPECT_STREQ(ModelRow(2).model_name, "VL-\\") << "no continuation lines";
  EXPECT_EQ(ModelRow(2).apid, 0x23u);
}

// Without a byte-order mark the file's bytes are taken as they are, as on
// Linux: UTF-8 model names come out unchanged.
TEST_F(ModelFile, Utf8NamesComeThroughWithAndWithoutByteOrderMark) {
  const std::string name = "Caf\xC3\xA9-\xE2\x82\xAC";  // "Café-€"
  const std::string plain = Write(Section("a", name, "a1", "1"));
  ASSERT_EQ(LoadModelFile(plain.c_str()), 0);
  EXPECT_EQ(std::string(ModelRow(0).model_name), name);
  ResetModelTable();
  const std::string marked = Write("\xEF\xBB\xBF" + Section("a", name, "a1", "1"));
  ASSERT_EQ(LoadModelFile(marked.c_str()), 0);
  EXPECT_EQ(std::string(ModelRow(0).model_name), name);
  EXPECT_EQ(ModelRow(0).apid, 0xa1u);
}

}  // namespace
