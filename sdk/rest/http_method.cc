#include "sdk/rest/http_method.h"

namespace Kelp {
namespace {

constexpr std::string_view kMethodTexts[] = {
    "", "DELETE", "GET", "HEAD", "OPTIONS", "PATCH", "POST", "PUT", "",
};

}  // namespace

HttpMethod HttpMethodFromCode(std::uint32_t code) {
  return code < std::size(kMethodTexts) ? static_cast<HttpMethod>(code) : HttpMethod::None;
}

std::string_view HttpMethodText(HttpMethod method) {
  const auto code = static_cast<std::uint32_t>(method);
  return code < std::size(kMethodTexts) ? kMethodTexts[code] : std::string_view();
}

}  // namespace Kelp
