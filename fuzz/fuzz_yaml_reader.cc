// Any bytes: the YAML reader answers with a value or an error. A place an
// error names lies within the text. A value, written as JSON, reads back to
// a tree that writes the same text, and to the same tree when JSON can hold
// all of it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/json_round_trip.h"
#include "sdk/codecs/yaml_reader.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// The number after the last `label` in `error`.
std::uint64_t NumberAfter(std::string_view error, std::string_view label) {
  const std::size_t at = error.rfind(label);
  Check(at != std::string_view::npos);
  const std::string_view rest = error.substr(at + label.size());
  const std::size_t digits = std::min(rest.find_first_not_of("0123456789"), rest.size());
  Check(digits != 0);
  return std::stoull(std::string(rest.substr(0, digits)));
}

// Where an error names a place ("At line: <n> col: <m>"; a tag's value that
// does not convert names none), the line is one of the text's and the
// column at most one past that line's end; the end of the stream, which
// libyaml puts at the start of a line of its own when the text does not end
// in a break, counts as one more line. libyaml's own errors count from 0,
// the reader's from 1. Breaks are "\n",
// "\r", "\r\n" and the three of YAML 1.1 beyond ASCII (NEL, LS, PS); columns
// count characters, which are never more than the bytes counted here.
void CheckLineAndColumn(std::string_view error, std::string_view text) {
  if (error.find("At line: ") == std::string_view::npos) return;
  const std::uint64_t base = error.starts_with("YAML parser error: ") ? 0 : 1;
  const std::uint64_t line = NumberAfter(error, "At line: ");
  const std::uint64_t column = NumberAfter(error, " col: ");
  std::vector<std::size_t> lengths{0};
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::string_view rest = text.substr(i);
    std::size_t breakBytes = 0;
    if (rest.starts_with("\r\n")) {
      breakBytes = 2;
    } else if (rest[0] == '\n' || rest[0] == '\r') {
      breakBytes = 1;
    } else if (rest.starts_with("\xC2\x85")) {
      breakBytes = 2;
    } else if (rest.starts_with("\xE2\x80\xA8") || rest.starts_with("\xE2\x80\xA9")) {
      breakBytes = 3;
    }
    if (breakBytes == 0) {
      ++lengths.back();
      continue;
    }
    lengths.push_back(0);
    i += breakBytes - 1;
  }
  if (lengths.back() != 0) lengths.push_back(0);
  Check(line >= base && line - base < lengths.size());
  Check(column >= base && column - base <= lengths[line - base]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Kelp::ConversionResult read = Kelp::ReadYaml(text);
  if (!read.ok()) {
    CheckLineAndColumn(read.error(), text);
    return 0;
  }
  Kelp::Fuzz::CheckJsonRoundTrip(read.value());
  return 0;
}
