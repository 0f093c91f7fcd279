#include "host/server/http_server.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "host/server/request_guard.h"
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

namespace Kelp::Host {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

// Time for an answer to go out.
constexpr auto kWriteTimeout = std::chrono::seconds(30);
constexpr auto kTickInterval = std::chrono::milliseconds(20);
constexpr std::size_t kMaxWebSocketMessage = 64 * 1024;
constexpr std::size_t kMaxHeaderBytes = 16 * 1024;
// Connections being refused with 503 at once; past it, further ones are
// closed without an answer.
constexpr std::size_t kMaxRefusing = 16;
// Time for the close frame to a WebSocket client that reads too slowly.
constexpr auto kSlowCloseTimeout = std::chrono::seconds(5);
// After refusing a request, what the server still reads (and drops) of it
// before closing, so that the client gets the answer and not a reset.
constexpr std::size_t kMaxDrainBytes = 4 * 1024 * 1024;
constexpr auto kDrainTimeout = std::chrono::seconds(5);

class WebSocketSession;

// An open connection, closed by the server when it stops.
class Connection : public std::enable_shared_from_this<Connection> {
 public:
  virtual ~Connection() = default;
  virtual void Close() = 0;
};

// What a connection counts against.
enum ConnectionKind : std::size_t { kHttp, kWebSocket, kRefusing, kConnectionKinds };

// Every open connection. Shared with the connections, which may outlive
// the rest of the server while the I/O context destroys its pending
// handlers.
struct Connections {
  std::uint64_t nextId = 0;
  std::map<std::uint64_t, std::weak_ptr<Connection>> open;
  std::size_t counts[kConnectionKinds] = {};
};

// A connection's entry in Connections, removed with it.
class Registration {
 public:
  Registration(std::shared_ptr<Connections> connections, ConnectionKind kind)
      : connections_(std::move(connections)), id_(connections_->nextId++), kind_(kind) {
    ++connections_->counts[kind_];
  }
  ~Registration() {
    connections_->open.erase(id_);
    --connections_->counts[kind_];
  }
  Registration(const Registration&) = delete;
  Registration& operator=(const Registration&) = delete;
  void Register(std::weak_ptr<Connection> connection) { connections_->open[id_] = connection; }

 private:
  std::shared_ptr<Connections> connections_;
  std::uint64_t id_;
  ConnectionKind kind_;
};

}  // namespace

struct HttpServer::Impl {
  Impl(WebApi& webApi, EventFeed& eventFeed, ServerLimits serverLimits)
      : api(webApi), feed(eventFeed), limits(serverLimits) {}

  // Declared first: destroyed last, after everything bound to it.
  asio::io_context io;
  WebApi& api;
  EventFeed& feed;
  const ServerLimits limits;
  tcp::acceptor acceptor{io};
  asio::steady_timer ticker{io};
  asio::signal_set signals{io};
  std::function<void(double)> tick;
  std::chrono::steady_clock::time_point lastTick;
  std::set<std::shared_ptr<WebSocketSession>> sockets;
  std::shared_ptr<Connections> connections = std::make_shared<Connections>();
  std::uint16_t port = 0;
  bool stopping = false;
  // Whether a refusal was logged since the limit was last reached.
  bool loggedFull[kConnectionKinds] = {};

  // True when one more connection of `kind` fits; otherwise logs the first
  // refusal since the limit was reached.
  bool Admits(ConnectionKind kind, std::size_t limit, const char* what);
  void Accept();
  void ScheduleTick();
  void Broadcast(const std::string& message);
  void Shutdown();
};

namespace {

class WebSocketSession : public Connection {
 public:
  WebSocketSession(tcp::socket socket, HttpServer::Impl& server)
      : socket_(std::move(socket)),
        server_(server),
        closeTimer_(server.io),
        registration_(server.connections, kWebSocket) {}

  std::shared_ptr<WebSocketSession> self() {
    return std::static_pointer_cast<WebSocketSession>(shared_from_this());
  }

  // `replay` goes out first, then every message as it comes.
  void Accept(http::request<http::string_body> request, std::vector<std::string> replay) {
    registration_.Register(weak_from_this());
    socket_.read_message_max(kMaxWebSocketMessage);
    socket_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    socket_.async_accept(request,
                         [self = self(), replay = std::move(replay)](beast::error_code error) {
                           if (error || self->server_.stopping) return;
                           self->server_.sockets.insert(self);
                           for (const std::string& message : replay) self->Send(message);
                           self->Read();
                         });
  }

  void Send(const std::string& message) {
    if (closing_) return;
    if (queuedBytes_ + message.size() <= server_.limits.webSocketBacklog) {
      Queue(message);
    } else if (wroteSinceGap_) {
      Gap();
    } else {
      CloseTooSlow();
    }
  }

  void Close() override {
    server_.sockets.erase(self());
    closeTimer_.cancel();
    beast::error_code ignored;
    beast::get_lowest_layer(socket_).socket().close(ignored);
  }

 private:
  // Listeners may send; what they send is read and dropped. A broken frame
  // or a close ends the session.
  void Read() {
    socket_.async_read(buffer_, [self = self()](beast::error_code error, std::size_t) {
      if (error) {
        self->server_.sockets.erase(self);
        return;
      }
      self->buffer_.consume(self->buffer_.size());
      self->Read();
    });
  }

  void WriteNext() {
    socket_.text(true);
    socket_.async_write(asio::buffer(queue_.front()),
                        [self = self()](beast::error_code error, std::size_t) {
                          if (error) {
                            self->server_.sockets.erase(self);
                            return;
                          }
                          self->queuedBytes_ -= self->queue_.front().size();
                          self->queue_.pop_front();
                          self->wroteSinceGap_ = true;
                          if (self->closing_) {
                            self->SendClose();
                          } else if (!self->queue_.empty()) {
                            self->WriteNext();
                          }
                        });
  }

  void Queue(std::string message) {
    queuedBytes_ += message.size();
    queue_.push_back(std::move(message));
    if (queue_.size() == 1) WriteNext();
  }

  // Drops the messages not yet under way (a frame may not cut into
  // another); returns how many.
  std::size_t DropWaiting() {
    std::size_t dropped = 0;
    while (queue_.size() > 1) {
      queuedBytes_ -= queue_.back().size();
      queue_.pop_back();
      ++dropped;
    }
    return dropped;
  }

  // Messages come faster than the client takes them, which a burst of
  // changes can cause for any client: the waiting ones and this one are
  // dropped, and the client is told how many it missed.
  void Gap() {
    const std::size_t missed = DropWaiting() + 1;
    wroteSinceGap_ = false;
    Queue(R"({"kind":"gap","missed":)" + std::to_string(missed) + "}");
  }

  // The backlog filled again while not one message went out since the last
  // gap: the client reads nothing. It gets a close frame once the message
  // being written is out, or is cut off when that does not happen in time.
  void CloseTooSlow() {
    closing_ = true;
    server_.sockets.erase(self());
    const std::size_t waiting = queuedBytes_;
    DropWaiting();
    closeReason_ = "reading too slowly: " + std::to_string(waiting) + " bytes waiting";
    closeTimer_.expires_after(kSlowCloseTimeout);
    closeTimer_.async_wait([self = self()](beast::error_code error) {
      if (!error) self->Close();
    });
    if (queue_.empty()) SendClose();
  }

  void SendClose() {
    socket_.async_close(websocket::close_reason(websocket::close_code::policy_error, closeReason_),
                        [self = self()](beast::error_code) { self->closeTimer_.cancel(); });
  }

  websocket::stream<beast::tcp_stream> socket_;
  HttpServer::Impl& server_;
  beast::flat_buffer buffer_;
  std::deque<std::string> queue_;
  std::size_t queuedBytes_ = 0;
  // False from a gap until a message has gone out after it.
  bool wroteSinceGap_ = true;
  bool closing_ = false;
  std::string closeReason_;
  asio::steady_timer closeTimer_;
  Registration registration_;
};

// "/events", optionally with "?feed=ID&after=N" (both, in any order): the
// feed and the last message number a returning listener saw. False for any
// other target.
bool ParseEventsTarget(std::string_view target, std::string& feed, std::uint64_t& after) {
  const std::size_t question = target.find('?');
  if (target.substr(0, question) != "/events") return false;
  if (question == std::string_view::npos) return true;
  std::string_view query = target.substr(question + 1);
  while (!query.empty()) {
    const std::size_t end = std::min(query.find('&'), query.size());
    const std::string_view pair = query.substr(0, end);
    query.remove_prefix(std::min(end + 1, query.size()));
    const std::size_t equals = pair.find('=');
    const std::string_view name = pair.substr(0, equals);
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1);
    if (name == "feed") {
      feed = std::string(value);
    } else if (name == "after") {
      const auto parsed = std::from_chars(value.data(), value.data() + value.size(), after);
      if (parsed.ec != std::errc() || parsed.ptr != value.data() + value.size()) after = 0;
    }
  }
  return true;
}

std::optional<std::string_view> HeaderOf(const http::request<http::string_body>& request,
                                         http::field field) {
  const auto found = request.find(field);
  if (found == request.end()) return std::nullopt;
  return std::string_view(found->value().data(), found->value().size());
}

RequestSource SourceOf(const http::request<http::string_body>& request, bool upgrade) {
  return {std::string_view(request.method_string().data(), request.method_string().size()),
          HeaderOf(request, http::field::host), HeaderOf(request, http::field::origin), upgrade};
}

class HttpSession : public Connection {
 public:
  HttpSession(tcp::socket socket, HttpServer::Impl& server, ConnectionKind kind = kHttp)
      : stream_(std::move(socket)), server_(server), registration_(server.connections, kind) {}

  std::shared_ptr<HttpSession> self() {
    return std::static_pointer_cast<HttpSession>(shared_from_this());
  }

  void Start() {
    registration_.Register(weak_from_this());
    Read();
  }

  // Answers 503 without reading a request, and closes.
  void Refuse(const std::string& message) {
    registration_.Register(weak_from_this());
    Reply(ErrorAnswer(503, message), false);
  }

  void Close() override {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.socket().close(ignored);
  }

 private:
  void Read() {
    parser_.emplace();
    parser_->body_limit(kMaxRequestBody);
    parser_->header_limit(kMaxHeaderBytes);
    stream_.expires_after(server_.limits.idleTimeout);
    http::async_read(
        stream_, buffer_, *parser_,
        [self = self()](beast::error_code error, std::size_t) { self->OnRead(error); });
  }

  void OnRead(beast::error_code error) {
    if (error == http::error::end_of_stream || error == asio::error::eof ||
        error == beast::error::timeout || error == asio::error::operation_aborted ||
        error == asio::error::connection_reset) {
      Close();
      return;
    }
    if (error == http::error::body_limit) {
      Reply(
          ErrorAnswer(413, "the body is larger than " + std::to_string(kMaxRequestBody) + " bytes"),
          false);
      return;
    }
    if (error) {
      Reply(ErrorAnswer(400, "malformed HTTP request: " + error.message()), false);
      return;
    }
    http::request<http::string_body> request = parser_->release();
    const bool upgrade = websocket::is_upgrade(request);
    const std::string refusal = RefusalOf(SourceOf(request, upgrade), server_.port);
    if (!refusal.empty()) {
      Reply(ErrorAnswer(403, refusal), !upgrade && request.keep_alive(), request.version());
      return;
    }
    if (upgrade) {
      std::string feed;
      std::uint64_t after = 0;
      if (!ParseEventsTarget(std::string_view(request.target().data(), request.target().size()),
                             feed, after)) {
        Reply(ErrorAnswer(404, "the WebSocket is at /events"), false, request.version());
        return;
      }
      if (!server_.Admits(kWebSocket, server_.limits.webSockets, "WebSockets")) {
        Reply(ErrorAnswer(503, "the server has " + std::to_string(server_.limits.webSockets) +
                                   " WebSockets open, as many as it takes; try again later"),
              false, request.version());
        return;
      }
      stream_.expires_never();
      std::vector<std::string> replay = server_.feed.Replay(feed, after);
      std::make_shared<WebSocketSession>(stream_.release_socket(), server_)
          ->Accept(std::move(request), std::move(replay));
      return;
    }
    WebRequest webRequest;
    webRequest.method = std::string(request.method_string());
    webRequest.target = std::string(request.target());
    webRequest.body = std::move(request.body());
    webRequest.contentType = std::string(request[http::field::content_type]);
    Reply(server_.api.Handle(webRequest), request.keep_alive(), request.version());
  }

  // Answers in the request's HTTP version: an HTTP/1.0 client that asked
  // to keep the connection waits for "Connection: keep-alive", which only
  // an HTTP/1.0 answer carries.
  void Reply(const WebAnswer& answer, bool keepAlive, unsigned version = 11) {
    auto response = std::make_shared<http::response<http::string_body>>();
    response->result(answer.status);
    response->version(version == 10 ? 10 : 11);
    response->set(http::field::server, "plugin-host");
    response->set(http::field::content_type, answer.contentType);
    response->set(http::field::cache_control, "no-store");
    response->body() = answer.body;
    response->keep_alive(keepAlive);
    response->prepare_payload();
    stream_.expires_after(kWriteTimeout);
    http::async_write(stream_, *response,
                      [self = self(), response](beast::error_code error, std::size_t) {
                        if (error) {
                          self->Close();
                          return;
                        }
                        if (!response->keep_alive()) {
                          self->Drain();
                          return;
                        }
                        self->Read();
                      });
  }

  // Ends the sending side and reads what the client still sends, up to a
  // limit and a time, then closes: closing with unread input would reset
  // the connection and could destroy the answer before the client read it.
  void Drain() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.expires_after(kDrainTimeout);
    drainBuffer_.resize(16 * 1024);
    DrainMore();
  }

  void DrainMore() {
    stream_.async_read_some(asio::buffer(drainBuffer_),
                            [self = self()](beast::error_code error, std::size_t count) {
                              self->drained_ += count;
                              if (error || self->drained_ > kMaxDrainBytes) {
                                self->Close();
                                return;
                              }
                              self->DrainMore();
                            });
  }

  beast::tcp_stream stream_;
  HttpServer::Impl& server_;
  beast::flat_buffer buffer_{8192};
  std::optional<http::request_parser<http::string_body>> parser_;
  std::vector<char> drainBuffer_;
  std::size_t drained_ = 0;
  Registration registration_;
};

}  // namespace

void HttpServer::Impl::Accept() {
  acceptor.async_accept([this](beast::error_code error, tcp::socket socket) {
    if (stopping || !acceptor.is_open()) return;
    if (!error) {
      if (Admits(kHttp, limits.httpConnections, "HTTP connections")) {
        std::make_shared<HttpSession>(std::move(socket), *this)->Start();
      } else if (connections->counts[kRefusing] < kMaxRefusing) {
        std::make_shared<HttpSession>(std::move(socket), *this, kRefusing)
            ->Refuse("the server has " + std::to_string(limits.httpConnections) +
                     " HTTP connections open, as many as it takes; try again later");
      } else {
        beast::error_code ignored;
        socket.close(ignored);
      }
    }
    Accept();
  });
}

bool HttpServer::Impl::Admits(ConnectionKind kind, std::size_t limit, const char* what) {
  if (connections->counts[kind] < limit) {
    loggedFull[kind] = false;
    return true;
  }
  if (!loggedFull[kind]) {
    std::fprintf(stderr, "plugin-host serve: %zu %s open, the limit; refusing more with 503\n",
                 limit, what);
    loggedFull[kind] = true;
  }
  return false;
}

void HttpServer::Impl::ScheduleTick() {
  ticker.expires_after(kTickInterval);
  ticker.async_wait([this](beast::error_code error) {
    if (error || stopping) return;
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - lastTick).count();
    lastTick = now;
    if (tick) tick(seconds);
    ScheduleTick();
  });
}

void HttpServer::Impl::Broadcast(const std::string& message) {
  // Send may drop a session from the set: walk a copy.
  const auto listeners = sockets;
  for (const auto& socket : listeners) socket->Send(message);
}

void HttpServer::Impl::Shutdown() {
  if (stopping) return;
  stopping = true;
  beast::error_code ignored;
  acceptor.close(ignored);
  ticker.cancel();
  signals.cancel(ignored);
  std::vector<std::shared_ptr<Connection>> open;
  for (const auto& [id, connection] : connections->open) {
    if (auto alive = connection.lock()) open.push_back(std::move(alive));
  }
  for (const auto& connection : open) connection->Close();
  sockets.clear();
  io.stop();
}

HttpServer::HttpServer(WebApi& api, EventFeed& feed, ServerLimits limits)
    : impl_(std::make_unique<Impl>(api, feed, limits)) {
  feed.set_listener([impl = impl_.get()](const std::string& message) { impl->Broadcast(message); });
}

HttpServer::~HttpServer() { impl_->feed.set_listener({}); }

bool HttpServer::Listen(std::uint16_t port, std::string& error) {
  beast::error_code code;
  const tcp::endpoint endpoint(asio::ip::make_address_v4("127.0.0.1"), port);
  impl_->acceptor.open(endpoint.protocol(), code);
  if (!code) impl_->acceptor.set_option(asio::socket_base::reuse_address(true), code);
  if (!code) impl_->acceptor.bind(endpoint, code);
  if (!code) impl_->acceptor.listen(asio::socket_base::max_listen_connections, code);
  if (code) {
    error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + code.message();
    beast::error_code ignored;
    impl_->acceptor.close(ignored);
    return false;
  }
  impl_->port = impl_->acceptor.local_endpoint().port();
  return true;
}

std::uint16_t HttpServer::port() const { return impl_->port; }

std::size_t HttpServer::listeners() const { return impl_->sockets.size(); }

void HttpServer::Run(std::function<void(double)> tick, bool handleSignals) {
  Impl& impl = *impl_;
  impl.tick = std::move(tick);
  impl.lastTick = std::chrono::steady_clock::now();
  if (handleSignals) {
    impl.signals.add(SIGINT);
    impl.signals.add(SIGTERM);
    impl.signals.async_wait([&impl](beast::error_code error, int) {
      if (!error) impl.Shutdown();
    });
  }
  impl.Accept();
  impl.ScheduleTick();
  impl.io.run();
}

void HttpServer::Stop() {
  asio::post(impl_->io, [impl = impl_.get()] { impl->Shutdown(); });
}

}  // namespace Kelp::Host
