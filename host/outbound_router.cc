#include "host/outbound_router.h"

#include "host/http_method.h"

namespace Kelp::Host {

std::string OutboundRequest::MethodText() const {
  return Host::MethodText(method, methodName.c_str());
}

const HostValue* OutboundRequest::FirstArgument() const {
  return arguments.empty() ? nullptr : &arguments.front().value;
}

OutboundRequest ReadOutboundRequest(const InvokeRequest& record) {
  OutboundRequest request;
  request.method = record.method;
  if (record.method == HTTP_METHOD_NAMED && record.methodName != nullptr) {
    request.methodName = record.methodName;
  }
  if (record.path != nullptr) request.path = record.path;
  request.senderHandle = record.senderHandle;
  if (record.arguments == nullptr && record.argumentCount != 0) {
    request.error = "null argument array with count " + std::to_string(record.argumentCount);
    return request;
  }
  for (std::uint32_t i = 0; i < record.argumentCount; ++i) {
    const InvokeArgument& argument = record.arguments[i];
    HostValueResult value = FromBinding(argument.value);
    if (!value.ok()) {
      request.error = "argument " + std::to_string(i) + ": " + value.error;
      return request;
    }
    HostArgument copy;
    if (argument.name != nullptr) copy.name = argument.name;
    copy.value = std::move(value.value);
    request.arguments.push_back(std::move(copy));
  }
  return request;
}

void OutboundRouter::Add(Entry entry) {
  for (Entry& existing : entries_) {
    if (existing.method == entry.method && existing.path == entry.path &&
        existing.prefix == entry.prefix) {
      existing.handler = std::move(entry.handler);
      return;
    }
  }
  entries_.push_back(std::move(entry));
}

void OutboundRouter::Route(std::uint32_t method, std::string path, RequestHandler handler) {
  Add({method, std::move(path), false, std::move(handler)});
}

void OutboundRouter::RoutePrefix(std::uint32_t method, std::string prefix, RequestHandler handler) {
  Add({method, std::move(prefix), true, std::move(handler)});
}

const RequestHandler* OutboundRouter::Find(std::uint32_t method, std::string_view path) const {
  const Entry* best = nullptr;
  for (const Entry& entry : entries_) {
    if (entry.method != method) continue;
    if (!entry.prefix && entry.path == path) return &entry.handler;
    if (entry.prefix && path.starts_with(entry.path) &&
        (best == nullptr || entry.path.size() > best->path.size())) {
      best = &entry;
    }
  }
  return best == nullptr ? nullptr : &best->handler;
}

}  // namespace Kelp::Host
