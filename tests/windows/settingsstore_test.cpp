// The settings in the current user's registry (wine's own, in the private prefix of the run):
// what is written reads back, expandable text comes expanded, and what is not a text of ours reads
// as empty, as the settings table expects.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "settingsstore.h"
#include "settingstable.h"

namespace {

// A key of its own per run, removed afterwards.
class SettingsStore : public testing::Test {
 protected:
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str()); }
  std::wstring key_ = L"QuorvelTest" + std::to_wstring(GetCurrentProcessId());
  std::string path(const std::string& name) const {
    return "QuorvelTest" + std::to_string(GetCurrentProcessId()) + "\\" + name;
  }
  void Raw(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
    RegCloseKey(key);
  }
};

TEST_F(SettingsStore, TextsRoundTrip) {
  EXPECT_EQ(core::ReadStoredText(path("设备号")), "") << "no key yet";
  for (const std::string& text : {std::string("3261"), std::string("D:\\地图\\新目录"), std::string(),
                                  std::string("3m21j27"), std::string(1000, 'x')}) {
    ASSERT_TRUE(core::WriteStoredText(path("设备号"), text)) << text;
    EXPECT_EQ(core::ReadStoredText(path("设备号")), text);
  }
  EXPECT_FALSE(core::WriteStoredText(path("x"), "\xff\xfe")) << "not UTF-8: would read back as another text";
  EXPECT_FALSE(core::WriteStoredText(path("x"), std::string("a\0b", 3)));
  EXPECT_EQ(core::ReadStoredText(path("x")), "");
  EXPECT_EQ(core::SettingsPlace(), "注册表 HKEY_CURRENT_USER\\Quorvel");
}

TEST_F(SettingsStore, WhatIsNotOurTextReadsAsEmpty) {
  const DWORD number = 7;
  Raw(L"dword", REG_DWORD, &number, sizeof number);
  EXPECT_EQ(core::ReadStoredText(path("dword")), "");
  const std::wstring expandable = L"%QUORVEL_TEST_DIR%\\dl";
  SetEnvironmentVariableW(L"QUORVEL_TEST_DIR", L"C:\\用户");
  Raw(L"folder", REG_EXPAND_SZ, expandable.c_str(), DWORD((expandable.size() + 1) * sizeof(wchar_t)));
  EXPECT_EQ(core::ReadStoredText(path("folder")), "C:\\用户\\dl");
  const std::wstring huge(100000, L'x');
  Raw(L"huge", REG_SZ, huge.c_str(), DWORD((huge.size() + 1) * sizeof(wchar_t)));
  EXPECT_EQ(core::ReadStoredText(path("huge")), "") << "too long to be a setting";
  Raw(L"unterminated", REG_SZ, L"abc", 3 * sizeof(wchar_t));
  EXPECT_EQ(core::ReadStoredText(path("unterminated")), "abc");
}

// The table's values live under HKEY_CURRENT_USER\Quorvel, not under Software, as the Windows
// program always kept them.
TEST_F(SettingsStore, TheTableUsesTheQuorvelKey) {
  const std::string before = core::ReadStoredText("Quorvel\\图资");
  ASSERT_TRUE(core::WriteSetting(core::kMapDataVersion, "3m22a01"));
  wchar_t text[64] = {};
  DWORD bytes = sizeof text;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Quorvel", L"图资", RRF_RT_REG_SZ, nullptr, text, &bytes), ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(text), L"3m22a01");
  EXPECT_EQ(core::ReadSetting(core::kMapDataVersion), "3m22a01");
  core::WriteStoredText("Quorvel\\图资", before);
}

}  // namespace
