// The HTTP status of a plugin call that failed.
//
// A status the plugin chose from 400 to 599 stands. A failure without one
// (status 0) is the client's mistake when the plugin could not bind the
// request to its parameters: an unknown argument, a value of the wrong type
// or out of range, a missing body, a body that does not decode or comes in
// a content type the plugin does not read. The SDK leaves the status of those
// at 0, and so does a handler that passes on a failure of its own without a
// status, which is the server's fault. The two are told apart by the
// binder's message texts and by what the call did: binding runs before the
// handler, so a call that sent requests got past it.
#ifndef KELP_HOST_SERVER_FAILURE_STATUS_H_
#define KELP_HOST_SERVER_FAILURE_STATUS_H_

#include <cstdint>
#include <string_view>

namespace Kelp::Host {

// True when `error` has the shape of one of the SDK's messages for a
// request it could not bind ("Unknown argument 'x' for 'F'.", "Couldn't
// deserialize JSON value for parameter ...", "A value for 'x' is required.").
bool IsBindingFailure(std::string_view error);

// 400 to 599 as given; 400 for a status-0 binding failure of a call that
// sent no request; 500 for anything else.
unsigned FailureStatus(std::uint32_t status, std::string_view error, bool sentRequests);

}  // namespace Kelp::Host

#endif  // KELP_HOST_SERVER_FAILURE_STATUS_H_
