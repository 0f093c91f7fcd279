// Filling and releasing the response record of an inbound request.
//
// Everything a filled record owns comes from the plugin's memory functions
// and is freed by ReleaseInvokeResponse, the record's release function: the
// value, the error text, the content type (unless it is the shared empty
// text) and the header array with its texts.
#ifndef KELP_SDK_REST_INVOKE_RESPONSE_H_
#define KELP_SDK_REST_INVOKE_RESPONSE_H_

#include <cstdint>
#include <string_view>

#include "sdk/binding/binding_property.h"
#include "sdk/binding/enum_namer.h"
#include "sdk/plugin/abi.h"
#include "sdk/rest/reply.h"

namespace Kelp {

// Frees what the record owns and zeroes all of it.
void KELP_CDECL ReleaseInvokeResponse(InvokeResponse* response);

// Readies `response` for filling: releases what an earlier fill of ours left
// in it (a release function that is not ours is never called: the record
// may hold anything), zeroes it and installs ReleaseInvokeResponse.
void PrepareInvokeResponse(InvokeResponse& response);

// Stores `message` as the error (failed flag set, value cleared) and sets
// the status.
void FailInvokeResponse(InvokeResponse& response, std::uint32_t status, std::string_view message);

// Encodes a handler's reply: on success `value` (may be null for no value)
// goes to the record, enums by name through `namer`; on failure the reply's
// message becomes the error. In both cases the response information is
// copied.
void EncodeReply(InvokeResponse& response, const ReplyBase& reply, const BindingProperty* value,
                 const EnumNamer* namer);

}  // namespace Kelp

#endif  // KELP_SDK_REST_INVOKE_RESPONSE_H_
