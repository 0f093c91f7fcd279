#include "host/host_response.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "host/host_binding.h"

namespace Kelp::Host {
namespace {

// The content type of a response without one; never freed.
constexpr char kNoContentType[] = "";

std::atomic<std::int64_t> awaitingRelease{0};

char* CopyText(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy == nullptr) throw std::bad_alloc();
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

void KELP_CDECL ReleaseHostResponse(InvokeResponse* response) {
  if (response == nullptr) return;
  BindingValue value;
  std::memcpy(&value, &response->result.value, sizeof value);
  FreeBuiltBinding(value);
  std::free(response->result.error);
  if (response->contentType != kNoContentType) {
    std::free(const_cast<char*>(response->contentType));
  }
  TextPair* headers = response->headers;
  for (std::uint32_t i = 0; headers != nullptr && i < response->headerCount; ++i) {
    std::free(const_cast<char*>(headers[i].name));
    std::free(const_cast<char*>(headers[i].value));
  }
  std::free(headers);
  std::memset(static_cast<void*>(response), 0, sizeof *response);
  --awaitingRelease;
}

void FillHeaders(InvokeResponse& response, const HostAnswer& answer) {
  if (answer.headers.empty()) return;
  const std::size_t bytes = answer.headers.size() * sizeof(TextPair);
  auto* headers = static_cast<TextPair*>(std::malloc(bytes));
  if (headers == nullptr) throw std::bad_alloc();
  std::memset(headers, 0, bytes);
  response.headers = headers;
  for (const auto& [name, value] : answer.headers) {
    TextPair& pair = headers[response.headerCount++];
    pair.name = CopyText(name);
    pair.value = CopyText(value);
  }
}

}  // namespace

std::uint8_t KELP_CDECL HostStream::Read(void* context, std::uint8_t* buffer, std::uint32_t* count,
                                         std::uint8_t* more) {
  auto* stream = static_cast<HostStream*>(context);
  if (stream == nullptr || count == nullptr || more == nullptr) return 0;
  const int call = stream->reads_++;
  if (stream->closed()) {
    ++stream->readsAfterClose_;
    return 0;
  }
  if (call == stream->body_.failAtRead) return 0;
  std::size_t chunk = std::min<std::size_t>(*count, stream->body_.text.size() - stream->offset_);
  if (stream->body_.chunkSize != 0) chunk = std::min<std::size_t>(chunk, stream->body_.chunkSize);
  if (chunk != 0 && buffer == nullptr) return 0;
  if (chunk != 0) std::memcpy(buffer, stream->body_.text.data() + stream->offset_, chunk);
  stream->offset_ += chunk;
  *count = static_cast<std::uint32_t>(chunk);
  *more = stream->offset_ < stream->body_.text.size() ? 1 : 0;
  return 1;
}

void KELP_CDECL HostStream::Close(void* context) {
  auto* stream = static_cast<HostStream*>(context);
  if (stream == nullptr) return;
  ++stream->closes_;
  // The body is released; the counters stay for inspection.
  stream->body_.text = std::string();
}

void FillHostResponse(InvokeResponse& response, const HostAnswer& answer, HostStream* stream) {
  response.release = &ReleaseHostResponse;
  response.contentType = kNoContentType;
  ++awaitingRelease;
  response.status = answer.status;
  if (!answer.contentType.empty()) response.contentType = CopyText(answer.contentType);
  FillHeaders(response, answer);
  if (answer.error) {
    response.result.error = CopyText(*answer.error);
    response.result.failed = 1;
    return;
  }
  if (answer.stream && stream != nullptr) {
    response.streamRead = &HostStream::Read;
    response.streamClose = &HostStream::Close;
    response.streamExpectedSize = stream->size();
    response.streamContext = stream;
    return;
  }
  const BindingValue value = BuildBinding(answer.value, BindingTagging::HandedOver);
  std::memcpy(&response.result.value, &value, sizeof value);
}

std::int64_t HostResponsesAwaitingRelease() { return awaitingRelease.load(); }

}  // namespace Kelp::Host
