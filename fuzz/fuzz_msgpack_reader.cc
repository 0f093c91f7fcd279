// Any bytes: the MessagePack reader answers with a value or an error and
// never consumes more than it was given. An error names a position within
// the input. A value, written as JSON, reads back to a tree that writes the
// same text, and to the same tree when JSON can hold all of it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/json_round_trip.h"
#include "sdk/codecs/msgpack_reader.h"

namespace {

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Kelp::MessagePackReadResult read = Kelp::ReadMessagePack({data, size});
  Check(read.consumed <= size);
  if (!read.result.ok()) {
    CheckPosition(read.result.error(), size);
    return 0;
  }
  Kelp::Fuzz::CheckJsonRoundTrip(read.result.value());
  return 0;
}
