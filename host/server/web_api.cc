#include "host/server/web_api.h"

#include <cctype>
#include <fstream>
#include <iterator>

#include "host/inbound_invoke.h"
#include "host/server/failure_status.h"
#include "host/server/json_text.h"
#include "host/standins/json_file.h"

namespace Kelp::Host {
namespace {

constexpr std::uint32_t kLocationBody = 5;

struct MethodCode {
  const char* text;
  std::uint32_t code;
};
constexpr MethodCode kMethods[] = {
    {"DELETE", HTTP_METHOD_DELETE},   {"GET", HTTP_METHOD_GET},     {"HEAD", HTTP_METHOD_HEAD},
    {"OPTIONS", HTTP_METHOD_OPTIONS}, {"PATCH", HTTP_METHOD_PATCH}, {"POST", HTTP_METHOD_POST},
    {"PUT", HTTP_METHOD_PUT},
};

std::uint32_t MethodCodeOf(const std::string& method) {
  for (const MethodCode& known : kMethods) {
    if (method == known.text) return known.code;
  }
  return HTTP_METHOD_NAMED;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Query pairs in order; a name without "=" has the empty value.
bool ParseQuery(const std::string& query, std::vector<std::pair<std::string, std::string>>& pairs,
                std::string& error) {
  std::size_t start = 0;
  while (start < query.size()) {
    std::size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string_view pair(query.data() + start, end - start);
    start = end + 1;
    if (pair.empty()) continue;
    const std::size_t equals = pair.find('=');
    std::string name;
    std::string value;
    if (!DecodeQueryComponent(pair.substr(0, equals), name) ||
        (equals != std::string_view::npos &&
         !DecodeQueryComponent(pair.substr(equals + 1), value))) {
      error = "broken %-escape in the query argument '" + std::string(pair) + "'";
      return false;
    }
    pairs.emplace_back(std::move(name), std::move(value));
  }
  return true;
}

const char* ContentTypeOf(const std::string& path) {
  const auto ends = [&](std::string_view suffix) {
    return path.size() >= suffix.size() &&
           path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
  };
  if (ends(".html")) return "text/html; charset=utf-8";
  if (ends(".js")) return "text/javascript; charset=utf-8";
  if (ends(".css")) return "text/css; charset=utf-8";
  if (ends(".svg")) return "image/svg+xml";
  if (ends(".png")) return "image/png";
  return "application/octet-stream";
}

// A file name under the panel folder: letters, digits, "-", "_", "." and
// "/", no empty or dot-leading segment (so no ".." either).
bool SafeRelativePath(const std::string& path) {
  if (path.empty()) return false;
  char previous = '/';
  for (const char c : path) {
    const bool plain = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
    if (!plain && c != '.' && c != '/') return false;
    if (previous == '/' && (c == '/' || c == '.')) return false;
    previous = c;
  }
  return previous != '/';
}

}  // namespace

bool DecodeQueryComponent(std::string_view text, std::string& decoded) {
  decoded.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      decoded += ' ';
    } else if (text[i] != '%') {
      decoded += text[i];
    } else {
      if (i + 2 >= text.size()) return false;
      const int high = HexDigit(text[i + 1]);
      const int low = HexDigit(text[i + 2]);
      if (high < 0 || low < 0) return false;
      decoded += static_cast<char>(high * 16 + low);
      i += 2;
    }
  }
  return true;
}

WebAnswer ErrorAnswer(unsigned status, const std::string& message) {
  return JsonAnswer(MakeObject({{"message", message}, {"status", status}}), status);
}

WebAnswer JsonAnswer(const HostValue& value, unsigned status) {
  return {status, "application/json", ReplaceInvalidUtf8(WriteJsonText(value))};
}

WebApi::WebApi(ReferenceHost& host, std::string panelDir)
    : host_(host),
      panelDir_(std::move(panelDir)),
      model_(ReadApiModel(host.descriptor(), host.name())) {}

void WebApi::AddControlRoute(std::string method, std::string path, std::string description,
                             ControlHandler handler) {
  controls_.push_back(
      {std::move(method), std::move(path), std::move(description), std::move(handler)});
}

WebAnswer WebApi::Handle(const WebRequest& request) {
  if (observer_ != nullptr) observer_->Before(request);
  WebRoute route = WebRoute::Refused;
  WebAnswer answer = Route(request, route);
  if (observer_ != nullptr) observer_->After(request, route, answer);
  if (afterRequest_) afterRequest_();
  return answer;
}

WebAnswer WebApi::Route(const WebRequest& request, WebRoute& route) {
  if (request.body.size() > kMaxRequestBody) {
    return ErrorAnswer(413,
                       "the body is larger than " + std::to_string(kMaxRequestBody) + " bytes");
  }
  const std::size_t question = request.target.find('?');
  const std::string path = request.target.substr(0, question);
  const std::string query =
      question == std::string::npos ? "" : request.target.substr(question + 1);
  if (path.empty() || path[0] != '/') {
    return ErrorAnswer(400, "the request target must be a path starting with '/'");
  }
  for (const ControlRoute& control : controls_) {
    if (control.method != request.method || control.path != path) continue;
    route = WebRoute::Control;
    HostValue body;
    if (!request.body.empty()) {
      HostValueResult parsed = ReadJsonText(request.body);
      if (!parsed.ok()) return ErrorAnswer(400, "the body is not JSON: " + parsed.error);
      body = std::move(parsed.value);
    }
    WebAnswer answer = control.handler(body);
    host_.RunReady();
    return answer;
  }
  route = WebRoute::Document;
  if (request.method == "GET") {
    if (path == "/help") return Help(query);
    if (path == "/openapi.json") {
      const PluginLoadRecord& record = host_.loadRecord();
      return JsonAnswer(OpenApiDocument(model_, std::to_string(record.major) + "." +
                                                    std::to_string(record.minor) + "." +
                                                    std::to_string(record.patch)));
    }
    if (path == "/host/routes") return ControlRoutes();
    if (path == "/") return StaticFile("index.html");
    if (path.rfind("/panel/", 0) == 0) return StaticFile(path.substr(7));
  }
  route = WebRoute::Plugin;
  return CallPlugin(request, path, query);
}

WebAnswer WebApi::CallPlugin(const WebRequest& request, const std::string& path,
                             const std::string& query) {
  InboundRequest inbound;
  inbound.method = MethodCodeOf(request.method);
  if (inbound.method == HTTP_METHOD_NAMED) inbound.methodName = request.method;
  inbound.path = path;
  if (!request.body.empty()) {
    inbound.body = request.body;
    if (!request.contentType.empty()) inbound.contentType = request.contentType;
  }
  std::vector<std::pair<std::string, std::string>> pairs;
  std::string error;
  if (!ParseQuery(query, pairs, error)) return ErrorAnswer(400, error);

  // A query argument naming the body parameter is the body: PUT
  // .../volume?volume=40 reads as a body of 40.
  const EndpointFunctionRecord* endpoint =
      FindEndpoint(host_.descriptor(), inbound.method, inbound.methodName, path);
  const ApiFunction* function = nullptr;
  if (endpoint != nullptr) {
    const char* name = endpoint->description.name;
    for (const ApiFunction& candidate : model_.functions) {
      if (name != nullptr && candidate.name == name) function = &candidate;
    }
  }
  for (auto& [name, value] : pairs) {
    const ApiArgument* bodyArgument = nullptr;
    for (std::size_t i = 0; function != nullptr && i < function->arguments.size(); ++i) {
      const ApiArgument& argument = function->arguments[i];
      if (argument.location == kLocationBody && argument.name == name) bodyArgument = &argument;
    }
    if (bodyArgument != nullptr && !inbound.body) {
      inbound.body = ReadJsonText(value).ok() ? value : WriteJsonText(HostValue(value));
      inbound.contentType = "application/json";
      continue;
    }
    inbound.arguments.push_back({std::move(name), HostValue(std::move(value))});
  }

  InvokeResult result;
  bool sentRequests = false;
  host_.Post("http " + request.method + " " + path, 0, [&] {
    const std::size_t sentBefore = host_.sentRequests().size();
    result = host_.Invoke(inbound);
    sentRequests = host_.sentRequests().size() != sentBefore;
  });
  host_.RunReady();

  if (!result.delivered) {
    return ErrorAnswer(404, result.error.empty() ? "no route for " + path : result.error);
  }
  if (result.failed) {
    return ErrorAnswer(FailureStatus(result.status, result.error, sentRequests),
                       result.error.empty() ? "the plugin failed without a message" : result.error);
  }
  const unsigned status = result.status >= 200 && result.status < 600 ? result.status : 200;
  if (status == 204 || request.method == "HEAD") return {status, "application/json", ""};
  return JsonAnswer(result.value, status);
}

WebAnswer WebApi::Help(const std::string& query) const {
  if (query.empty()) {
    return JsonAnswer(MakeObject({{"full", FullHelp(model_)}, {"epytext", EpytextHelp(model_)}}));
  }
  if (query == "format=full" || query == "format=Full") return JsonAnswer(FullHelp(model_));
  if (query == "format=epytext" || query == "format=Epytext") {
    return JsonAnswer(EpytextHelp(model_));
  }
  return ErrorAnswer(400,
                     "unknown help format; use /help, /help?format=full or "
                     "/help?format=epytext");
}

WebAnswer WebApi::StaticFile(const std::string& path) const {
  if (panelDir_.empty() || !SafeRelativePath(path)) {
    return ErrorAnswer(404, "no panel file " + path);
  }
  std::ifstream file(panelDir_ + "/" + path, std::ios::binary);
  if (!file) return ErrorAnswer(404, "no panel file " + path);
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return {200, ContentTypeOf(path), std::move(bytes)};
}

WebAnswer WebApi::ControlRoutes() const {
  HostArray routes;
  for (const ControlRoute& route : controls_) {
    routes.push_back(MakeObject(
        {{"method", route.method}, {"path", route.path}, {"description", route.description}}));
  }
  return JsonAnswer(HostValue(std::move(routes)));
}

}  // namespace Kelp::Host
