// The command's JSON values: escapes, UTF-16 to UTF-8, numbers and dates,
// written straight into one buffer.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "json.h"

namespace orvane::cli {
namespace {

std::string Json(const Variant& v, bool typed = false) {
  std::string out = "prefix:";  // values append, never replace
  AppendJson(out, v, typed);
  return out.substr(7);
}

TEST(JsonTest, TextIsEscapedAndConvertedAsUtf8) {
  struct Case {
    std::u16string text;
    std::string json;
  } cases[] = {
      {u"", "\"\""},
      {u"plain 47.5 N", "\"plain 47.5 N\""},
      // Escapes anywhere in and between eight-byte words.
      {u"0123456\"89abcdef\\hijklmnopqrstuv\x01", "\"0123456\\\"89abcdef\\\\hijklmnopqrstuv\\u0001\""},
      {u"a\"b\\c\n\r\t\x01\x1f\x7f", "\"a\\\"b\\\\c\\n\\r\\t\\u0001\\u001f\x7f\""},
      {u"\u00e9\u20ac\U0001F600", "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\""},
      // Lone halves of a pair become U+FFFD, also right before an escape.
      {std::u16string(u"\xD800\"", 2), "\"\xEF\xBF\xBD\\\"\""},
      {std::u16string(u"x\xDC00", 2), "\"x\xEF\xBF\xBD\""},
      {std::u16string(u"\xD83D\n\xDE00", 3), "\"\xEF\xBF\xBD\\n\xEF\xBF\xBD\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Json(Variant::Bstr(c.text)), c.json);
    // The same bytes as converting first and escaping the UTF-8.
    std::string via_utf8;
    AppendJsonString(via_utf8, Utf16ToUtf8(c.text));
    EXPECT_EQ(via_utf8, c.json);
  }
}

TEST(JsonTest, NumbersDatesAndArrays) {
  struct Case {
    Variant value;
    std::string plain, typed;
  } cases[] = {
      {Variant::I2(-32768), "-32768", "{\"vt\":2,\"value\":-32768}"},
      {Variant::I4(INT_MIN), "-2147483648", "{\"vt\":3,\"value\":-2147483648}"},
      {Variant::R8(0.1), "0.1", "{\"vt\":5,\"value\":0.1}"},
      {Variant::R8(-1e300), "-1e+300", "{\"vt\":5,\"value\":-1e+300}"},
      {Variant::R8(HUGE_VAL), "null", "{\"vt\":5,\"value\":null}"},
      {Variant::R8(std::numeric_limits<double>::quiet_NaN()), "null", "{\"vt\":5,\"value\":null}"},
      {Variant::Date(38000.5), "\"2004-01-14T12:00:00\"", "{\"vt\":7,\"value\":38000.5}"},
      {Variant::Bool(false), "false", "{\"vt\":11,\"value\":false}"},
      {Variant(), "null", "{\"vt\":0,\"value\":null}"},
      {Variant::Array({Variant::I2(3), Variant::Text("G")}), "[3,\"G\"]",
       "{\"vt\":8204,\"value\":[{\"vt\":2,\"value\":3},{\"vt\":8,\"value\":\"G\"}]}"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Json(c.value), c.plain);
    EXPECT_EQ(Json(c.value, true), c.typed);
  }
}

}  // namespace
}  // namespace orvane::cli
