// Any bytes: the JSON reader answers with a value or an error. A value,
// written back as JSON, reads again to the same tree; an error names an
// offset within the text it was given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/tree_equality.h"
#include "sdk/codecs/json_reader.h"
#include "sdk/codecs/json_writer.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// "Error: <text> at offset <byte>." with the byte at most `size`.
void CheckErrorOffset(std::string_view error, std::size_t size) {
  constexpr std::string_view kAt = " at offset ";
  Check(error.starts_with("Error: ") && error.ends_with("."));
  const std::size_t at = error.rfind(kAt);
  Check(at != std::string_view::npos);
  const std::string_view digits = error.substr(at + kAt.size(), error.size() - 1 - at - kAt.size());
  Check(!digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos);
  Check(std::stoull(std::string(digits)) <= size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  // The text ends at its first NUL.
  text = text.substr(0, text.find('\0'));
  const Kelp::ConversionResult read = Kelp::ReadJson(text);
  if (!read.ok()) {
    CheckErrorOffset(read.error(), text.size());
    return 0;
  }
  const Kelp::ConversionResult again = Kelp::ReadJson(Kelp::WriteJson(read.value()));
  Check(again.ok());
  Check(Kelp::Fuzz::SameTree(read.value(), again.value(),
                             {.numbersByValue = true, .sortFields = true}));
  return 0;
}
