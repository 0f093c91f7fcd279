#include "sdk/binding/conversion_result.h"

#include <string>

namespace Kelp {

void ConversionResult::SetError(std::string_view message) {
  // The message may point into the value being reset.
  const std::string copy(message);
  value_.Reset();
  ok_ = false;
  value_["error"].SetString(copy);
}

std::string_view ConversionResult::error() const {
  if (ok_) return {};
  return value_["error"].GetString();
}

}  // namespace Kelp
