#include "automation/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "automation/codepage.h"
#include "support/variant_printer.h"

namespace orvane {
namespace {

TEST(Variant, CopiesAreDeep) {
  Variant original = Variant::Array({Variant::Text("WPT1"), Variant::Array({Variant::I2(4)})});
  Variant copy = original;
  original.Clear();
  EXPECT_TRUE(original.is_empty());
  ASSERT_EQ(copy.vt(), kVtArrayOfVariant);
  ASSERT_EQ(copy.array().size(), 2u);
  EXPECT_EQ(copy.array()[0].ToUtf8(), "WPT1");
  EXPECT_EQ(copy.array()[1].array()[0], Variant::I2(4));

  Variant text = Variant::Text("abc");
  Variant text_copy = text;
  text = Variant::Text("xyz");
  EXPECT_EQ(text_copy.ToUtf8(), "abc");
}

TEST(Variant, EqualityNeedsTypeAndValue) {
  EXPECT_NE(Variant::I2(5), Variant::I4(5));
  EXPECT_NE(Variant::R8(1.0), Variant::Date(1.0));
  EXPECT_NE(Variant(), Variant::Null());
  EXPECT_NE(Variant::Error(DISP_E_PARAMNOTFOUND), Variant::I4(DISP_E_PARAMNOTFOUND));
  EXPECT_NE(Variant::Bstr(std::u16string(u"a\0b", 3)), Variant::Text("a"));
  EXPECT_NE(Variant::Array({Variant::I2(1)}), Variant::Array({Variant::I2(1), Variant()}));
  EXPECT_NE(Variant::Array({Variant::I2(1)}), Variant::Array({Variant::I4(1)}));
  EXPECT_EQ(Variant::Array({}), Variant::Array({}));
  EXPECT_NE(Variant::Array({}), Variant());
  EXPECT_EQ(Variant::Bool(true), Variant::Bool(true));
  EXPECT_NE(Variant::Bool(true), Variant::Bool(false));
  EXPECT_EQ(Variant::I2(-1).i4(), -1);
  EXPECT_EQ(Variant::Bool(true).i2(), VARIANT_TRUE);
  // Zero is zero whatever its sign; a copy of NaN equals its original.
  EXPECT_EQ(Variant::R8(0.0), Variant::R8(-0.0));
  const Variant nan = Variant::R8(std::numeric_limits<double>::quiet_NaN());
  const Variant nan_copy = nan;
  EXPECT_EQ(nan, nan_copy);
  EXPECT_NE(nan, Variant::R8(0.0));
}

TEST(Variant, DebugStringNamesTypeAndValue) {
  EXPECT_EQ(DebugString(Variant::I2(4)), "VT_I2 4");
  EXPECT_EQ(DebugString(Variant::Text("12 N")), "VT_BSTR \"12 N\"");
  EXPECT_EQ(DebugString(Variant::Array({Variant::I4(1), Variant()})),
            "VT_ARRAY[VT_I4 1, VT_EMPTY]");
  EXPECT_EQ(DebugString(Variant::Error(DISP_E_PARAMNOTFOUND)), "VT_ERROR 0x80020004");
}

// UTF-8 <-> UTF-16.

TEST(Utf, RoundTripsWithNulAndAllPlanes) {
  static const char kUtf8[] = "a\0b\xC2\xB0 \xE2\x82\xAC \xF0\x9F\x98\x80 \xEF\xBF\xBF";
  static const char16_t kUtf16[] = u"a\0b\u00B0 \u20AC \U0001F600 \uFFFF";
  const std::string utf8(kUtf8, sizeof kUtf8 - 1);
  const std::u16string want(kUtf16, sizeof kUtf16 / sizeof kUtf16[0] - 1);
  ASSERT_EQ(want.size(), 11u);
  const std::u16string utf16 = Utf8ToUtf16(utf8);
  EXPECT_EQ(utf16, want);
  EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
  const Variant v = Variant::Text(utf8);
  EXPECT_EQ(v.bstr().size(), 11u);
  EXPECT_EQ(v.ToUtf8(), utf8);
}

TEST(Utf, MalformedInputBecomesReplacementCharacters) {
  struct Row {
    std::string utf8;
    std::u16string utf16;
  } rows[] = {
      {"\x80", u"\uFFFD"},                                // stray continuation
      {"\xC0\x80", u"\uFFFD\uFFFD"},                      // overlong NUL
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},            // overlong '/'
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"a\xE2\x82", u"a\uFFFD\uFFFD"},                    // cut short at the end
      {"\xE2\x82"
       "b",
       u"\uFFFD\uFFFD"
       "b"},  // cut short by ASCII
      {"\xFF", u"\uFFFD"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::PrintToString(r.utf8));
    EXPECT_EQ(Utf8ToUtf16(r.utf8), r.utf16);
  }
  // Lone surrogates in UTF-16 cannot be written as UTF-8.
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(u"\xDC00x"), "\xEF\xBF\xBDx");
  EXPECT_EQ(Utf16ToUtf8(u"\xD83D"), "\xEF\xBF\xBD");
}

// Windows-1252.

TEST(CodePage, HighBytesBothWays) {
  struct Row {
    unsigned char byte;
    char16_t ch;
  } rows[] = {
      {0xB0, u'\u00B0'},
      {0x80, u'\u20AC'},
      {0x8A, u'\u0160'},
      {0x99, u'\u2122'},
      {0x9F, u'\u0178'},
      {0xA0, u'\u00A0'},
      {0xFF, u'\u00FF'},
      {0x00, u'\0'},
      // The five bytes the code page leaves undefined map to the C1 controls.
      {0x81, u'\u0081'},
      {0x8D, u'\u008D'},
      {0x8F, u'\u008F'},
      {0x90, u'\u0090'},
      {0x9D, u'\u009D'},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(static_cast<int>(r.byte));
    const std::string byte(1, static_cast<char>(r.byte));
    EXPECT_EQ(AnsiToUtf16(byte), std::u16string(1, r.ch));
    EXPECT_EQ(Utf16ToAnsi(std::u16string(1, r.ch)), byte);
  }
}

TEST(CodePage, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::u16string wide = AnsiToUtf16(all);
  ASSERT_EQ(wide.size(), 256u);
  EXPECT_EQ(Utf16ToAnsi(wide), all);
}

// The comparison a kept text value is checked with, against converting the
// bytes and comparing the results, on lines of every length with high bytes
// and one-character differences anywhere.
TEST(CodePage, EqualsAnsiMatchesConvertingFirst) {
  std::mt19937_64 rng(15);
  const char alphabet[] = "AZaz09 ,.*\x80\x81\x9F\xA0\xFF";
  for (int i = 0; i < 100000; ++i) {
    std::string bytes(rng() % 20, ' ');
    for (char& c : bytes) c = alphabet[rng() % (sizeof alphabet - 1)];
    std::u16string text = AnsiToUtf16(bytes);
    switch (rng() % 4) {
      case 0: break;
      case 1:
        if (!text.empty()) text[rng() % text.size()] ^= static_cast<char16_t>(1u << (rng() % 16));
        break;
      case 2:
        if (!text.empty()) text[rng() % text.size()] = static_cast<char16_t>(rng() % 0x120);
        break;
      default: text.resize(rng() % (text.size() + 2), u'A');
    }
    ASSERT_EQ(EqualsAnsi(text, bytes), text == AnsiToUtf16(bytes)) << bytes << " " << i;
  }
}

TEST(CodePage, UnmappableCharactersBecomeQuestionMarks) {
  struct Row {
    std::u16string text;
    std::string ansi;
  } rows[] = {
      {u"\u0100", "?"},  // Latin A with macron
      {u"\u0080", "?"},  // C1 control whose byte holds the euro sign
      {u"\u009F", "?"},
      {u"\u20AD", "?"},
      {u"\u03A9x", "?x"},
      {u"\U0001F600", "?"},  // one character, though two UTF-16 units
      {u"a\xD800"
       "b",
       "a?b"},  // a lone surrogate
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(Utf16ToUtf8(r.text));
    EXPECT_EQ(Utf16ToAnsi(r.text), r.ansi);
  }
}

TEST(CodePage, AnsiVariantsReadAsText) {
  const Variant label = Variant::Ansi("\xB0 ");
  EXPECT_EQ(label.bstr(), u"\u00B0 ");
  EXPECT_EQ(label.ToUtf8(), "\xC2\xB0 ");
}

}  // namespace
}  // namespace orvane
