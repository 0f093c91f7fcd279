// The host's HTTP and WebSocket server on 127.0.0.1, over Boost.Beast.
//
// One thread runs everything: the server's I/O, the host's loop and the
// plugin. Each HTTP request becomes a call of WebApi::Handle (and so a task
// of the host's loop); GET /events upgrades to a WebSocket that receives
// every message of the EventFeed, first the kept ones it has not seen:
// /events?feed=ID&after=N names the feed and the last message a returning
// listener saw (EventFeed::Replay).
//
// Requests from other web pages or addressed to other host names get 403
// before anything else runs (host/server/request_guard.h).
//
// Bad input ends in an answer or a closed connection: a malformed request
// gets 400, a body over kMaxRequestBody 413 (the connection closes after
// either), a broken WebSocket frame or a message over 64 KiB closes that
// WebSocket.
//
// HTTP connections and WebSockets count against limits of their own
// (ServerLimits), so that open event streams never lock out requests. Past
// a limit a new connection or upgrade is answered 503 and closed, and the
// first refusal after the limit was reached is logged to standard error.
#ifndef KELP_HOST_SERVER_HTTP_SERVER_H_
#define KELP_HOST_SERVER_HTTP_SERVER_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "host/server/event_feed.h"
#include "host/server/web_api.h"

namespace Kelp::Host {

struct ServerLimits {
  // Open HTTP connections, upgraded ones not counted.
  std::size_t httpConnections = 64;
  // Open WebSockets, handshakes in progress included.
  std::size_t webSockets = 64;
  // A connection that has not sent a whole request this long after it
  // opened or after its last answer is closed: idle ones free their place.
  std::chrono::milliseconds idleTimeout{5000};
  // Bytes of messages waiting for one WebSocket client. Past it the waiting
  // messages are dropped and the client is sent {"kind": "gap", "missed":
  // N} instead. When it passes the limit again before one more message went
  // out, the client reads nothing: it alone is closed, with a close frame of
  // 1008 once the message being written is out (or without one when that
  // does not happen within 5 s).
  std::size_t webSocketBacklog = 4 << 20;
};

class HttpServer {
 public:
  // Both must outlive the server.
  HttpServer(WebApi& api, EventFeed& feed, ServerLimits limits = {});
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Listens on 127.0.0.1:`port` (0: a free port). False with `error` set
  // ("cannot listen on 127.0.0.1:8765: Address already in use").
  bool Listen(std::uint16_t port, std::string& error);
  // The port listened on; 0 before Listen succeeded.
  std::uint16_t port() const;

  // Serves until Stop, SIGINT or SIGTERM (when `handleSignals`). `tick`
  // runs about every 20 ms with the real seconds since its last run: the
  // caller moves the host's clock with it.
  void Run(std::function<void(double seconds)> tick, bool handleSignals);
  // Ends Run: stops listening and closes every connection. May be called
  // from any thread.
  void Stop();

  // Open WebSocket connections.
  std::size_t listeners() const;

  // The server's state, shared with its connections.
  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace Kelp::Host

#endif  // KELP_HOST_SERVER_HTTP_SERVER_H_
