#include "host/standins/stand_in.h"

#include <utility>

#include "host/http_method.h"

namespace Kelp::Host {

void WorldJournal::Add(std::string_view who, std::string text, bool warning) {
  notes_.push_back(
      {host_.NowSeconds(), host_.calls().size(), std::string(who), std::move(text), warning});
}

bool WorldJournal::Noted(std::string_view text) const {
  for (const WorldNote& note : notes_) {
    if (note.text.find(text) != std::string::npos) return true;
  }
  return false;
}

void StandIn::Fail(std::uint32_t status, std::string text, std::optional<std::uint32_t> method) {
  Note((method ? MethodText(*method) + " answers" : std::string("answers")) +
       " fail from now on: " + std::to_string(status) + " " + text);
  failure_ = Failure{status, std::move(text), method};
}

void StandIn::Serve(std::uint32_t method, std::string path, RequestHandler handler, bool prefix) {
  RequestHandler guarded = [this, handler = std::move(handler)](const OutboundRequest& request) {
    if (failure_ && (!failure_->method || *failure_->method == request.method)) {
      Note("refused " + request.MethodText() + " " + request.path);
      return HostAnswer::Failure(failure_->status, failure_->text);
    }
    return handler(request);
  };
  if (prefix) {
    host_.RoutePrefix(method, std::move(path), std::move(guarded));
  } else {
    host_.Route(method, std::move(path), std::move(guarded));
  }
}

void StandIn::QueueEvent(std::string path, HostValue data, std::string eventType) {
  std::string taskName = "event " + path;
  host_.Post(std::move(taskName), 0,
             [host = &host_, path = std::move(path), data = std::move(data),
              eventType = std::move(eventType)]() mutable {
               host->DeliverResourceEvent(path, eventType, std::move(data));
             });
}

std::uint64_t UnsignedOr(const HostValue* value, std::uint64_t fallback) {
  if (value == nullptr) return fallback;
  switch (value->kind()) {
    case HostValue::Kind::Unsigned:
      return value->AsUnsigned();
    case HostValue::Kind::Signed:
      return value->AsSigned() < 0 ? fallback : static_cast<std::uint64_t>(value->AsSigned());
    case HostValue::Kind::Double: {
      const double number = value->AsDouble();
      // 2^64 is the first double past the range.
      if (!(number >= 0) || number >= 18446744073709551616.0) return fallback;
      return static_cast<std::uint64_t>(number);
    }
    default:
      return fallback;
  }
}

bool BoolOr(const HostValue* value, bool fallback) {
  return value != nullptr && value->kind() == HostValue::Kind::Bool ? value->AsBool() : fallback;
}

std::string StringOr(const HostValue* value, std::string fallback) {
  return value != nullptr && value->kind() == HostValue::Kind::String ? value->AsString()
                                                                      : std::move(fallback);
}

void MergeObject(HostValue& target, const HostValue& patch) {
  if (target.kind() != HostValue::Kind::Object || patch.kind() != HostValue::Kind::Object) {
    target = patch;
    return;
  }
  for (const auto& [key, value] : patch.AsObject()) {
    bool merged = false;
    for (auto& [oldKey, oldValue] : target.AsObject()) {
      if (oldKey != key) continue;
      MergeObject(oldValue, value);
      merged = true;
      break;
    }
    if (!merged) target.AsObject().emplace_back(key, value);
  }
}

}  // namespace Kelp::Host
