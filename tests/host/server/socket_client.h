// A blocking client over a plain socket, for talking to the host's server
// byte by byte: well-formed requests, broken ones, and WebSocket frames.
// Every read gives up after a timeout, so a server that hangs fails the
// test instead of stalling it.
#ifndef KELP_TESTS_HOST_SERVER_SOCKET_CLIENT_H_
#define KELP_TESTS_HOST_SERVER_SOCKET_CLIENT_H_

#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace Kelp::Host::Testing {

struct HttpReply {
  int status = 0;
  std::string headers;
  std::string body;
};

class SocketClient {
 public:
  // `receiveBuffer` above 0 shrinks the socket's receive buffer, so that a
  // client that does not read stalls the server's writes early.
  explicit SocketClient(std::uint16_t port, int receiveBuffer = 0) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0) {
      ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~SocketClient() { Close(); }
  SocketClient(const SocketClient&) = delete;
  SocketClient& operator=(const SocketClient&) = delete;

  bool connected() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  // The payload of the close frame the server sent (code and reason); empty
  // when none came.
  const std::string& closeFrame() const { return closeFrame_; }
  const std::string& buffered() const { return buffer_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  bool Send(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t count = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (count <= 0) return false;
      sent += static_cast<std::size_t>(count);
    }
    return true;
  }

  // Reads until `count` bytes are buffered; false on close or timeout.
  bool Fill(std::size_t count, int timeoutMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (buffer_.size() < count) {
      if (!ReadMore(deadline)) return false;
    }
    return true;
  }

  // True when the server closed the connection within the timeout.
  bool ClosedByServer(int timeoutMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (ReadMore(deadline)) {
    }
    return closed_;
  }

  // One HTTP response with a Content-Length; nullopt on close or timeout.
  std::optional<HttpReply> ReadHttpReply(int timeoutMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t end;
    while ((end = buffer_.find("\r\n\r\n")) == std::string::npos) {
      if (!ReadMore(deadline)) return std::nullopt;
    }
    HttpReply reply;
    reply.headers = buffer_.substr(0, end + 4);
    reply.status = std::stoi(reply.headers.substr(9, 3));
    std::size_t length = 0;
    const std::size_t field = Lower(reply.headers).find("content-length:");
    if (field != std::string::npos) length = std::stoul(reply.headers.substr(field + 15));
    while (buffer_.size() < end + 4 + length) {
      if (!ReadMore(deadline)) return std::nullopt;
    }
    reply.body = buffer_.substr(end + 4, length);
    buffer_.erase(0, end + 4 + length);
    return reply;
  }

  // The next text frame the server sent (server frames are unmasked).
  std::optional<std::string> ReadWebSocketText(int timeoutMs = 5000) {
    for (;;) {
      if (!Fill(2, timeoutMs)) return std::nullopt;
      const int opcode = static_cast<unsigned char>(buffer_[0]) & 0x0F;
      std::uint64_t length = static_cast<unsigned char>(buffer_[1]) & 0x7F;
      std::size_t header = 2;
      if (length == 126 || length == 127) {
        header = length == 126 ? 4 : 10;
        if (!Fill(header, timeoutMs)) return std::nullopt;
        length = 0;
        for (std::size_t i = 2; i < header; ++i) {
          length = (length << 8) | static_cast<unsigned char>(buffer_[i]);
        }
      }
      if (!Fill(header + length, timeoutMs)) return std::nullopt;
      std::string payload = buffer_.substr(header, length);
      buffer_.erase(0, header + length);
      if (opcode == 1) return payload;
      if (opcode == 8) {
        closeFrame_ = payload;
        return std::nullopt;
      }
    }
  }

 private:
  static std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  }

  bool ReadMore(std::chrono::steady_clock::time_point deadline) {
    if (fd_ < 0 || closed_) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd waiting{fd_, POLLIN, 0};
    if (::poll(&waiting, 1, static_cast<int>(left.count())) <= 0) return false;
    char chunk[4096];
    const ssize_t count = ::recv(fd_, chunk, sizeof chunk, 0);
    if (count <= 0) {
      closed_ = true;
      return false;
    }
    buffer_.append(chunk, static_cast<std::size_t>(count));
    return true;
  }

  int fd_ = -1;
  bool closed_ = false;
  std::string buffer_;
  std::string closeFrame_;
};

}  // namespace Kelp::Host::Testing

#endif  // KELP_TESTS_HOST_SERVER_SOCKET_CLIENT_H_
