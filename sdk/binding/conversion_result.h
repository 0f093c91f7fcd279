// ConversionResult: how every conversion and codec reports its outcome.
#ifndef KELP_SDK_BINDING_CONVERSION_RESULT_H_
#define KELP_SDK_BINDING_CONVERSION_RESULT_H_

#include <string_view>

#include "sdk/binding/binding_property.h"

namespace Kelp {

// A root value plus an `ok` flag. A fresh result is empty and ok. Setting an
// error resets the value, clears `ok` and stores the message as the string
// field "error" of a structure value. Once failed, conversions into the
// result do nothing, so the first failure is the one reported.
class [[nodiscard]] ConversionResult {
 public:
  ConversionResult() = default;

  bool ok() const { return ok_; }
  BindingProperty& value() { return value_; }
  const BindingProperty& value() const { return value_; }

  void SetError(std::string_view message);
  // The message of a failed result; the empty text while ok (or when the
  // "error" field is missing or not a string).
  std::string_view error() const;

 private:
  BindingProperty value_;
  bool ok_ = true;
};

}  // namespace Kelp

#endif  // KELP_SDK_BINDING_CONVERSION_RESULT_H_
