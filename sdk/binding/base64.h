// Standard base64 (RFC 4648 alphabet, "=" padding).
#ifndef KELP_SDK_BINDING_BASE64_H_
#define KELP_SDK_BINDING_BASE64_H_

#include <cstdint>
#include <span>
#include <string>

namespace Kelp {

// Appends the base64 form of `bytes` to `out`.
void AppendBase64(std::span<const std::uint8_t> bytes, std::string& out);

}  // namespace Kelp

#endif  // KELP_SDK_BINDING_BASE64_H_
