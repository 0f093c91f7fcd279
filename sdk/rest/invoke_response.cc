#include "sdk/rest/invoke_response.h"

#include <cstring>

#include "sdk/binding/binding_value.h"
#include "sdk/binding/memory.h"

namespace Kelp {
namespace {

// The content type of a response without one; never freed.
const char kNoContentType[] = "";

char* Duplicate(const std::string& text) { return DuplicateString(text.c_str()); }

}  // namespace

void KELP_CDECL ReleaseInvokeResponse(InvokeResponse* response) {
  if (response == nullptr) return;
  DestroyResult(response->result);
  if (response->contentType != nullptr && response->contentType != kNoContentType) {
    Free(const_cast<char*>(response->contentType));
  }
  if (response->headers != nullptr) {
    for (std::uint32_t i = 0; i < response->headerCount; ++i) {
      Free(const_cast<char*>(response->headers[i].name));
      Free(const_cast<char*>(response->headers[i].value));
    }
    Free(response->headers);
  }
  std::memset(static_cast<void*>(response), 0, sizeof *response);
}

void PrepareInvokeResponse(InvokeResponse& response) {
  if (response.release == ReleaseInvokeResponse) ReleaseInvokeResponse(&response);
  std::memset(static_cast<void*>(&response), 0, sizeof response);
  response.contentType = kNoContentType;
  response.release = ReleaseInvokeResponse;
}

void FailInvokeResponse(InvokeResponse& response, std::uint32_t status, std::string_view message) {
  SetResultError(response.result, message);
  response.status = status;
}

void EncodeReply(InvokeResponse& response, const ReplyBase& reply, const BindingProperty* value,
                 const EnumNamer* namer) {
  if (reply.failed()) {
    SetResultError(response.result, reply.error());
  } else if (value != nullptr && !ToBindingValue(*value, namer, response.result.value)) {
    SetResultError(response.result, "Out of memory while encoding the response");
  }
  const ResponseInfo& info = reply.info;
  response.flags = info.flags;
  response.code = info.code >= 1 && info.code <= 3 ? info.code : 0;
  response.status = info.status;
  if (!info.contentType.empty()) {
    if (char* copy = Duplicate(info.contentType); copy != nullptr) response.contentType = copy;
  }
  if (info.headers.empty()) return;
  auto* headers = static_cast<TextPair*>(AllocateZeroed(info.headers.size() * sizeof(TextPair)));
  if (headers == nullptr) return;
  response.headers = headers;
  for (const auto& [name, text] : info.headers) {
    headers[response.headerCount] = {Duplicate(name), Duplicate(text)};
    ++response.headerCount;
  }
}

}  // namespace Kelp
