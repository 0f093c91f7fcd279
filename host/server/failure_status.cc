#include "host/server/failure_status.h"

namespace Kelp::Host {
namespace {

// The SDK's binding messages with "*" for each argument: the binder's own
// and those of the conversions from a request's values to parameters.
constexpr std::string_view kBindingShapes[] = {
    "Unknown argument '*' for '*'.",
    "Argument '*' for '*' was specified in an invalid location.",
    "Expected value for argument '*'.",
    "Index * is in an incorrect format",
    "Index * is out of range",
    "Argument '*' is nested too deeply",
    "Couldn't deserialize * value for parameter '*' of '*': *",
    "Unsupported body content type",
    "Extra MessgePack data found in body",
    "Invalid MessagePack data*",
    "A value for '*' is required.",
    "Value * for '*' of type * is in an incorrect format*",
    "Value * for '*' of type * is out of range",
    "Couldn't assign value to '*' *",
    "* is not a valid * enumeration value for '*'.",
    "* is not a valid enumeration value for '*'.",
};

// Whether `text` is `shape` with each "*" standing for any text, the empty
// one included. Backtracks to the last "*" only, which is enough for a
// match over the whole text.
bool Fits(std::string_view shape, std::string_view text) {
  std::size_t s = 0;
  std::size_t t = 0;
  std::size_t star = std::string_view::npos;
  std::size_t resume = 0;
  while (t < text.size()) {
    if (s < shape.size() && shape[s] == '*') {
      star = s++;
      resume = t;
    } else if (s < shape.size() && shape[s] == text[t]) {
      ++s;
      ++t;
    } else if (star != std::string_view::npos) {
      s = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (s < shape.size() && shape[s] == '*') ++s;
  return s == shape.size();
}

}  // namespace

bool IsBindingFailure(std::string_view error) {
  for (const std::string_view shape : kBindingShapes) {
    if (Fits(shape, error)) return true;
  }
  return false;
}

unsigned FailureStatus(std::uint32_t status, std::string_view error, bool sentRequests) {
  if (status >= 400 && status < 600) return status;
  if (status == 0 && !sentRequests && IsBindingFailure(error)) return 400;
  return 500;
}

}  // namespace Kelp::Host
