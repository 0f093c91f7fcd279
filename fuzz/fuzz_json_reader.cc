// Any bytes: the JSON reader answers with a value or an error, and what it
// reads writes back as JSON that it reads again to the same value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "sdk/codecs/json_reader.h"
#include "sdk/codecs/json_writer.h"

namespace {

// Numbers may change kind on the way back (-0 is signed, 0 unsigned).
int KindClass(Kelp::BindingPropertyKind kind) {
  using Kind = Kelp::BindingPropertyKind;
  if (kind == Kind::Signed || kind == Kind::Unsigned || kind == Kind::Float) return -1;
  return static_cast<int>(kind);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Kelp::ConversionResult read = Kelp::ReadJson(text);
  if (!read.ok()) return 0;
  const Kelp::ConversionResult again = Kelp::ReadJson(Kelp::WriteJson(read.value()));
  // Only the root's kind and size are compared.
  if (!again.ok() || KindClass(again.value().kind()) != KindClass(read.value().kind()) ||
      again.value().size() != read.value().size()) {
    std::abort();
  }
  return 0;
}
