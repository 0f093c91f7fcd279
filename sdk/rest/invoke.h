// The invoke entry: how the host delivers an inbound request to one of the
// plugin's endpoint functions.
#ifndef KELP_SDK_REST_INVOKE_H_
#define KELP_SDK_REST_INVOKE_H_

#include "sdk/plugin/abi.h"

namespace Kelp {

// Stored in every endpoint function record. Fills `response` (its release
// function included) for `request`:
//  - the function block must carry the context of a live endpoint, and the
//    request's method and path must fit its route; otherwise the error is
//    "Invalid function" with status 404;
//  - a request record that contradicts itself (an argument count without
//    arguments, a body length without body bytes) is refused with status 400;
//  - path values, arguments and the body are bound to the parameters
//    (sdk/rest/argument_binder.h); a binding failure is the error, with
//    status 0, and the handler is not called;
//  - otherwise the handler runs and its reply is encoded.
// Nothing is thrown: an exception ends the request with status 500. A null
// `response` is ignored. The host must not call this for one plugin from two
// threads at once.
void KELP_CDECL InvokeEndpoint(InvokeResponse* response, const InvokeRequest* request);

}  // namespace Kelp

#endif  // KELP_SDK_REST_INVOKE_H_
