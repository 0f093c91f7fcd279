#include "host/server/request_guard.h"

#include <cctype>

namespace Kelp::Host {
namespace {

constexpr std::string_view kLoopbackNames[] = {"127.0.0.1", "localhost"};
constexpr std::uint16_t kDefaultHttpPort = 80;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool IsLoopbackName(std::string_view name) {
  for (const std::string_view loopback : kLoopbackNames) {
    if (EqualsIgnoringCase(name, loopback)) return true;
  }
  return false;
}

// "name" or "name:port" with the port written the way a client writes it
// for this server: browsers leave out the default port, nothing else.
std::string Authority(std::string_view name, std::uint16_t port) {
  std::string text(name);
  if (port != kDefaultHttpPort) text += ":" + std::to_string(port);
  return text;
}

// A Host header of name and port, the port given in plain digits or, when
// absent, the default one.
bool HostIsServer(std::string_view host, std::uint16_t port) {
  const std::size_t colon = host.rfind(':');
  const std::string_view name = host.substr(0, colon);
  if (!IsLoopbackName(name)) return false;
  if (colon == std::string_view::npos) return port == kDefaultHttpPort;
  return host.substr(colon + 1) == std::to_string(port);
}

bool OriginIsServer(std::string_view origin, std::uint16_t port) {
  for (const std::string_view name : kLoopbackNames) {
    if (EqualsIgnoringCase(origin, "http://" + Authority(name, port))) return true;
  }
  return false;
}

bool ChangesState(std::string_view method) { return method != "GET" && method != "HEAD"; }

}  // namespace

std::string RefusalOf(const RequestSource& source, std::uint16_t port) {
  const std::string expected =
      Authority(kLoopbackNames[0], port) + " or " + Authority(kLoopbackNames[1], port);
  if (!source.host) return "the Host header is missing; it must be " + expected;
  if (!HostIsServer(*source.host, port)) {
    return "the Host header must be " + expected + ", not '" + std::string(*source.host) + "'";
  }
  if (!source.origin || (!source.upgrade && !ChangesState(source.method))) return "";
  if (OriginIsServer(*source.origin, port)) return "";
  return std::string(source.upgrade ? "event streams" : "changes") +
         " are refused to other pages: Origin '" + std::string(*source.origin) +
         "' is not http://" + Authority(kLoopbackNames[0], port);
}

}  // namespace Kelp::Host
