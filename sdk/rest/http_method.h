// HTTP method codes as they travel in request records and function records.
#ifndef KELP_SDK_REST_HTTP_METHOD_H_
#define KELP_SDK_REST_HTTP_METHOD_H_

#include <cstdint>
#include <string_view>

namespace Kelp {

enum class HttpMethod : std::uint32_t {
  None = 0,
  Delete = 1,
  Get = 2,
  Head = 3,
  Options = 4,
  Patch = 5,
  Post = 6,
  Put = 7,
  // A method given by name; the name travels beside the code.
  Named = 8,
};

// Codes 1 to 8 as they stand; every other code becomes None.
HttpMethod HttpMethodFromCode(std::uint32_t code);

// "DELETE" ... "PUT"; the empty text for None, Named and unknown codes.
std::string_view HttpMethodText(HttpMethod method);

}  // namespace Kelp

#endif  // KELP_SDK_REST_HTTP_METHOD_H_
