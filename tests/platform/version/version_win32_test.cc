// The system's reader of version resources and the portable parser agree on the same files:
// this program, the system's own libraries and programs, and images built byte by byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "conditions/immagine_pe.h"
#include "conditions/risorsa_versione.h"
#include "platform/fs/fs.h"
#include "platform/fs/version.h"
#include "platform/text/wide.h"

namespace mlx::fs {
namespace {

namespace stdfs = std::filesystem;

// The file's bytes, read at chosen offsets as the parser asks.
class BytesFile : public RandomAccessFile {
 public:
  explicit BytesFile(std::string bytes) : bytes_(std::move(bytes)) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  Status ReadAt(std::uint64_t offset, std::size_t size, std::string* bytes) override {
    *bytes = offset < bytes_.size() ? bytes_.substr(offset, size) : std::string();
    return Status::OK();
  }

 private:
  std::string bytes_;
};

// What the two readers say of one file; the test fails where they differ.
bool Agree(const stdfs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  BytesFile bytes(all.str());
  FixedFileInfo portable, system;
  const bool by_parser = ReadFixedFileInfo(bytes, &portable);
  const std::optional<bool> by_system =
      ReadSystemVersionInfo(text::FromWide(file.wstring()), &system);
  EXPECT_TRUE(by_system.has_value());
  EXPECT_EQ(by_system.value_or(!by_parser), by_parser) << file.string();
  if (by_parser && by_system.value_or(false)) {
    EXPECT_TRUE(portable == system) << file.string();
  }
  return by_parser;
}

TEST(VersionReaders, AgreeOnTheSystemsOwnFiles) {
  wchar_t self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  Agree(self);  // a program built without a version resource: both say so

  wchar_t system[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
  int with_version = 0;
  for (const wchar_t* name :
       {L"kernel32.dll", L"user32.dll", L"advapi32.dll", L"version.dll", L"shell32.dll",
        L"comctl32.dll", L"ntdll.dll", L"msvcrt.dll", L"notepad.exe", L"cmd.exe", L"regedit.exe"}) {
    const stdfs::path file = stdfs::path(system) / name;
    if (stdfs::exists(file) && Agree(file)) ++with_version;
  }
  // Not a comparison of two silences: most of these files carry a version.
  EXPECT_GE(with_version, 5);
}

TEST(VersionReaders, AgreeOnBuiltImages) {
  const stdfs::path dir =
      stdfs::temp_directory_path() / ("mlx versione " + std::to_string(GetCurrentProcessId()));
  stdfs::create_directories(dir);
  std::vector<prova::ImmaginePe> images(6);
  images[1].pe32piu = true;
  images[2].tipo = 3;  // a driver, with its subtype
  images[2].sottotipo = 6;
  images[2].flag = 0x0B;
  images[3].fileMs = 0xFFFFFFFF;
  images[3].fileLs = 0x80000001;
  images[4].conVersione = false;
  images[5].firma = 0x12345678;  // a fixed block without its signature is no version
  int found = 0;
  for (std::size_t i = 0; i < images.size(); ++i) {
    const stdfs::path file = dir / ("immagine" + std::to_string(i) + ".dll");
    std::ofstream(file, std::ios::binary) << images[i].Costruisci();
    if (Agree(file)) ++found;
  }
  EXPECT_EQ(found, 4);
  stdfs::remove_all(dir);
}

TEST(VersionReaders, MissingAndUnreadableFiles) {
  FixedFileInfo info;
  EXPECT_EQ(ReadSystemVersionInfo("C:\\nessuna\\cartella\\x.dll", &info), false);
  EXPECT_EQ(ReadSystemVersionInfo("", &info), false);
  EXPECT_EQ(ReadSystemVersionInfo("\xFF.dll", &info), false);
}

}  // namespace
}  // namespace mlx::fs
