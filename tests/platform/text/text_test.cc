#include "platform/text/text.h"

#include <gtest/gtest.h>

namespace mlx::text {
namespace {

TEST(TextDecode, KeepsUtf8DropsBomAndDecodesWindows1252) {
  EXPECT_EQ(DecodeFileBytes("\xEF\xBB\xBF"
                            "Citt\xC3\xA0"),
            "Citt\xC3\xA0");
  // The same word saved in the single-byte code page.
  EXPECT_EQ(DecodeFileBytes("Citt\xE0"), "Citt\xC3\xA0");
  // Section sign and euro sign, the two markers scripts written there carry.
  EXPECT_EQ(DecodeFileBytes("\xA7"
                            "app,x \x80"),
            "\xC2\xA7"
            "app,x \xE2\x82\xAC");
  // Undefined code page bytes become the control character of the same value, not lost.
  EXPECT_EQ(DecodeFileBytes("\x81"), "\xC2\x81");
}

TEST(TextDecode, RejectsMalformedUtf8) {
  EXPECT_TRUE(IsValidUtf8("abc \xE2\x82\xAC"));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xE2\x82"));          // truncated
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
}

TEST(TextSlicing, CountsCodePoints) {
  const std::string s =
      "\xC3\xA8"
      "abc\xE2\x82\xAC";  // è a b c €
  EXPECT_EQ(Length(s), 5u);
  EXPECT_EQ(Left(s, 2),
            "\xC3\xA8"
            "a");
  EXPECT_EQ(Right(s, 2), "c\xE2\x82\xAC");
  EXPECT_EQ(Right(s, 99), s);
  EXPECT_EQ(Mid(s, 1, 3), "abc");
  EXPECT_EQ(First("\xC2\xA7x"), "\xC2\xA7");
  EXPECT_EQ(First(""), "");
  EXPECT_EQ(Inner("*\xC2\xA7"
                  "a*"),
            "\xC2\xA7"
            "a");
  EXPECT_EQ(Inner("*"), "");
}

TEST(TextCase, CaseChangesEveryLetterKeysFoldLatin1) {
  EXPECT_EQ(ToUpper("perch\xC3\xA9 \xC3\xB7 \xC3\x9F z"), "PERCH\xC3\x89 \xC3\xB7 \xC3\x9F Z");
  EXPECT_EQ(ToLower("\xC3\x80"
                    "B\xC3\x97"),
            "\xC3\xA0"
            "b\xC3\x97");
  // Beyond Latin-1: y with diaeresis has its upper case in Latin Extended-A; Greek, Cyrillic.
  EXPECT_EQ(ToUpper("\xC3\xBF \xCE\xB1\xCE\xB2 \xD0\xB6"), "\xC5\xB8 \xCE\x91\xCE\x92 \xD0\x96");
  EXPECT_EQ(ToLower("\xC5\xB8 \xCE\xA9 \xC4\x80"), "\xC3\xBF \xCF\x89 \xC4\x81");
  // Bytes that are not UTF-8 stay as they are, whatever follows them.
  EXPECT_EQ(ToUpper(std::string("a\xE9"
                                "b\xC3",
                                4)),
            std::string("A\xE9"
                        "B\xC3",
                        4));
  EXPECT_TRUE(EqualsNoCase("Citt\xC3\x80", "citt\xC3\xA0"));
  EXPECT_FALSE(EqualsNoCase("a", "ab"));
}

TEST(TextWildcard, MatchesWithoutRegardToCase) {
  EXPECT_TRUE(WildcardMatch("*.mdb", "Archivio.MDB"));
  EXPECT_TRUE(WildcardMatch("Arch*.mdb", "ARCHIVIO.mdb"));
  EXPECT_FALSE(WildcardMatch("Arch*.mdb", "Dati.mdb"));
  EXPECT_TRUE(WildcardMatch("a?c",
                            "a\xC3\xA8"
                            "c"));  // ? takes a whole character
  EXPECT_TRUE(WildcardMatch("*", ""));
  EXPECT_FALSE(WildcardMatch("?", ""));
  EXPECT_TRUE(WildcardMatch("*a*b*", "xxaxxbxx"));
  EXPECT_FALSE(WildcardMatch("*.mdb", "a.mdb.bak"));
}

TEST(TextLike, StarsQuestionMarksAndDigits) {
  EXPECT_TRUE(Like("", "*"));
  EXPECT_TRUE(Like("abc", "*c"));
  EXPECT_TRUE(Like("abc", "a**c"));
  EXPECT_TRUE(Like("xaybz", "*a*b*"));
  EXPECT_FALSE(Like("xabz", "*b*a*"));
  EXPECT_FALSE(Like("ab", "a*b*c"));
  EXPECT_TRUE(Like("abab", "*ab"));  // the last piece belongs at the end, not at its first place
  EXPECT_FALSE(Like("a", "a*a"));    // the pieces around a star may not share a character
  EXPECT_TRUE(Like("aXc", "a?c"));
  EXPECT_TRUE(Like("a\u00E8c", "a?c"));  // ? takes a whole character
  EXPECT_TRUE(Like("v12", "v##"));
  // Case counts.
  EXPECT_FALSE(Like("ABC", "abc"));
  EXPECT_FALSE(Like("Abc", "a*"));
}

TEST(TextLike, Lists) {
  EXPECT_TRUE(Like("b", "[abc]"));
  EXPECT_TRUE(Like("d", "[!abc]"));
  EXPECT_TRUE(Like("m", "[a-z]"));
  EXPECT_FALSE(Like("M", "[a-z]"));
  EXPECT_TRUE(Like("M", "[a-zA-Z]"));
  EXPECT_TRUE(Like("-", "[-a]"));
  EXPECT_TRUE(Like("-", "[a-]"));
  EXPECT_TRUE(Like("!", "[a!]"));    // "!" negates only first
  EXPECT_FALSE(Like("m", "[z-a]"));  // a range written backwards holds nothing
  EXPECT_FALSE(Like("a", "[]"));
  EXPECT_TRUE(Like("a", "[!]"));
  EXPECT_TRUE(Like("\xC3\xA8", "[\xC3\xA0-\xC3\xB9]"));  // ranges of code points
  // Special characters stand for themselves inside a list.
  EXPECT_TRUE(Like("a*b", "a[*]b"));
  EXPECT_FALSE(Like("axb", "a[*]b"));
  // A "[" that no "]" closes, and a "]" alone, are ordinary characters.
  EXPECT_TRUE(Like("a[b", "a[b"));
  EXPECT_TRUE(Like("x[", "*["));
  EXPECT_TRUE(Like("a]", "a]"));
}

TEST(TextLike, BrokenUtf8IsMatchedByteForByte) {
  EXPECT_TRUE(Like("a\xFF!", "a?!"));
  EXPECT_FALSE(Like("\xC3", "\xC3\xA8"));
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

}  // namespace
}  // namespace mlx::text

namespace mlx::text {
namespace {

TEST(TextDecode, Utf8CheckedAcrossEightByteBlocks) {
  for (std::size_t pos = 0; pos < 20; ++pos) {
    std::string text(24, 'a');
    text[pos] = '\xFF';
    EXPECT_FALSE(IsValidUtf8(text)) << pos;
    // A valid two-byte character at every position, across a block's end too.
    std::string valid(24, 'a');
    valid.replace(pos, 2, "\xC3\xA0");
    EXPECT_TRUE(IsValidUtf8(valid)) << pos;
    // A character cut short at the end of a block.
    std::string cut(pos + 1, 'a');
    cut.back() = '\xE2';
    EXPECT_FALSE(IsValidUtf8(cut)) << pos;
  }
  std::string bom = "\xEF\xBB\xBF" "abc";
  DecodeFileBytesInPlace(&bom);
  EXPECT_EQ(bom, "abc");
  std::string latin = "Citt\xE0";
  DecodeFileBytesInPlace(&latin);
  EXPECT_EQ(latin, "Citt\xC3\xA0");
}

TEST(TextSlices, InnerViewAsInner) {
  for (const std::string_view s : {"", "^", "^^", "^ELSE^", "(\xC3\xA0)", "\xC3\xA0x\xC3\xA0",
                                   "^\xE0^", "ab\xF0", "\xE2\x82\xAC\xE2\x82\xAC"}) {
    const std::size_t n = Length(s);
    EXPECT_EQ(InnerView(s), n < 2 ? "" : Mid(s, 1, n - 2)) << s;
  }
  EXPECT_EQ(InnerView("^ELSE^"), "ELSE");
  EXPECT_EQ(InnerView("\xC3\xA0x\xC3\xA0"), "x");
}

}  // namespace
}  // namespace mlx::text
