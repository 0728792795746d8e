#include "platform/text/text.h"

#include <gtest/gtest.h>

#include <tuple>

namespace mlx::text {
namespace {

TEST(TextDecode, KeepsUtf8DropsBomAndDecodesWindows1252) {
  EXPECT_EQ(DecodeFileBytes("\xEF\xBB\xBF" "Citt\xC3\xA0"), "Citt\xC3\xA0");
  // The same word saved in the single-byte code page.
  EXPECT_EQ(DecodeFileBytes("Citt\xE0"), "Citt\xC3\xA0");
  // Section sign and euro sign, the two markers scripts written there carry.
  EXPECT_EQ(DecodeFileBytes("\xA7" "app,x \x80"), "\xC2\xA7" "app,x \xE2\x82\xAC");
  // Undefined code page bytes become the control character of the same value, not lost.
  EXPECT_EQ(DecodeFileBytes("\x81"), "\xC2\x81");
}

TEST(TextDecode, RejectsMalformedUtf8) {
  EXPECT_TRUE(IsValidUtf8("abc \xE2\x82\xAC"));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xE2\x82"));          // truncated
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
  // A sequence anywhere among ASCII bytes, across the ends of eight-byte words too, in a text of
  // every length up to three words: the last bytes are read as the text's last word.
  for (std::size_t lunghezza = 0; lunghezza <= 24; ++lunghezza) {
    for (std::size_t posto = 0; posto <= lunghezza; ++posto) {
      const std::string prima(posto, 'a'), dopo(lunghezza - posto, 'b');
      SCOPED_TRACE(std::to_string(lunghezza) + " " + std::to_string(posto));
      EXPECT_TRUE(IsValidUtf8(prima + "\xE2\x82\xAC" + dopo));
      EXPECT_TRUE(IsValidUtf8(prima + "\xC3\xA0" + dopo));
      EXPECT_FALSE(IsValidUtf8(prima + "\xE2\x82" + dopo));
      EXPECT_FALSE(IsValidUtf8(prima + "\xE0" + dopo));
      EXPECT_FALSE(IsValidUtf8(prima + "\xFF" + dopo));
    }
  }
}

TEST(TextSlicing, CountsCodePoints) {
  const std::string s = "\xC3\xA8" "abc\xE2\x82\xAC";  // è a b c €
  EXPECT_EQ(Length(s), 5u);
  EXPECT_EQ(Left(s, 2), "\xC3\xA8" "a");
  EXPECT_EQ(Right(s, 2), "c\xE2\x82\xAC");
  EXPECT_EQ(Right(s, 99), s);
  EXPECT_EQ(Mid(s, 1, 3), "abc");
  EXPECT_EQ(First("\xC2\xA7x"), "\xC2\xA7");
  EXPECT_EQ(First(""), "");
}

TEST(TextCase, CaseChangesEveryLetterKeysFoldLatin1) {
  EXPECT_EQ(ToUpper("perch\xC3\xA9 \xC3\xB7 \xC3\x9F z"), "PERCH\xC3\x89 \xC3\xB7 \xC3\x9F Z");
  EXPECT_EQ(ToLower("\xC3\x80" "B\xC3\x97"), "\xC3\xA0" "b\xC3\x97");
  // Beyond Latin-1: y with diaeresis has its upper case in Latin Extended-A; Greek, Cyrillic.
  EXPECT_EQ(ToUpper("\xC3\xBF \xCE\xB1\xCE\xB2 \xD0\xB6"), "\xC5\xB8 \xCE\x91\xCE\x92 \xD0\x96");
  EXPECT_EQ(ToLower("\xC5\xB8 \xCE\xA9 \xC4\x80"), "\xC3\xBF \xCF\x89 \xC4\x81");
  // Bytes that are not UTF-8 stay as they are, whatever follows them.
  EXPECT_EQ(ToUpper("a\xE9" "b\xC3"), "A\xE9" "B\xC3");
  EXPECT_TRUE(EqualsNoCase("Citt\xC3\x80", "citt\xC3\xA0"));
  EXPECT_FALSE(EqualsNoCase("a", "ab"));
}

TEST(TextWildcard, MatchesWithoutRegardToCase) {
  const std::tuple<const char*, const char*, bool> casi[] = {
      {"*.mdb", "Archivio.MDB", true}, {"Arch*.mdb", "ARCHIVIO.mdb", true},
      {"Arch*.mdb", "Dati.mdb", false},
      {"a?c", "a\xC3\xA8" "c", true},  // ? takes a whole character
      {"*", "", true}, {"?", "", false}, {"*a*b*", "xxaxxbxx", true},
      {"*.mdb", "a.mdb.bak", false}};
  for (const auto& [motivo, nome, vale] : casi) {
    EXPECT_EQ(WildcardMatch(motivo, nome), vale) << nome;
  }
}

TEST(TextLike, StarsQuestionMarksDigitsAndLists) {
  const std::tuple<const char*, const char*, bool> casi[] = {
      {"", "*", true}, {"abc", "a**c", true}, {"xaybz", "*a*b*", true}, {"xabz", "*b*a*", false},
      {"ab", "a*b*c", false},
      {"abab", "*ab", true},  // the last piece belongs at the end, not at its first place
      {"a", "a*a", false},    // the pieces around a star may not share a character
      {"aXc", "a?c", true}, {"a\u00E8c", "a?c", true}, {"v12", "v##", true},
      {"ABC", "abc", false}, {"Abc", "a*", false},  // case counts
      {"b", "[abc]", true}, {"d", "[!abc]", true}, {"M", "[a-z]", false}, {"M", "[a-zA-Z]", true},
      {"-", "[-a]", true}, {"-", "[a-]", true},
      {"!", "[a!]", true},    // "!" negates only first
      {"m", "[z-a]", false},  // a range written backwards holds nothing
      {"a", "[]", false}, {"a", "[!]", true},
      {"\xC3\xA8", "[\xC3\xA0-\xC3\xB9]", true},  // ranges of code points
      // Special characters stand for themselves inside a list.
      {"a*b", "a[*]b", true}, {"axb", "a[*]b", false},
      // A "[" that no "]" closes, and a "]" alone, are ordinary characters.
      {"a[b", "a[b", true}, {"x[", "*[", true}, {"a]", "a]", true},
      // Broken UTF-8 is matched byte for byte.
      {"a\xFF!", "a?!", true}, {"\xC3", "\xC3\xA8", false},
      // An overlong form is bytes, not the character it would spell: C0 A3 is no '#' and
      // C0 AA no '*', in the text or in the pattern.
      {"\xC0\xA3", "\xC0\xA3", true}, {"\xC0\xA3", "?", false}, {"5", "\xC0\xA3", false},
      {"xyz", "\xC0\xAA", false}, {"\xED\xA0\x80", "???", true}};
  for (const auto& [testo, motivo, vale] : casi) {
    EXPECT_EQ(Like(testo, motivo), vale) << testo << " / " << motivo;
  }
}

TEST(TextLike, ManyStarsOnALongTextAreQuick) {
  // A backtracking matcher would try every way of placing the stars: on this text and pattern
  // that would never end.
  const std::string lungo(200000, 'a');
  std::string motivo;
  for (int i = 0; i < 200; ++i) motivo += "*a";
  EXPECT_FALSE(Like(lungo, motivo + "*b"));
  EXPECT_TRUE(Like(lungo + "b", motivo + "*b"));
  EXPECT_FALSE(Like(lungo, motivo + "*?b*"));
  EXPECT_TRUE(Like(lungo, "*" + std::string(100, 'a') + "*"));
}

// A file saved as UTF-16 with its mark: BMP characters and a surrogate pair.
TEST(TextDecode, Utf16WithItsMark) {
  std::string utf16("\xFF\xFEL\0O\0\xE0\0\r\0\n\0\x3D\xD8\x00\xDE", 16);
  DecodeFileBytesInPlace(&utf16);
  EXPECT_EQ(utf16, "LO\xC3\xA0\r\n\xF0\x9F\x98\x80");
  // The mark without valid UTF-16 after it (odd length, a lone surrogate) is Windows-1252.
  for (std::string bytes : {std::string("\xFF\xFEL\0O", 5), std::string("\xFF\xFE\x00\xDC", 4)}) {
    const std::string cp1252 = Cp1252ToUtf8(bytes);
    DecodeFileBytesInPlace(&bytes);
    EXPECT_EQ(bytes, cp1252);
  }
}

// The inside of a text, its first and last characters taken away, as Mid gives it.
TEST(TextSlices, InnerViewAsMid) {
  for (const std::string_view s : {"", "^", "^^", "^ELSE^", "(\xC3\xA0)", "\xC3\xA0x\xC3\xA0",
                                   "^\xE0^", "ab\xF0", "\xE2\x82\xAC\xE2\x82\xAC"}) {
    const std::size_t n = Length(s);
    EXPECT_EQ(InnerView(s), n < 2 ? "" : Mid(s, 1, n - 2)) << s;
  }
  EXPECT_EQ(InnerView("\xC3\xA0x\xC3\xA0"), "x");
}

}  // namespace
}  // namespace mlx::text
