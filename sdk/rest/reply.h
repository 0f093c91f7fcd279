// What an endpoint handler answers: a value or a failure, plus the response
// information that travels with it to the host.
#ifndef KELP_SDK_REST_REPLY_H_
#define KELP_SDK_REST_REPLY_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace Kelp {

struct ResponseInfo {
  std::uint8_t flags = 0;
  // 1, 2 and 3 reach the host as they stand; any other code as 0.
  std::uint32_t code = 0;
  // HTTP status; 0 leaves the choice to the host.
  std::uint32_t status = 0;
  std::string contentType;  // empty: none
  std::vector<std::pair<std::string, std::string>> headers;
};

class ReplyBase {
 public:
  bool failed() const { return failed_; }
  const std::string& error() const { return error_; }
  // Marks the reply failed with `message` and the HTTP status.
  void Fail(std::uint32_t status, std::string message) {
    failed_ = true;
    error_ = std::move(message);
    info.status = status;
  }

  ResponseInfo info;

 private:
  bool failed_ = false;
  std::string error_;
};

// A handler's answer. Success by default; `value` is sent only on success.
template <class T = void>
class Reply : public ReplyBase {
 public:
  Reply() = default;
  Reply(T answer) : value(std::move(answer)) {}  // NOLINT: implicit on purpose
  static Reply Failure(std::uint32_t status, std::string message) {
    Reply reply;
    reply.Fail(status, std::move(message));
    return reply;
  }

  T value{};
};

template <>
class Reply<void> : public ReplyBase {
 public:
  static Reply Failure(std::uint32_t status, std::string message) {
    Reply reply;
    reply.Fail(status, std::move(message));
    return reply;
  }
};

}  // namespace Kelp

#endif  // KELP_SDK_REST_REPLY_H_
