// What every stand-in for another plugin of the client shares: the host it
// lives in, a journal of what the stand-ins did (for tests and the demo),
// a switch that makes its answers fail, and event delivery through the host
// loop.
//
// A stand-in never delivers an event while it answers a request: the plugin
// is inside its own outbound call then and must not be entered again. Every
// event is queued on the host loop (ReferenceHost::Post) and reaches the
// plugin when the loop runs.
#ifndef KELP_HOST_STANDINS_STAND_IN_H_
#define KELP_HOST_STANDINS_STAND_IN_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/journal.h"
#include "host/reference_host.h"

namespace Kelp::Host {

// One line of the stand-ins' journal, stamped with the virtual clock.
struct WorldNote {
  double seconds;
  std::size_t callIndex;  // how many slot calls the host had seen by then
  std::string who;        // the stand-in's name, "lobby", "voice-chat", ...
  std::string text;
  bool warning = false;
};

// The journal that the stand-ins of one world write to.
class WorldJournal {
 public:
  explicit WorldJournal(const ReferenceHost& host) : host_(host) {}
  void Add(std::string_view who, std::string text, bool warning = false);
  // Positions count every note ever added; with a limit only the newest
  // are kept (see Journal).
  const Journal<WorldNote>& notes() const { return notes_; }
  void set_limit(std::size_t limit) { notes_.set_limit(limit); }
  // True when a note contains `text`.
  bool Noted(std::string_view text) const;

 private:
  const ReferenceHost& host_;
  Journal<WorldNote> notes_;
};

class StandIn {
 public:
  StandIn(ReferenceHost& host, WorldJournal& journal, std::string name)
      : host_(host), journal_(journal), name_(std::move(name)) {}
  virtual ~StandIn() = default;
  StandIn(const StandIn&) = delete;
  StandIn& operator=(const StandIn&) = delete;

  const std::string& name() const { return name_; }

  // From now on every request to this stand-in fails with `status` and
  // `text`, without any other effect, until Heal. With `method`, only the
  // requests of that method fail (a leave refused while joins still work).
  void Fail(std::uint32_t status, std::string text, std::optional<std::uint32_t> method = {});
  void Heal() { failure_.reset(); }
  bool failing() const { return failure_.has_value(); }

 protected:
  // Registers `handler` for `method` and `path` (a prefix when `prefix`),
  // behind the failure switch.
  void Serve(std::uint32_t method, std::string path, RequestHandler handler, bool prefix = false);
  // Queues a resource event of `path` on the host loop. `eventType` is
  // "Create", "Update" or "Delete".
  void QueueEvent(std::string path, HostValue data, std::string eventType = "Update");
  void Note(std::string text) { journal_.Add(name_, std::move(text)); }
  void Warn(std::string text) { journal_.Add(name_, std::move(text), true); }

  ReferenceHost& host() { return host_; }

 private:
  struct Failure {
    std::uint32_t status;
    std::string text;
    std::optional<std::uint32_t> method;  // every method when empty
  };

  ReferenceHost& host_;
  WorldJournal& journal_;
  std::string name_;
  std::optional<Failure> failure_;
};

// Readers of request bodies: the value of a member, or `fallback` when the
// member is missing or of another kind. Numbers of any kind are accepted by
// the numeric readers when they fit.
std::uint64_t UnsignedOr(const HostValue* value, std::uint64_t fallback);
bool BoolOr(const HostValue* value, bool fallback);
std::string StringOr(const HostValue* value, std::string fallback);

// Merges the members of `patch` into `target`, recursively for members that
// are objects on both sides; any other member replaces the old one. A
// target that is no object becomes `patch`.
void MergeObject(HostValue& target, const HostValue& patch);

}  // namespace Kelp::Host

#endif  // KELP_HOST_STANDINS_STAND_IN_H_
