// Which requests the server takes. Any web page the developer visits can
// send requests to 127.0.0.1 too, so the server answers only requests
// addressed to itself, and takes changes and the event stream only from its
// own pages or from clients outside a browser:
//
//  - the Host header must be 127.0.0.1 or localhost (any case) with the
//    server's port; a page that reaches the server through a name of its
//    own (DNS rebinding) carries that name there;
//  - a WebSocket upgrade and every request other than GET and HEAD must
//    carry no Origin or one of the server's own (http://127.0.0.1:PORT,
//    http://localhost:PORT). Browsers send Origin with all of these,
//    command-line clients send none.
//
// GET and HEAD change nothing, and a browser does not let another page read
// their answers, so their Origin is not checked.
#ifndef KELP_HOST_SERVER_REQUEST_GUARD_H_
#define KELP_HOST_SERVER_REQUEST_GUARD_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Kelp::Host {

struct RequestSource {
  std::string_view method;                 // "GET", "PUT", ...
  std::optional<std::string_view> host;    // the Host header; none when absent
  std::optional<std::string_view> origin;  // the Origin header; none when absent
  bool upgrade = false;                    // a WebSocket upgrade
};

// Empty when a server on 127.0.0.1:`port` takes the request; otherwise the
// reason it is refused, for a 403 answer.
std::string RefusalOf(const RequestSource& source, std::uint16_t port);

}  // namespace Kelp::Host

#endif  // KELP_HOST_SERVER_REQUEST_GUARD_H_
