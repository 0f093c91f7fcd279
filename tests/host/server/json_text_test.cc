#include "host/server/json_text.h"

#include <string>

#include <gtest/gtest.h>

namespace Kelp::Host {
namespace {

std::string Hex(const std::string& text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
    hex += ' ';
  }
  return hex;
}

TEST(ReplaceInvalidUtf8Test, KeepsWellFormedSequencesAndReplacesEveryOtherByte) {
  const std::string r = "\xEF\xBF\xBD";  // U+FFFD
  const struct {
    const char* name;
    std::string text;
    std::string repaired;
  } kRows[] = {
      {"ascii", "/x?a=1", "/x?a=1"},
      {"empty", "", ""},
      {"two, three and four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xA7",
       "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xA7"},
      {"highest code point", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
      {"stray continuation", "a\x80z", "a" + r + "z"},
      {"lead bytes that never start a sequence", "\xC0\xC1\xF5\xFF", r + r + r + r},
      {"overlong two bytes", "\xC0\xAF", r + r},
      {"overlong three bytes", "\xE0\x80\xAF", r + r + r},
      {"overlong four bytes", "\xF0\x8F\xBF\xBF", r + r + r + r},
      {"surrogate", "\xED\xA0\x80", r + r + r},
      {"past U+10FFFF", "\xF4\x90\x80\x80", r + r + r + r},
      {"cut at the end", "ok\xE2\x82", "ok" + r + r},
      {"cut before ascii", "\xF0\x9F\x8E/", r + r + r + "/"},
      {"Latin-1 text", "caf\xE9!", "caf" + r + "!"},
      {"json around it", "{\"message\":\"No function for GET /\xFF\"}",
       "{\"message\":\"No function for GET /" + r + "\"}"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Hex(ReplaceInvalidUtf8(row.text)), Hex(row.repaired));
  }
}

}  // namespace
}  // namespace Kelp::Host
