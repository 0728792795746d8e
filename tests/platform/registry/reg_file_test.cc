// The .reg reader and writer, seen through the file registry and on their own.
#include "platform/registry/reg_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/registry/registry.h"
#include "registry_test_util.h"

namespace mlx::registry {
namespace {

using testing::TempDir;

// Shaped as an export: every kind of entry, a byte list continued over two lines, entries in
// unusual spelling that must come back exactly as written.
const char kExport[] =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Hollemar900]\n"
    "@=\"default\"\n"
    "\"Path\"=\"C:\\\\Prog\\\\Dati.mdb\"\n"
    "\"Quote\"=\"say \\\"hi\\\"\"\n"
    "\"Count\"=dword:0000002a\n"
    "\"Odd\"=DWORD:2A\n"
    "\"Blob\"=hex:01,02,ff\n"
    "\"Expand\"=hex(2):25,00,50,00,00,00\n"
    "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00,00,00,00,00,61,00,62,00,63,00,64,00,\\\n"
    "  65,00,00,00\n"
    "\"Empty\"=hex:\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Hollemar900\\Settings]\n"
    "\"PathMDB\"=\"/data/Dati.mdb\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\n"
    "\"Q\"=hex(b):01,00,00,00,00,00,00,00\n"
    "\n";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
  return text;
}

class RegFileTest : public TempDir {
 protected:
  // The value's type and bytes as a query returns them.
  std::pair<std::uint32_t, std::string> Query(Registry& reg, Handle key, const std::string& name) {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    EXPECT_EQ(reg.QueryValueEx(key, name, &type, nullptr, &size), kSuccess) << name;
    std::string data(size, '\x7f');
    EXPECT_EQ(reg.QueryValueEx(key, name, &type, data.data(), &size), kSuccess) << name;
    return {type, data.substr(0, size)};
  }
};

TEST_F(RegFileTest, ExportSurvivesRoundTripWithEveryLineAndEnding) {
  for (const std::string& text : {std::string(kExport), Replace(kExport, "\n", "\r\n")}) {
    regfile::Document doc;
    std::string error;
    ASSERT_TRUE(doc.Parse(text, &error)) << error;
    EXPECT_EQ(doc.Serialize(), text);
  }
}

TEST_F(RegFileTest, ValuesOfEveryTypeAreReturnedAsTheirBytes) {
  WriteFile(Path("r.reg"), kExport);
  auto reg = MakeFileRegistry(Path("r.reg"));
  Handle key = 0;
  ASSERT_EQ(reg->OpenKeyEx(kCurrentUser, "Software\\Hollemar900", 0, kKeyRead, &key), kSuccess);
  using Entry = std::pair<std::uint32_t, std::string>;
  EXPECT_EQ(Query(*reg, key, ""), Entry(kString, std::string("default\0", 8)));
  EXPECT_EQ(Query(*reg, key, "Path"), Entry(kString, std::string("C:\\Prog\\Dati.mdb\0", 17)));
  EXPECT_EQ(Query(*reg, key, "Quote"), Entry(kString, std::string("say \"hi\"\0", 9)));
  EXPECT_EQ(Query(*reg, key, "Count"), Entry(kDword, std::string("\x2a\0\0\0", 4)));
  EXPECT_EQ(Query(*reg, key, "Odd"), Entry(kDword, std::string("\x2a\0\0\0", 4)));
  EXPECT_EQ(Query(*reg, key, "Blob"), Entry(kBinary, "\x01\x02\xff"));
  EXPECT_EQ(Query(*reg, key, "Expand"), Entry(kExpandString, std::string("%\0P\0\0\0", 6)));
  EXPECT_EQ(Query(*reg, key, "Multi").second.size(), 26u);
  EXPECT_EQ(Query(*reg, key, "Multi").second.substr(20), std::string("d\0e\0\0\0", 6));
  EXPECT_EQ(Query(*reg, key, "Empty"), Entry(kBinary, ""));
  Handle vendor = 0;
  ASSERT_EQ(reg->OpenKeyEx(kLocalMachine, "SOFTWARE\\Vendor", 0, kKeyRead, &vendor), kSuccess);
  EXPECT_EQ(Query(*reg, vendor, "Q"), Entry(kQword, std::string("\x01\0\0\0\0\0\0\0", 8)));

  // Changing one value rewrites that line only.
  ASSERT_EQ(reg->SetValueEx(key, "path", kString, "D:\\x\0", 5), kSuccess);
  EXPECT_EQ(ReadFile(Path("r.reg")),
            Replace(kExport, "\"Path\"=\"C:\\\\Prog\\\\Dati.mdb\"", "\"Path\"=\"D:\\\\x\""));
}

TEST_F(RegFileTest, ValuesWrittenByTheProgramReadBackUnchanged) {
  const std::string long_bytes(100, '\xab');
  const std::vector<std::pair<std::string, std::pair<std::uint32_t, std::string>>> values = {
      {"Escapes", {kString, std::string("a\\b\"c\0", 6)}},
      {"Lines", {kString, std::string("one\ntwo\r\n\0", 10)}},
      {"NoZero", {kString, "abc"}},
      {"Latin", {kString, std::string("citt\xc3\xa0\0", 7)}},
      {"Number", {kDword, std::string("\x01\x02\x03\x04", 4)}},
      {"Long", {kBinary, long_bytes}},
      {"Quad", {kQword, std::string("\0\0\0\0\0\0\0\x80", 8)}},
      {"Empty", {kString, std::string("\0", 1)}},
  };
  {
    auto reg = MakeFileRegistry(Path("w.reg"));
    Handle key = 0;
    ASSERT_EQ(reg->CreateKey(kCurrentUser, "Software\\W", &key), kSuccess);
    for (const auto& [name, value] : values) {
      ASSERT_EQ(reg->SetValueEx(key, name, value.first, value.second.data(),
                                static_cast<std::uint32_t>(value.second.size())),
                kSuccess);
    }
  }
  const std::string text = ReadFile(Path("w.reg"));
  EXPECT_NE(text.find("\"Escapes\"=\"a\\\\b\\\"c\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Latin\"=\"citt\xc3\xa0\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Number\"=dword:04030201\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Empty\"=\"\"\n"), std::string::npos) << text;
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    EXPECT_LT(end - start, 80u) << text.substr(start, end - start);
  }

  auto reg = MakeFileRegistry(Path("w.reg"));
  Handle key = 0;
  ASSERT_EQ(reg->OpenKeyEx(kCurrentUser, "Software\\W", 0, kKeyRead, &key), kSuccess);
  for (const auto& [name, value] : values) EXPECT_EQ(Query(*reg, key, name), value) << name;
}

TEST_F(RegFileTest, NamesMatchInAnyCaseAndKeepTheirWrittenCase) {
  WriteFile(Path("c.reg"),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software\\\xc3\x84rgerCo]\n"  // ÄrgerCo
            "\"N\xc3\xa4me\"=\"1\"\n\n");                      // Näme
  auto reg = MakeFileRegistry(Path("c.reg"));
  Handle key = 0;
  ASSERT_EQ(reg->OpenKeyEx(kCurrentUser, "SOFTWARE\\\xc3\xa4RGERCO", 0, kKeyRead, &key), kSuccess);
  EXPECT_EQ(Query(*reg, key, "N\xc3\x84ME").second, std::string("1\0", 2));
  EXPECT_EQ(reg->SetValueEx(key, "N\xc3\x84ME", kString, "2", 2), kSuccess);
  Handle sub = 0;
  EXPECT_EQ(reg->CreateKey(kCurrentUser, "software\\\xc3\xa4rgerco\\Sub", &sub), kSuccess);
  EXPECT_EQ(ReadFile(Path("c.reg")),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software\\\xc3\x84rgerCo]\n"
            "\"N\xc3\xa4me\"=\"2\"\n\n"
            "[HKEY_CURRENT_USER\\Software\\\xc3\x84rgerCo\\Sub]\n\n");
}

TEST_F(RegFileTest, MalformedFileIsRefusedNamedAndNeverOverwritten) {
  const std::string header = "Windows Registry Editor Version 5.00\n\n";
  const std::vector<std::pair<std::string, int>> cases = {
      {"Windows Registry Editor\n\n[HKEY_CURRENT_USER\\A]\n", 1},
      {header + "\"Orphan\"=\"x\"\n", 3},
      {header + "[HKEY_NOWHERE\\A]\n", 3},
      {header + "[HKEY_CURRENT_USER\\A\n", 3},
      {header + "[HKEY_CURRENT_USER\\A]\n\"Open\"=\"no end\n", 4},
      {header + "[HKEY_CURRENT_USER\\A]\n\"D\"=dword:123456789\n", 4},
      {header + "[HKEY_CURRENT_USER\\A]\n\"H\"=hex:01,zz\n", 4},
      {header + "[HKEY_CURRENT_USER\\A]\n\"H\"=hex:01,\\\n", 4},
      {header + "[HKEY_CURRENT_USER\\A]\n\"S\"=\"caf\xe9\"\n", 4},
      {header + "[HKEY_CURRENT_USER\\A]\nstray text\n", 4},
  };
  const std::string path = Path("bad.reg");
  for (const auto& [text, line] : cases) {
    SCOPED_TRACE(text);
    WriteFile(path, text);
    auto reg = MakeFileRegistry(path);
    Handle key = 0;
    EXPECT_EQ(reg->OpenKeyEx(kCurrentUser, "A", 0, kKeyRead, &key), kBadDatabase);
    const std::string error = reg->LastError();
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_NE(error.find("line " + std::to_string(line) + ":"), std::string::npos) << error;
    EXPECT_EQ(reg->QueryValueEx(kCurrentUser, "x", nullptr, nullptr, nullptr), kBadDatabase);
    EXPECT_EQ(reg->CreateKey(kCurrentUser, "B", &key), kBadDatabase);
    EXPECT_EQ(reg->SetValueEx(kCurrentUser, "v", kString, "1", 2), kBadDatabase);
    EXPECT_EQ(reg->DeleteValue(kCurrentUser, "v"), kBadDatabase);
    EXPECT_EQ(reg->DeleteKey(kCurrentUser, "A"), kBadDatabase);
    EXPECT_EQ(ReadFile(path), text);
  }

  // A FIFO or a folder in the file's place is refused at once, named, and left as it is.
  const std::string fifo = Path("fifo.reg");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directory(Path("folder.reg"));
  for (const std::string& special : {fifo, Path("folder.reg")}) {
    auto reg = MakeFileRegistry(special);
    Handle key = 0;
    EXPECT_EQ(reg->OpenKeyEx(kCurrentUser, "A", 0, kKeyRead, &key), kBadDatabase);
    EXPECT_NE(reg->LastError().find(special), std::string::npos) << reg->LastError();
    EXPECT_EQ(reg->CreateKey(kCurrentUser, "B", &key), kBadDatabase);
  }
  struct stat st {};
  ASSERT_EQ(stat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  // Once the file is mended, the same object works again.
  auto reg = MakeFileRegistry(path);
  Handle key = 0;
  EXPECT_EQ(reg->OpenKeyEx(kCurrentUser, "A", 0, kKeyRead, &key), kBadDatabase);
  WriteFile(path, header + "[HKEY_CURRENT_USER\\A]\n\"S\"=\"ok\"\n");
  EXPECT_EQ(reg->OpenKeyEx(kCurrentUser, "A", 0, kKeyRead, &key), kSuccess);
  EXPECT_EQ(reg->LastError(), "");
}

// A hand-edited file keeps its comment lines through a rewrite, each before the entry it was
// written before; a comment goes only with its own key or value when that is removed.
TEST_F(RegFileTest, CommentLinesSurviveChangesAroundThem) {
  const std::string path = Path("commented.reg");
  WriteFile(path,
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "; made by hand\r\n"
            "[HKEY_CURRENT_USER\\A]\r\n"
            "  ; the port, do not change\r\n"
            "\"Port\"=dword:00000050\r\n"
            ";old value\r\n"
            "\"Old\"=\"x\"\r\n"
            "\r\n"
            "; removed later\r\n"
            "[HKEY_CURRENT_USER\\B]\r\n"
            "\"V\"=\"1\"\r\n"
            "; end of file\r\n");
  auto reg = MakeFileRegistry(path);
  Handle a = 0;
  ASSERT_EQ(reg->CreateKey(kCurrentUser, "A", &a), kSuccess);
  EXPECT_EQ(reg->SetValueEx(a, "Port", kDword, "\x51\0\0\0", 4), kSuccess);
  EXPECT_EQ(reg->DeleteValue(a, "Old"), kSuccess);
  EXPECT_EQ(reg->SetValueEx(a, "New", kString, "n", 2), kSuccess);
  EXPECT_EQ(reg->DeleteKey(kCurrentUser, "B"), kSuccess);
  EXPECT_EQ(ReadFile(path),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "; made by hand\r\n"
            "[HKEY_CURRENT_USER\\A]\r\n"
            "  ; the port, do not change\r\n"
            "\"Port\"=dword:00000051\r\n"
            "\"New\"=\"n\"\r\n"
            "\r\n"
            "; end of file\r\n");
}

TEST_F(RegFileTest, KeysImpliedByDeeperKeysExistAndOutliveThem) {
  WriteFile(Path("i.reg"),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\A\\B]\n\"v\"=\"1\"\n\n"
            "[-HKEY_CURRENT_USER\\Gone]\n\n"
            "[HKEY_CURRENT_USER\\A\\B]\n\"w\"=-\n");
  auto reg = MakeFileRegistry(Path("i.reg"));
  Handle key = 0;
  EXPECT_EQ(reg->OpenKeyEx(kCurrentUser, "A", 0, kKeyRead, &key), kSuccess);
  EXPECT_EQ(reg->DeleteKey(kCurrentUser, "A"), kAccessDenied);
  EXPECT_EQ(reg->DeleteKey(kCurrentUser, "A\\B"), kSuccess);
  EXPECT_EQ(reg->OpenKeyEx(kCurrentUser, "A", 0, kKeyRead, &key), kSuccess);
  EXPECT_EQ(ReadFile(Path("i.reg")),
            "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n\n");
}

TEST_F(RegFileTest, Utf16ExportIsReadAsText) {
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\\xc3\xa9]\r\n";
  std::string utf16 = "\xff\xfe";
  for (char c : std::string("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\")) {
    utf16 += c;
    utf16 += '\0';
  }
  utf16 += "\xe9";
  utf16 += '\0';
  utf16 += std::string("]\0\r\0\n\0", 6);
  regfile::Document doc;
  std::string error;
  ASSERT_TRUE(doc.Parse(utf16, &error)) << error;
  EXPECT_EQ(doc.Serialize(), text + "\r\n");
}

}  // namespace
}  // namespace mlx::registry
