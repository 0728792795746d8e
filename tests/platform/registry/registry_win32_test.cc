// The system's registry under the same calls as the file registry: result codes, sizes, text
// crossing the API as UTF-16, and a key the user may not write. Works in a key of its own
// under HKCU\Software, removed afterwards.
#include <gtest/gtest.h>

#include <string>

#include "platform/registry/overlay.h"
#include "platform/registry/registry.h"
#include "platform/text/wide.h"
// clang-format off: the security header needs the system's, which wide.h brings.
#include <sddl.h>
// clang-format on
#include "system/registro.h"

namespace mlx::registry {
namespace {

class SystemRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = "Software\\MarlovexTest\\" + std::to_string(GetCurrentProcessId());
    reg_ = MakeSystemRegistry();
  }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, text::ToWide(base_).c_str()); }

  // The value as the system holds it, read without the service.
  std::wstring Raw(const std::string& key, const std::string& value, DWORD* type) {
    wchar_t buffer[512] = {};
    DWORD size = sizeof buffer;
    long rc =
        RegGetValueW(HKEY_CURRENT_USER, text::ToWide(base_ + "\\" + key).c_str(),
                     text::ToWide(value).c_str(), RRF_RT_ANY | RRF_NOEXPAND, type, buffer, &size);
    return rc == ERROR_SUCCESS ? std::wstring(buffer, size / sizeof(wchar_t)) : L"<assente>";
  }

  std::string base_;
  std::unique_ptr<Registry> reg_;
};

TEST_F(SystemRegistryTest, TextCrossesAsUtf16AndComesBackWhole) {
  // Names and data outside any ANSI code page.
  const std::string key = "Citt\xC3\xA0 \xE2\x98\x83\\\xE4\xB8\xAD";
  const std::string name = "Perch\xC3\xA9";
  const std::string data = "C:\\Programmi\\\xCE\xA9mega \xF0\x9F\x98\x80.mdb";
  EXPECT_EQ(ImpostaValoreRegistro(*reg_, kCurrentUser, base_ + "\\" + key, name, data), kSuccess);
  DWORD type = 0;
  EXPECT_EQ(Raw(key, name, &type), text::ToWide(data) + L'\0');
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  long rc = -1;
  EXPECT_EQ(LeggiValoreRegistro(*reg_, "HKCU", base_ + "\\" + key, name, &rc), data);
  EXPECT_EQ(rc, kSuccess);

  // The narrow size counts UTF-8 bytes and the zero; a short buffer gets 234 and that size,
  // with nothing written past it.
  Handle h = 0;
  ASSERT_EQ(reg_->OpenKeyEx(kCurrentUser, base_ + "\\" + key, 0, kKeyRead, &h), kSuccess);
  std::uint32_t size = 0, value_type = 0;
  EXPECT_EQ(reg_->QueryValueEx(h, name, &value_type, nullptr, &size), kSuccess);
  EXPECT_EQ(size, data.size() + 1);
  EXPECT_EQ(value_type, kString);
  std::string small(8, '#');
  std::uint32_t small_size = 4;
  EXPECT_EQ(reg_->QueryValueEx(h, name, nullptr, small.data(), &small_size), kMoreData);
  EXPECT_EQ(small_size, data.size() + 1);
  EXPECT_EQ(small.substr(4), "####");
  EXPECT_EQ(reg_->CloseKey(h), kSuccess);
  EXPECT_EQ(reg_->CloseKey(h), kInvalidHandle);
}

TEST_F(SystemRegistryTest, ResultCodesAreTheSystems) {
  Handle h = 0;
  EXPECT_EQ(reg_->OpenKeyEx(kCurrentUser, base_ + "\\Manca", 0, kKeyRead, &h), kFileNotFound);
  EXPECT_EQ(h, 0u);
  EXPECT_EQ(reg_->OpenKeyEx(0x1234, "", 0, kKeyRead, &h), kInvalidHandle);
  EXPECT_EQ(reg_->OpenKeyEx(kCurrentUser, "Software", 0, kKeyRead, nullptr), kInvalidParameter);
  // Text that is not UTF-8 is refused, never stored under another name.
  EXPECT_EQ(reg_->CreateKey(kCurrentUser, base_ + "\\\xFF", &h), kInvalidParameter);

  ASSERT_EQ(reg_->CreateKey(kCurrentUser, base_ + "\\A\\B", &h), kSuccess);
  // Data of other types goes through as bytes, both ways.
  const std::uint32_t dword = 0x01020304;
  EXPECT_EQ(reg_->SetValueEx(h, "N", kDword, reinterpret_cast<const char*>(&dword), 4), kSuccess);
  std::uint32_t back = 0, size = 4, type = 0;
  EXPECT_EQ(reg_->QueryValueEx(h, "N", &type, reinterpret_cast<char*>(&back), &size), kSuccess);
  EXPECT_EQ(type, kDword);
  EXPECT_EQ(back, dword);
  EXPECT_EQ(reg_->QueryValueEx(h, "Manca", &type, nullptr, &size), kFileNotFound);
  EXPECT_EQ(reg_->DeleteValue(h, "N"), kSuccess);
  EXPECT_EQ(reg_->DeleteValue(h, "N"), kFileNotFound);
  EXPECT_EQ(reg_->CloseKey(h), kSuccess);

  // A key with keys below it is not deleted; a root never is.
  EXPECT_EQ(EliminaChiaveRegistro(*reg_, "HKCU", base_ + "\\A"), kAccessDenied);
  EXPECT_EQ(EliminaChiaveRegistro(*reg_, "HKCU", base_ + "\\A\\B"), kSuccess);
  EXPECT_EQ(EliminaChiaveRegistro(*reg_, "HKCU", base_ + "\\A\\B"), kFileNotFound);
  EXPECT_EQ(reg_->DeleteKey(kCurrentUser, ""), kAccessDenied);
  EXPECT_EQ(reg_->CreateKey(kCurrentUser, "", &h), kSuccess);
  EXPECT_EQ(h, kCurrentUser);
}

// Keys are those a 32-bit program sees: the host application's own, and its installers'.
TEST_F(SystemRegistryTest, TheViewOfThirtyTwoBitPrograms) {
  const std::string key = "Software\\MarlovexVista" + std::to_string(GetCurrentProcessId());
  ASSERT_EQ(ImpostaValoreRegistro(*reg_, kLocalMachine, key, "V", "32"), kSuccess);
  HKEY seen = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, text::ToWide(key).c_str(), 0,
                          KEY_READ | KEY_WOW64_32KEY, &seen),
            ERROR_SUCCESS);
  RegCloseKey(seen);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, text::ToWide(key).c_str(), 0,
                          KEY_READ | KEY_WOW64_64KEY, &seen),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(LeggiValoreRegistro(*reg_, "HKLM", key, "V"), "32");
  EXPECT_EQ(EliminaChiaveRegistro(*reg_, "HKLM", key), kSuccess);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, text::ToWide(key).c_str(), 0,
                          KEY_READ | KEY_WOW64_32KEY, &seen),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(SystemRegistryTest, RefusalsAreTheSystemsOwnCodes) {
  // A key the system refuses to make answers the system's code, and nothing is left behind.
  HKEY volatile_key = nullptr;
  ASSERT_EQ(
      RegCreateKeyExW(HKEY_CURRENT_USER, text::ToWide(base_ + "\\Volatile").c_str(), 0, nullptr,
                      REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &volatile_key, nullptr),
      ERROR_SUCCESS);
  RegCloseKey(volatile_key);
  EXPECT_EQ(ImpostaValoreRegistro(*reg_, kCurrentUser, base_ + "\\Volatile\\Fissa", "V", "x"),
            static_cast<long>(ERROR_CHILD_MUST_BE_VOLATILE));
  Handle h = 0;
  EXPECT_EQ(reg_->OpenKeyEx(kCurrentUser, base_ + "\\Volatile\\Fissa", 0, kKeyRead, &h),
            kFileNotFound);
}

// A key the user may read but not write, as HKLM is to a user without rights: writes answer
// the system's refusal (5) and change nothing, reads still work, and the overlay of a dry run
// refuses the same writes without making them.
TEST_F(SystemRegistryTest, AKeyTheUserMayNotWrite) {
  ASSERT_EQ(ImpostaValoreRegistro(*reg_, kCurrentUser, base_ + "\\Protetta", "V", "prima"),
            kSuccess);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, text::ToWide(base_ + "\\Protetta").c_str(), 0,
                          WRITE_DAC | KEY_WOW64_32KEY, &key),
            ERROR_SUCCESS);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  // Everyone may read and delete (so that the test can clean up), nobody may write.
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"D:P(A;;KRSD;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
  const LONG set = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
  LocalFree(descriptor);
  RegCloseKey(key);
  ASSERT_EQ(set, ERROR_SUCCESS);

  EXPECT_EQ(ImpostaValoreRegistro(*reg_, kCurrentUser, base_ + "\\Protetta", "V", "dopo"),
            kAccessDenied);
  EXPECT_EQ(ImpostaValoreRegistro(*reg_, kCurrentUser, base_ + "\\Protetta", "Nuovo", "x"),
            kAccessDenied);
  EXPECT_EQ(LeggiValoreRegistro(*reg_, "HKCU", base_ + "\\Protetta", "V"), "prima");
  Handle h = 0;
  ASSERT_EQ(reg_->OpenKeyEx(kCurrentUser, base_ + "\\Protetta", 0, kKeyRead, &h), kSuccess);
  EXPECT_EQ(reg_->DeleteValue(h, "V"), kAccessDenied);
  reg_->CloseKey(h);

  auto overlay = MakeOverlayRegistry(*reg_);
  EXPECT_EQ(ImpostaValoreRegistro(*overlay, kCurrentUser, base_ + "\\Protetta", "V", "dopo"),
            kAccessDenied);
  EXPECT_EQ(LeggiValoreRegistro(*overlay, "HKCU", base_ + "\\Protetta", "V"), "prima");
  DWORD type = 0;
  EXPECT_EQ(Raw("Protetta", "V", &type), L"prima" + std::wstring(1, L'\0'));
  EXPECT_EQ(Raw("Protetta", "Nuovo", &type), L"<assente>");
}

// The overlay over the system's registry sees its keys and values, subkeys included, and leaves
// them as they were.
TEST_F(SystemRegistryTest, TheOverlaySeesTheSystemsKeysAndLeavesThemAlone) {
  ASSERT_EQ(ImpostaValoreRegistro(*reg_, kCurrentUser, base_ + "\\A\\Sotto", "V", "uno"), kSuccess);
  Handle a = 0;
  std::string name;
  ASSERT_EQ(reg_->OpenKeyEx(kCurrentUser, base_ + "\\A", 0, kKeyRead, &a), kSuccess);
  EXPECT_EQ(reg_->EnumKey(a, 0, &name), kSuccess);
  EXPECT_EQ(name, "Sotto");
  EXPECT_EQ(reg_->EnumKey(a, 1, &name), kNoMoreItems);
  reg_->CloseKey(a);

  auto overlay = MakeOverlayRegistry(*reg_);
  EXPECT_EQ(LeggiValoreRegistro(*overlay, "HKCU", base_ + "\\A\\Sotto", "V"), "uno");
  EXPECT_EQ(ImpostaValoreRegistro(*overlay, kCurrentUser, base_ + "\\A\\Sotto", "V", "due"),
            kSuccess);
  EXPECT_EQ(LeggiValoreRegistro(*overlay, "HKCU", base_ + "\\A\\Sotto", "V"), "due");
  EXPECT_EQ(EliminaChiaveRegistro(*overlay, "HKCU", base_ + "\\A"), kAccessDenied);
  EXPECT_EQ(EliminaChiaveRegistro(*overlay, "HKCU", base_ + "\\A\\Sotto"), kSuccess);
  EXPECT_EQ(EliminaChiaveRegistro(*overlay, "HKCU", base_ + "\\A"), kSuccess);
  EXPECT_EQ(ImpostaValoreRegistro(*overlay, kCurrentUser, base_ + "\\Nuova", "N", "x"), kSuccess);
  DWORD type = 0;
  EXPECT_EQ(Raw("A\\Sotto", "V", &type), L"uno" + std::wstring(1, L'\0'));
  EXPECT_EQ(Raw("Nuova", "N", &type), L"<assente>");
}

}  // namespace
}  // namespace mlx::registry
