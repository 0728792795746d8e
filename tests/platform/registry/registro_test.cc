// The registry operations of the script commands, over the file registry.
#include "system/registro.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "registry_test_util.h"

namespace mlx {
namespace {

using registry::testing::TempDir;

class RegistroTest : public TempDir {
 protected:
  void SetUp() override {
    TempDir::SetUp();
    reg_ = registry::MakeFileRegistry(Path("registry.reg"));
  }

  bool KeyExists(registry::Handle root, const std::string& path) {
    registry::Handle key = 0;
    if (reg_->OpenKeyEx(root, path, 0, registry::kKeyRead, &key) != registry::kSuccess) {
      return false;
    }
    reg_->CloseKey(key);
    return true;
  }

  std::unique_ptr<registry::Registry> reg_;
};

TEST_F(RegistroTest, UnknownRootChangesNothing) {
  EXPECT_EQ(RadiceRegistro("hklm"), 0u);
  EXPECT_EQ(RadiceRegistro("HKEY_LOCAL_MACHINE"), 0u);
  EXPECT_EQ(ScriviValoreRegistro(*reg_, "hklm", "Software\\X", "v", "1"), registry::kInvalidHandle);
  EXPECT_EQ(EliminaValoreRegistro(*reg_, "hklm", "Software\\X\\v"), registry::kInvalidHandle);
  long code = 0;
  EXPECT_EQ(LeggiValoreRegistro(*reg_, "hklm", "Software", "v", &code), "v");
  EXPECT_EQ(code, registry::kInvalidHandle);
  EXPECT_FALSE(std::filesystem::exists(Path("registry.reg")));
}

TEST_F(RegistroTest, ReadingGivesNameForMissingKeyAndEmptyForMissingValue) {
  long code = 0;
  EXPECT_EQ(LeggiValoreRegistro(*reg_, "HKCU", "Software\\Nope", "PathMDB", &code), "PathMDB");
  EXPECT_EQ(code, registry::kFileNotFound);

  ScriviValoreRegistro(*reg_, "HKCU", "Software\\App", "Empty", "");
  EXPECT_EQ(LeggiValoreRegistro(*reg_, "HKCU", "Software\\App", "Missing", &code), "");
  EXPECT_EQ(code, registry::kFileNotFound);
  EXPECT_EQ(LeggiValoreRegistro(*reg_, "HKCU", "Software\\App", "Empty", &code), "");
  EXPECT_EQ(code, registry::kSuccess);
}

TEST_F(RegistroTest, ValuesOfAnyLengthReadWhole) {
  for (std::size_t length : {1u, 199u, 200u, 500u, 5000u}) {
    std::string data;
    for (std::size_t i = 0; i < length; ++i) data += static_cast<char>('a' + i % 26);
    ScriviValoreRegistro(*reg_, "HKCU", "Software\\App", "Long", data);
    EXPECT_EQ(LeggiValoreRegistro(*reg_, "HKCU", "Software\\App", "Long"), data) << length;
  }
  // UTF-8 text counts its bytes, so nothing is cut.
  ScriviValoreRegistro(*reg_, "HKCU", "Software\\App", "Text", "\xc3\xa8 perch\xc3\xa9");
  EXPECT_EQ(LeggiValoreRegistro(*reg_, "HKCU", "Software\\App", "Text"), "\xc3\xa8 perch\xc3\xa9");
}

TEST_F(RegistroTest, OtherTypesReadUpToTheirFirstZeroByte) {
  registry::Handle key = 0;
  ASSERT_EQ(reg_->CreateKey(registry::kCurrentUser, "Software\\App", &key), registry::kSuccess);
  reg_->SetValueEx(key, "Number", registry::kDword, "\x2a\0\0\0", 4);
  reg_->SetValueEx(key, "Raw", registry::kBinary, "AB", 2);
  EXPECT_EQ(LeggiStringaRegistro(*reg_, key, "Number"), "*");
  EXPECT_EQ(LeggiStringaRegistro(*reg_, key, "Raw"), "");
  EXPECT_EQ(LeggiStringaRegistro(*reg_, key, "Missing"), "");
  EXPECT_EQ(LeggiStringaRegistro(*reg_, 0, "Number"), "");
}

TEST_F(RegistroTest, WritingCreatesEveryMissingKeyAndStoresAString) {
  EXPECT_EQ(ScriviValoreRegistro(*reg_, "HKCU", "Software\\A\\B", "Name", "value"),
            registry::kSuccess);
  EXPECT_TRUE(KeyExists(registry::kCurrentUser, "Software\\A"));
  registry::Handle key = 0;
  ASSERT_EQ(reg_->OpenKeyEx(registry::kCurrentUser, "Software\\A\\B", 0, registry::kKeyRead, &key),
            registry::kSuccess);
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  EXPECT_EQ(reg_->QueryValueEx(key, "Name", &type, nullptr, &size), registry::kSuccess);
  EXPECT_EQ(type, registry::kString);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(ImpostaValoreRegistro(*reg_, registry::kCurrentUser, "Software\\A\\B", "Name", "new"),
            registry::kSuccess);
  EXPECT_EQ(LeggiStringaRegistro(*reg_, key, "name"), "new");  // the open key sees the change
}

TEST_F(RegistroTest, DeletingValues) {
  // The key is opened by creating it: a missing key is left behind, empty.
  EXPECT_EQ(EliminaValoreRegistro(*reg_, "HKCU", "Software\\New\\Key\\v"), registry::kFileNotFound);
  EXPECT_TRUE(KeyExists(registry::kCurrentUser, "Software\\New\\Key"));

  // Without a backslash the value is one of the root's own.
  registry::Handle root = registry::kCurrentUser;
  reg_->SetValueEx(root, "Top", registry::kString, "t", 2);
  EXPECT_EQ(EliminaValoreRegistro(*reg_, "HKCU", "Top"), registry::kSuccess);
  EXPECT_EQ(LeggiStringaRegistro(*reg_, root, "Top"), "");
}

// Another process that makes the value longer after every size query: the read asks again
// and gets the whole value, and gives up with 234 only when it never stops growing.
class Crescente final : public registry::RegistryWrapper {
 public:
  Crescente(registry::Registry& base, int growths) : RegistryWrapper(base), growths_(growths) {
    text_ = LeggiValoreRegistro(base, "HKCU", "Software\\G", "v");
  }
  long QueryValueEx(registry::Handle k, const std::string& n, std::uint32_t* t, char* d,
                    std::uint32_t* s) override {
    const long rc = target().QueryValueEx(k, n, t, d, s);
    if (growths_-- > 0) {
      text_ += "+";
      target().SetValueEx(k, n, registry::kString, text_.c_str(),
                          static_cast<std::uint32_t>(text_.size() + 1));
    }
    return rc;
  }

 private:
  int growths_;
  std::string text_;
};

TEST_F(RegistroTest, AValueThatGrowsWhileItIsReadIsReadWhole) {
  ASSERT_EQ(ScriviValoreRegistro(*reg_, "HKCU", "Software\\G", "v", "v"), registry::kSuccess);
  Crescente tre(*reg_, 3);
  long code = -1;
  EXPECT_EQ(LeggiValoreRegistro(tre, "HKCU", "Software\\G", "v", &code), "v+++");
  EXPECT_EQ(code, registry::kSuccess);
  Crescente sempre(*reg_, 1000);
  EXPECT_EQ(LeggiValoreRegistro(sempre, "HKCU", "Software\\G", "v", &code), "");
  EXPECT_EQ(code, registry::kMoreData);
}

}  // namespace
}  // namespace mlx
