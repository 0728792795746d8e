// The overlay over a file registry: every call answers as the file registry itself would after
// the same calls, and the base file stays byte for byte as it was.
#include "platform/registry/overlay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "registry_test_util.h"

namespace mlx::registry {
namespace {

constexpr char kBase[] =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\A]\r\n\"V\"=\"uno\"\r\n\"N\"=dword:00000007\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\A\\Sub]\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\B]\r\n\"W\"=\"x\"\r\n\"Kept\"=\"k\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Software]\r\n\"M\"=\"m\"\r\n\r\n";

class OverlayTest : public testing::TempDir {
 protected:
  void SetUp() override {
    TempDir::SetUp();
    WriteFile(Path("base.reg"), kBase);
    base_ = MakeFileRegistry(Path("base.reg"));
    overlay_ = MakeOverlayRegistry(*base_);
  }
  void TearDown() override {
    overlay_.reset();
    base_.reset();  // Windows removes no folder holding a file still open
    EXPECT_EQ(ReadFile(Path("base.reg")), expected_);
    TempDir::TearDown();
  }

  std::unique_ptr<Registry> base_;
  std::unique_ptr<OverlayRegistry> overlay_;
  std::string expected_ = kBase;  // the base file at the end
};

// The same calls, with the answers and what they read written down one a line.
std::vector<std::string> Play(Registry& r) {
  std::vector<std::string> out;
  auto code = [&](const char* what, long rc) {
    out.push_back(std::string(what) + " " + std::to_string(rc));
  };
  auto read = [&](Handle key, const char* name) {
    std::uint32_t type = 0, size = 0;
    long rc = r.QueryValueEx(key, name, &type, nullptr, &size);
    std::string data(size, '\0');
    if (rc == kSuccess) rc = r.QueryValueEx(key, name, &type, data.data(), &size);
    char small[2] = {'#', '#'};
    std::uint32_t small_size = sizeof small;
    long small_rc = r.QueryValueEx(key, name, nullptr, small, &small_size);
    out.push_back(std::string("read ") + name + " " + std::to_string(rc) + " " +
                  std::to_string(type) + " " + data + " | " + std::to_string(small_rc) + " " +
                  std::to_string(small_size) + " " + std::string(small, 2));
  };
  auto subkeys = [&](Handle key) {
    std::vector<std::string> names;
    std::string name;
    long rc = kSuccess;
    for (std::uint32_t i = 0; (rc = r.EnumKey(key, i, &name)) == kSuccess; ++i) {
      names.push_back(name);
    }
    std::sort(names.begin(), names.end());  // the order is not part of the answer
    std::string line = "keys " + std::to_string(rc);
    for (const std::string& n : names) line += " " + n;
    out.push_back(line);
  };
  Handle a = 0, sub = 0, sw = 0, deep = 0;
  code("open a", r.OpenKeyEx(kCurrentUser, "software\\a", 0, kKeyRead, &a));
  code("open software", r.OpenKeyEx(kCurrentUser, "Software\\", 0, kKeyRead, &sw));
  read(a, "v");
  read(a, "N");
  read(a, "missing");
  code("set v", r.SetValueEx(a, "V", kString, "due", 4));
  read(a, "V");
  code("set x", r.SetValueEx(a, "x", kBinary, "", 0));
  read(a, "X");
  code("delete n", r.DeleteValue(a, "n"));
  code("delete n again", r.DeleteValue(a, "N"));
  read(a, "N");
  code("delete a with a key below", r.DeleteKey(kCurrentUser, "Software\\A"));
  code("open sub", r.OpenKeyEx(a, "SUB", 0, kKeyRead, &sub));
  code("delete sub", r.DeleteKey(a, "Sub"));
  code("delete sub again", r.DeleteKey(kCurrentUser, "Software\\A\\Sub"));
  read(sub, "v");
  subkeys(a);
  code("delete a", r.DeleteKey(sw, "A"));
  read(a, "V");
  code("set on deleted", r.SetValueEx(a, "V", kString, "tre", 4));
  code("create below deleted", r.CreateKey(a, "C", &deep));
  code("delete value of deleted", r.DeleteValue(a, "V"));
  subkeys(a);
  subkeys(sw);
  code("open deleted", r.OpenKeyEx(kCurrentUser, "Software\\A", 0, kKeyRead, &deep));
  code("create again", r.CreateKey(kCurrentUser, "Software\\A\\New\\Deep", &deep));
  read(a, "V");  // the old handle names the key again, now without the values it had
  code("open old sub", r.OpenKeyEx(a, "Sub", 0, kKeyRead, &sub));
  subkeys(a);
  subkeys(sw);
  code("set deep", r.SetValueEx(deep, "", kDword, "\x01\x02\x03\x04", 4));
  read(deep, "");
  code("set on root", r.SetValueEx(kCurrentUser, "R", kString, "r", 2));
  read(kCurrentUser, "r");
  code("delete root", r.DeleteKey(kCurrentUser, ""));
  code("delete missing", r.DeleteKey(kCurrentUser, "Software\\Missing"));
  code("bad name", r.CreateKey(kCurrentUser, "Software\\\\A", &deep));
  code("bad handle", r.SetValueEx(12345, "v", kString, "x", 2));
  code("close", r.CloseKey(a));
  code("close again", r.CloseKey(a));
  read(a, "V");
  return out;
}

TEST_F(OverlayTest, AnswersAsTheBaseWouldAfterTheSameCalls) {
  WriteFile(Path("copy.reg"), kBase);
  auto copy = MakeFileRegistry(Path("copy.reg"));
  EXPECT_EQ(Play(*overlay_), Play(*copy));
  EXPECT_EQ(ReadFile(Path("base.reg")), kBase);
  EXPECT_NE(ReadFile(Path("copy.reg")), kBase);  // the same calls changed a file registry
  // Reads of what the overlay did not touch still reach the base as it is now.
  ASSERT_EQ(base_->SetValueEx(kCurrentUser, "Later", kString, "l", 2), kSuccess);
  std::uint32_t size = 0;
  EXPECT_EQ(overlay_->QueryValueEx(kCurrentUser, "later", nullptr, nullptr, &size), kSuccess);
  EXPECT_EQ(size, 2u);
  expected_ = ReadFile(Path("base.reg"));
}

// A base that lets HKLM be read but not written, as the system does for most users: opening an
// existing key there for more than reading is refused.
class ReadOnlyMachine final : public RegistryWrapper {
 public:
  using RegistryWrapper::RegistryWrapper;
  long OpenKeyEx(Handle root, const std::string& k, std::uint32_t o, std::uint32_t access,
                 Handle* h) override {
    long rc = target().OpenKeyEx(root, k, o, access, h);
    if (rc != kSuccess || root != kLocalMachine || (access & ~kKeyRead) == 0) return rc;
    target().CloseKey(*h);
    *h = 0;
    return kAccessDenied;
  }
  long CreateKey(Handle, const std::string&, Handle*) override { return kCannotWrite; }
  long SetValueEx(Handle, const std::string&, std::uint32_t, const char*, std::uint32_t) override {
    return kCannotWrite;
  }
  long DeleteValue(Handle, const std::string&) override { return kCannotWrite; }
  long DeleteKey(Handle, const std::string&) override { return kCannotWrite; }
};

TEST_F(OverlayTest, WritesTheBaseWouldRefuseAreRefused) {
  ReadOnlyMachine guarded(*base_);
  auto overlay = MakeOverlayRegistry(guarded);
  Handle h = 0;
  EXPECT_EQ(overlay->CreateKey(kLocalMachine, "Software", &h), kAccessDenied);
  EXPECT_EQ(overlay->CreateKey(kLocalMachine, "Software\\New\\Deeper", &h), kAccessDenied);
  EXPECT_EQ(overlay->CreateKey(kLocalMachine, "Top", &h), kAccessDenied);
  ASSERT_EQ(overlay->OpenKeyEx(kLocalMachine, "Software", 0, kKeyRead, &h), kSuccess);
  EXPECT_EQ(overlay->SetValueEx(h, "M", kString, "n", 2), kAccessDenied);
  EXPECT_EQ(overlay->DeleteValue(h, "M"), kAccessDenied);
  EXPECT_EQ(overlay->DeleteKey(kLocalMachine, "Software"), kAccessDenied);
  std::uint32_t size = 0;
  EXPECT_EQ(overlay->QueryValueEx(h, "M", nullptr, nullptr, &size), kSuccess);
  // Where the user may write, the overlay takes the writes, and never passes one on.
  EXPECT_EQ(overlay->CreateKey(kCurrentUser, "Software\\New\\Deeper", &h), kSuccess);
  EXPECT_EQ(overlay->SetValueEx(h, "v", kString, "n", 2), kSuccess);
  EXPECT_EQ(overlay->DeleteKey(kCurrentUser, "Software\\A\\Sub"), kSuccess);
}

}  // namespace
}  // namespace mlx::registry
