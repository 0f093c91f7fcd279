// The plugin's published events and log lines as JSON messages for the
// host's live stream, stamped with the virtual clock:
//
//   {"kind": "event", "time": 1.5, "name": "...", "uri": "...",
//    "type": "Update", "data": {...}}
//   {"kind": "log", "time": 1.5, "level": "ALWAYS", "text": "..."}
//
// "uri", "type" and "data" come from a resource event's payload; any other
// payload travels whole as "data". Every message also carries "feed", the
// feed's id (new with each server), and "seq", its number in the feed from
// 1 up. The feed keeps the latest messages for listeners that join late; a
// listener that comes back names the feed and the last number it saw, and
// is replayed only what it missed.
#ifndef KELP_HOST_SERVER_EVENT_FEED_H_
#define KELP_HOST_SERVER_EVENT_FEED_H_

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/reference_host.h"

namespace Kelp::Host {

class EventFeed {
 public:
  using Listener = std::function<void(const std::string& message)>;

  // Observes `host` (replacing its observer) until destroyed. Keeps up to
  // `keep` recent messages.
  explicit EventFeed(ReferenceHost& host, std::size_t keep = 200);
  ~EventFeed();
  EventFeed(const EventFeed&) = delete;
  EventFeed& operator=(const EventFeed&) = delete;

  // Called with each message as it happens; one listener at a time.
  void set_listener(Listener listener) { listener_ = std::move(listener); }
  const std::string& id() const { return id_; }

  // The kept messages a listener joining now is sent: those after number
  // `after` when `feed` is this feed's id, otherwise all (a new listener, or
  // one that saw a feed of an earlier server).
  std::vector<std::string> Replay(std::string_view feed, std::uint64_t after) const;

  // Adds a message of the host's own (its "kind" says what it is).
  void Post(const HostValue& message);

 private:
  struct Kept {
    std::uint64_t seq;
    std::string text;
  };

  ReferenceHost& host_;
  std::size_t keep_;
  std::string id_;
  std::uint64_t lastSeq_ = 0;
  Listener listener_;
  std::deque<Kept> recent_;
};

// The message of one event or log line, as above.
HostValue EventMessage(const PublishedEvent& event, double time);
HostValue LogMessage(const LogLine& line, double time);
const char* LogLevelText(std::int32_t level);

}  // namespace Kelp::Host

#endif  // KELP_HOST_SERVER_EVENT_FEED_H_
