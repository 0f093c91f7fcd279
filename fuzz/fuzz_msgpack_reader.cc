// Any bytes: the MessagePack reader answers with a value or an error and
// never consumes more than it was given. An error names a position within
// the input. A value, written as JSON, reads back to a tree that writes the
// same text, and to the same tree when JSON can hold all of it.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/tree_equality.h"
#include "sdk/codecs/json_reader.h"
#include "sdk/codecs/json_writer.h"
#include "sdk/codecs/msgpack_reader.h"

namespace {

using Kelp::BindingProperty;
using Kind = Kelp::BindingPropertyKind;

void Check(bool condition) {
  if (!condition) std::abort();
}

// The message says "position <byte>" with the byte at most `size`.
void CheckPosition(std::string_view error, std::size_t size) {
  constexpr std::string_view kPosition = "position ";
  const std::size_t at = error.find(kPosition);
  Check(at != std::string_view::npos);
  const std::string_view rest = error.substr(at + kPosition.size());
  const std::size_t digits = rest.find_first_not_of("0123456789");
  Check(digits != 0 && digits != std::string_view::npos);
  Check(std::stoull(std::string(rest.substr(0, digits))) <= size);
}

// False when JSON cannot hold the tree as it is: a blob is written as
// base64 text, a NaN or an infinity as null.
bool JsonHoldsAll(const BindingProperty& root) {
  std::vector<const BindingProperty*> work{&root};
  while (!work.empty()) {
    const BindingProperty& value = *work.back();
    work.pop_back();
    if (value.kind() == Kind::Blob) return false;
    if (value.kind() == Kind::Float && !std::isfinite(value.GetFloat())) return false;
    if (value.kind() == Kind::Collection) {
      for (const BindingProperty& element : value.Elements()) work.push_back(&element);
    } else if (value.kind() == Kind::Structure) {
      for (const auto& [name, field] : value.Fields()) work.push_back(&field);
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Kelp::MessagePackReadResult read = Kelp::ReadMessagePack({data, size});
  Check(read.consumed <= size);
  if (!read.result.ok()) {
    CheckPosition(read.result.error(), size);
    return 0;
  }
  const BindingProperty& value = read.result.value();
  const std::string written = Kelp::WriteJson(value);
  const Kelp::ConversionResult again = Kelp::ReadJson(written);
  Check(again.ok());
  // A root NaN or infinity is written as null, which reads as the empty
  // value, which is written as the empty text.
  const bool nonFiniteRoot = value.kind() == Kind::Float && !std::isfinite(value.GetFloat());
  Check(nonFiniteRoot ? again.value().kind() == Kind::Empty
                      : Kelp::WriteJson(again.value()) == written);
  if (JsonHoldsAll(value)) {
    Check(Kelp::Fuzz::SameTree(value, again.value(), {.numbersByValue = true, .sortFields = true}));
  }
  return 0;
}
