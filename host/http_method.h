// Method texts of the boundary's HTTP method codes, for the host's journal,
// its error texts and its printouts.
#ifndef KELP_HOST_HTTP_METHOD_H_
#define KELP_HOST_HTTP_METHOD_H_

#include <cstdint>
#include <string>

namespace Kelp::Host {

// "DELETE" to "PUT" for codes 1 to 7; for code 8 the method name (or "NAMED"
// when it is null or empty); "METHOD <code>" for any other code.
std::string MethodText(std::uint32_t method, const char* methodName = nullptr);

}  // namespace Kelp::Host

#endif  // KELP_HOST_HTTP_METHOD_H_
