#include "host/server/event_feed.h"

#include <chrono>
#include <cstdio>
#include <random>

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

namespace {

// Unlikely to repeat across the servers a panel sees in a day.
std::string NewFeedId() {
  std::random_device random;
  const std::uint64_t bits =
      (static_cast<std::uint64_t>(random()) << 32) ^ random() ^
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(bits));
  return text;
}

}  // namespace

EventFeed::EventFeed(ReferenceHost& host, std::size_t keep)
    : host_(host), keep_(keep), id_(NewFeedId()) {
  host_.set_observer(
      {[this](const PublishedEvent& event) { Post(EventMessage(event, host_.NowSeconds())); },
       [this](const LogLine& line) { Post(LogMessage(line, host_.NowSeconds())); }});
}

EventFeed::~EventFeed() { host_.set_observer({}); }

std::vector<std::string> EventFeed::Replay(std::string_view feed, std::uint64_t after) const {
  if (feed != id_) after = 0;
  std::vector<std::string> missed;
  for (const Kept& kept : recent_) {
    if (kept.seq > after) missed.push_back(kept.text);
  }
  return missed;
}

void EventFeed::Post(const HostValue& value) {
  HostValue numbered = value;
  numbered.Set("feed", id_);
  numbered.Set("seq", ++lastSeq_);
  std::string message = ReplaceInvalidUtf8(WriteJsonText(numbered));
  if (listener_) listener_(message);
  recent_.push_back({lastSeq_, std::move(message)});
  while (recent_.size() > keep_) recent_.pop_front();
}

}  // namespace Kelp::Host
