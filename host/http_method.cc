#include "host/http_method.h"

#include "sdk/plugin/abi.h"

namespace Kelp::Host {

std::string MethodText(std::uint32_t method, const char* methodName) {
  static constexpr const char* kTexts[] = {"DELETE", "GET",  "HEAD", "OPTIONS",
                                           "PATCH",  "POST", "PUT"};
  if (method >= HTTP_METHOD_DELETE && method <= HTTP_METHOD_PUT) return kTexts[method - 1];
  if (method == HTTP_METHOD_NAMED) {
    return methodName == nullptr || methodName[0] == '\0' ? "NAMED" : methodName;
  }
  return "METHOD " + std::to_string(method);
}

}  // namespace Kelp::Host
