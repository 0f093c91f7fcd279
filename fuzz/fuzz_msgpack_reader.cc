// Any bytes: the MessagePack reader answers with a value or an error and
// never consumes more than it was given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "sdk/codecs/json_writer.h"
#include "sdk/codecs/msgpack_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Kelp::MessagePackReadResult read = Kelp::ReadMessagePack({data, size});
  if (read.consumed > size) std::abort();
  if (read.result.ok()) (void)Kelp::WriteJson(read.result.value(), nullptr, "\n");
  return 0;
}
