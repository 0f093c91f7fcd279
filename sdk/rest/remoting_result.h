// Kelp::RemotingResult: the outcome of every outbound request.
#ifndef KELP_SDK_REST_REMOTING_RESULT_H_
#define KELP_SDK_REST_REMOTING_RESULT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "sdk/binding/binding_property.h"

namespace Kelp {

struct [[nodiscard]] RemotingResult {
  std::uint8_t error = 0;  // 1 on failure
  // The HTTP status of a failed response; 400 for a request that was not
  // sent; 0 for a failure after a successful response.
  std::uint32_t statusCode = 0;
  std::string message;
  // Empty on success. On failure a structure, with the status code in the
  // signed field "errorCode_int" when the code is not 0.
  BindingProperty detail;

  bool ok() const { return error == 0; }
  void SetFailure(std::uint32_t status, std::string text);
};

// A result that also carries the response converted to `T`, which stays
// default-constructed on failure.
template <typename T>
struct [[nodiscard]] TypedRemotingResult : RemotingResult {
  T value{};
};

}  // namespace Kelp

#endif  // KELP_SDK_REST_REMOTING_RESULT_H_
