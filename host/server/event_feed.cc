#include "host/server/event_feed.h"

#include "host/server/json_text.h"
#include "host/standins/json_file.h"

namespace Kelp::Host {

const char* LogLevelText(std::int32_t level) {
  static constexpr const char* kTexts[] = {"OKAY", "WARN", "ERROR", "ALWAYS"};
  return level >= 0 && level <= 3 ? kTexts[level] : "LEVEL?";
}

HostValue EventMessage(const PublishedEvent& event, double time) {
  HostValue message = MakeObject({{"kind", "event"}, {"time", time}, {"name", event.name}});
  const HostValue* uri = event.payload.Find("uri");
  const HostValue* type = event.payload.Find("eventType");
  const HostValue* data = event.payload.Find("data");
  if (uri != nullptr && type != nullptr) {
    message.Set("uri", *uri);
    message.Set("type", *type);
    message.Set("data", data != nullptr ? *data : HostValue());
  } else {
    message.Set("data", event.payload);
  }
  if (!event.error.empty()) message.Set("error", event.error);
  return message;
}

HostValue LogMessage(const LogLine& line, double time) {
  return MakeObject(
      {{"kind", "log"}, {"time", time}, {"level", LogLevelText(line.level)}, {"text", line.text}});
}

EventFeed::EventFeed(ReferenceHost& host, std::size_t keep) : host_(host), keep_(keep) {
  host_.set_observer(
      {[this](const PublishedEvent& event) { Post(EventMessage(event, host_.NowSeconds())); },
       [this](const LogLine& line) { Post(LogMessage(line, host_.NowSeconds())); }});
}

EventFeed::~EventFeed() { host_.set_observer({}); }

void EventFeed::Post(const HostValue& value) {
  std::string message = ReplaceInvalidUtf8(WriteJsonText(value));
  if (listener_) listener_(message);
  recent_.push_back(std::move(message));
  while (recent_.size() > keep_) recent_.pop_front();
}

}  // namespace Kelp::Host
