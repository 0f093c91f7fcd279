#include "sdk/rest/remoting_result.h"

#include <utility>

namespace Kelp {

void RemotingResult::SetFailure(std::uint32_t status, std::string text) {
  error = 1;
  statusCode = status;
  message = std::move(text);
  detail.Reset();
  detail.MakeStructure();
  if (status != 0) detail["errorCode_int"].SetSigned(status);
}

}  // namespace Kelp
