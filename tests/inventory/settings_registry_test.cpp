// Search settings from the registry (Windows build): DWORD values SerCnt
// and SerTim, REG_SZ Interfaces, the defaults where a value is missing or
// of another type, and LastTarget in a value of its own.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "last_target.h"
#include "settings.h"

namespace {

// A key of this test's own under HKEY_CURRENT_USER, deleted afterwards.
class RegistrySettings : public ::testing::Test {
 protected:
  void SetUp() override {
    key_path_ = "Software\\VelaTest\\" + std::to_string(GetCurrentProcessId());
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key_path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(key_);
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VelaTest");
  }
  void Dword(const char *name, DWORD v) {
    ASSERT_EQ(RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v), sizeof v),
              ERROR_SUCCESS);
  }
  void Text(const char *name, const std::wstring &v) {
    const std::wstring wname(name, name + strlen(name));
    ASSERT_EQ(RegSetValueExW(key_, wname.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(v.c_str()),
                             static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
  TSearchSettings Load() { return LoadSearchSettings("HKEY_CURRENT_USER\\" + key_path_); }

  std::string key_path_;
  HKEY key_ = nullptr;
};

TEST_F(RegistrySettings, TheKeyIsTheCurrentUsersVela20) {
  EXPECT_EQ(SearchSettingsPath(), "HKEY_CURRENT_USER\\SoftWare\\Vela\\2.0");
}

TEST_F(RegistrySettings, ValuesAreTakenAsTheyAre) {
  struct Case {
    DWORD cnt, tim;
    int32_t want_cnt, want_tim;
  };
  const Case cases[] = {{3, 250, 3, 250}, {0, 0, 0, 0}, {0xFFFFFFFFu, 0x80000000u, -1, INT32_MIN}};
  for (const Case &c : cases) {
    Dword("SerCnt", c.cnt);
    Dword("SerTim", c.tim);
    const TSearchSettings s = Load();
    EXPECT_EQ(s.SerCnt, c.want_cnt) << c.cnt;
    EXPECT_EQ(s.SerTim, c.want_tim) << c.tim;
  }
}

TEST_F(RegistrySettings, MissingKeyOrValuesGiveTheDefaults) {
  const TSearchSettings none = LoadSearchSettings("HKEY_CURRENT_USER\\Software\\VelaTest\\no such key");
  EXPECT_EQ(none.SerCnt, 5);
  EXPECT_EQ(none.SerTim, 1000);
  EXPECT_EQ(none.Interfaces, "");
  Dword("SerTim", 700);
  TSearchSettings s = Load();
  EXPECT_EQ(s.SerCnt, 5) << "missing value";
  EXPECT_EQ(s.SerTim, 700);
  Text("SerCnt", L"7");
  s = Load();
  EXPECT_EQ(s.SerCnt, 5) << "a text where a DWORD belongs";
}

TEST_F(RegistrySettings, InterfacesIsAText) {
  Text("Interfaces", L"Ethernet 2, vela-a,Wi-Fi \u00e9");
  EXPECT_EQ(Load().Interfaces, "Ethernet 2, vela-a,Wi-Fi \xC3\xA9");
  Dword("Interfaces", 1);
  EXPECT_EQ(Load().Interfaces, "") << "a DWORD where a text belongs";
}

// LastTarget lives in the program's own key (saved and put back here, so a
// run on a real desktop keeps the user's value).
TEST_F(RegistrySettings, LastTargetIsRememberedInItsOwnValue) {
  const std::string before = LoadLastTarget();
  ASSERT_TRUE(SaveLastTarget("10.20.30.0/24"));
  EXPECT_EQ(LoadLastTarget(), "10.20.30.0/24");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SoftWare\\Vela\\2.0", 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD type = 0;
  EXPECT_EQ(RegQueryValueExA(key, "LastTarget", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  RegCloseKey(key);
  const TSearchSettings s = LoadSearchSettings();
  EXPECT_EQ(s.SerCnt, 5) << "remembering creates no setting";
  EXPECT_EQ(s.SerTim, 1000);
  SaveLastTarget(before);
}

}  // namespace
