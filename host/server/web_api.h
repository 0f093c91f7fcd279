// What the host serves over HTTP, apart from the transport: the plugin's
// routes, the API help and OpenAPI document, the panel's static files and
// control routes that other parts of the host add (the stand-ins').
//
// A plugin call runs as a task of the host's loop; Handle then runs what
// became due, so the events and log lines the call caused are out by the
// time it returns. Single-threaded, like the host it drives.
#ifndef KELP_HOST_SERVER_WEB_API_H_
#define KELP_HOST_SERVER_WEB_API_H_

#include <functional>
#include <string>
#include <vector>

#include "host/host_value.h"
#include "host/reference_host.h"
#include "host/server/api_docs.h"

namespace Kelp::Host {

// Largest request body the host accepts.
inline constexpr std::size_t kMaxRequestBody = 1 << 20;

struct WebRequest {
  std::string method;  // "GET", "PUT", ...
  std::string target;  // path with optional "?query"
  std::string body;
  std::string contentType;  // empty: none given
};

struct WebAnswer {
  unsigned status = 200;
  std::string contentType = "application/json";
  std::string body;
};

// {"message": message, "status": status} with that status.
WebAnswer ErrorAnswer(unsigned status, const std::string& message);
WebAnswer JsonAnswer(const HostValue& value, unsigned status = 200);

// Where WebApi sent a request: refused before routing (a body too large, a
// target that is no path), a control route, one of the host's own
// documents (help, OpenAPI, the panel's files), or the plugin.
enum class WebRoute { Refused, Control, Document, Plugin };

// Sees each request WebApi handles, on the thread that handles it.
class WebObserver {
 public:
  virtual ~WebObserver() = default;
  // Before the request is routed.
  virtual void Before(const WebRequest& request) = 0;
  // Once its answer is ready, before the after-request hook runs.
  virtual void After(const WebRequest& request, WebRoute route, const WebAnswer& answer) = 0;
};

class WebApi {
 public:
  // A control route's handler; `body` is the parsed JSON body, null when the
  // request had none.
  using ControlHandler = std::function<WebAnswer(const HostValue& body)>;

  // `panelDir` holds the panel's files; empty serves none. The host must
  // have the plugin loaded; it must outlive this object.
  WebApi(ReferenceHost& host, std::string panelDir);

  WebAnswer Handle(const WebRequest& request);

  // Runs after every request, once its answer is ready.
  void set_after_request(std::function<void()> hook) { afterRequest_ = std::move(hook); }
  // One observer at most; null removes it. It must outlive its use.
  void set_observer(WebObserver* observer) { observer_ = observer; }

  // Serves `method` `path` (exact, no query) with `handler`, before the
  // plugin's routes. The route is listed by GET /host/routes.
  void AddControlRoute(std::string method, std::string path, std::string description,
                       ControlHandler handler);

  const ApiModel& model() const { return model_; }

 private:
  struct ControlRoute {
    std::string method;
    std::string path;
    std::string description;
    ControlHandler handler;
  };

  WebAnswer Route(const WebRequest& request, WebRoute& route);
  WebAnswer CallPlugin(const WebRequest& request, const std::string& path,
                       const std::string& query);
  WebAnswer Help(const std::string& query) const;
  WebAnswer StaticFile(const std::string& path) const;
  WebAnswer ControlRoutes() const;

  ReferenceHost& host_;
  std::string panelDir_;
  ApiModel model_;
  std::vector<ControlRoute> controls_;
  std::function<void()> afterRequest_;
  WebObserver* observer_ = nullptr;
};

// Decodes "%XX" escapes and "+" as a space; false on a broken escape.
bool DecodeQueryComponent(std::string_view text, std::string& decoded);

}  // namespace Kelp::Host

#endif  // KELP_HOST_SERVER_WEB_API_H_
