// Reading MessagePack bytes into a BindingProperty.
//
// One root value is read; bytes after it are left to the caller, who learns
// how many were consumed. Positive fixints and int 8 to 64 become signed,
// uint 8 to 64 unsigned, float 32 and 64 float, str string, bin blob, nil
// empty, array collection and map structure (keys must be strings). A
// repeated map key writes into the same field again: a later scalar
// replaces it, a later nil leaves it, a later map merges into it, a later
// array overwrites its elements from index 0 up. Extension types
// (including timestamps) and the byte 0xC1 are refused.
//
// Input that ends inside a container is not an error: the result holds what
// was read. Input that ends inside a scalar, a string or a length is. Claimed
// lengths and counts are checked against the bytes left before anything is
// allocated for them, nesting deeper than kMaxNestingDepth is refused, and
// reading never recurses.
#ifndef KELP_SDK_CODECS_MSGPACK_READER_H_
#define KELP_SDK_CODECS_MSGPACK_READER_H_

#include <cstddef>
#include <cstdint>
#include <span>

#include "sdk/binding/conversion_result.h"

namespace Kelp {

struct MessagePackReadResult {
  ConversionResult result;
  std::size_t consumed = 0;  // bytes read, up to where reading stopped
};

MessagePackReadResult ReadMessagePack(std::span<const std::uint8_t> bytes);

}  // namespace Kelp

#endif  // KELP_SDK_CODECS_MSGPACK_READER_H_
