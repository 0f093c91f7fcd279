// The host's answers to the plugin's outbound requests, and the response
// records it fills from them.
//
// A filled InvokeResponse holds only memory that the host allocated with
// malloc; its `release` frees all of it and zeroes the record. A streamed
// body lives in a HostStream that the host owns: the plugin reads it through
// `streamRead` and ends it with `streamClose`, and the host keeps the
// stream's record for inspection until the host itself goes away.
#ifndef KELP_HOST_HOST_RESPONSE_H_
#define KELP_HOST_HOST_RESPONSE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/host_value.h"
#include "sdk/plugin/abi.h"

namespace Kelp::Host {

// A response body delivered through the stream functions.
struct StreamedBody {
  std::string text;
  // Most bytes one read delivers; 0: as many as the reader's buffer takes.
  std::uint32_t chunkSize = 0;
  // The read call (counted from 0) that fails, returning 0; -1: none fails.
  int failAtRead = -1;
};

// What a stand-in answers to one request.
struct HostAnswer {
  std::uint32_t status = 200;
  std::optional<std::string> error;  // set: the response is a failure with this text
  HostValue value;                   // sent when there is no error and no stream
  std::string contentType;
  std::vector<std::pair<std::string, std::string>> headers;
  std::optional<StreamedBody> stream;

  static HostAnswer Failure(std::uint32_t status, std::string error) {
    HostAnswer answer;
    answer.status = status;
    answer.error = std::move(error);
    return answer;
  }
  static HostAnswer Success(HostValue value = HostValue()) {
    HostAnswer answer;
    answer.value = std::move(value);
    return answer;
  }
};

// One streamed body and what the plugin did with it.
class HostStream {
 public:
  HostStream(std::string description, StreamedBody body)
      : description_(std::move(description)),
        size_(static_cast<std::uint32_t>(body.text.size())),
        body_(std::move(body)) {}

  const std::string& description() const { return description_; }  // "GET /path"
  std::uint32_t size() const { return size_; }
  std::size_t bytesDelivered() const { return offset_; }
  int reads() const { return reads_; }
  int readsAfterClose() const { return readsAfterClose_; }
  int closes() const { return closes_; }
  bool closed() const { return closes_ > 0; }

  // The record's stream functions; `context` is the HostStream.
  static std::uint8_t KELP_CDECL Read(void* context, std::uint8_t* buffer, std::uint32_t* count,
                                      std::uint8_t* more);
  static void KELP_CDECL Close(void* context);

 private:
  std::string description_;
  std::uint32_t size_;
  StreamedBody body_;  // its text is released on close
  std::size_t offset_ = 0;
  int reads_ = 0;
  int readsAfterClose_ = 0;
  int closes_ = 0;
};

// Fills a zeroed `response` from `answer`. A streamed answer needs `stream`,
// which the record then refers to (expected size, read, close, context).
// Throws std::bad_alloc when malloc fails, leaving the record releasable.
void FillHostResponse(InvokeResponse& response, const HostAnswer& answer, HostStream* stream);

// The responses filled by FillHostResponse in this process and not yet
// released: every plugin must release each response it received.
std::int64_t HostResponsesAwaitingRelease();

}  // namespace Kelp::Host

#endif  // KELP_HOST_HOST_RESPONSE_H_
