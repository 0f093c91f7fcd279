// The reference plugin host: stands in for the game client's plugin host
// (and, through stand-ins that register request handlers and deliver
// events, for the other plugins), so that a plugin can be loaded, driven and
// inspected on this machine exactly the way the real host drives it.
//
// One ReferenceHost serves one plugin object. It is single-threaded and
// deterministic: the plugin's scheduled calls and queued event deliveries run
// on a virtual clock, only when the test (or the demo) runs the loop.
//
// Every call the plugin makes through the host function table is kept in a
// journal (slot name and readable arguments), and so are its log lines,
// publications, schedule calls and sent requests; with
// HostOptions::journalLimit only the most recent of each are kept. Calls that break the host's
// contract (a null name, a negative delay, an unknown unsubscription, a
// leaveWait without enterWait, a call after shutdown...) are also listed in
// problems(), so that tests can assert there are none.
//
// Example:
//   PluginLibrary library(path);
//   ReferenceHost host(library.entry());
//   ASSERT_TRUE(host.Load(18, 0, 0).ok());
//   ASSERT_TRUE(host.Init());
//   host.RunReady();
//   host.Shutdown();
#ifndef KELP_HOST_REFERENCE_HOST_H_
#define KELP_HOST_REFERENCE_HOST_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/event_loop.h"
#include "host/host_response.h"
#include "host/host_value.h"
#include "host/inbound_invoke.h"
#include "host/journal.h"
#include "host/outbound_router.h"
#include "sdk/plugin/abi.h"

namespace Kelp::Host {

// The outcome of a host operation that can fail.
struct [[nodiscard]] HostOutcome {
  std::string error;  // empty on success
  bool ok() const { return error.empty(); }
};

// One call of a host function-table slot.
struct SlotCall {
  std::string slot;       // "sendRequest", "publishEvent", ..., "log"
  std::string arguments;  // readable, e.g. "\"Timer: a\", delay=0.5"
};

struct LogLine {
  std::int32_t level;  // 0 OKAY, 1 WARN, 2 ERROR, 3 ALWAYS
  std::string text;
};

struct Subscription {
  std::uint64_t id;  // unique per host, in subscription order
  std::string channel;
  EventCallback callback;
  void* context;
  std::uint32_t flags;  // 0 ordinary, 1 service-proxy
  std::uint32_t hostHandle;
};

// An event that the plugin published, as the host copied it.
struct PublishedEvent {
  std::string name;
  HostValue payload;
  std::string error;  // set when the record or its payload was malformed
};

struct ScheduledCall {
  std::string name;
  double delaySeconds;  // as the plugin passed it, negative values included
  double dueSeconds;    // on the virtual clock
  ScheduledCallback callback = nullptr;
  void* context = nullptr;
};

struct HostOptions {
  bool verbose = false;  // echo the plugin's log lines to standard error
  // Keeps the plugin's scheduled calls queued after shutdown, so that they
  // still reach the plugin's callback, as a host with its own timer thread
  // may do.
  bool keepScheduledAfterShutdown = false;
  // Entries each journal (calls, log lines, publications, schedule calls,
  // sent requests) keeps, the most recent ones; 0 keeps everything, as a
  // transcript of the whole session needs.
  std::size_t journalLimit = 0;
};

// Called as the plugin publishes or logs, after the host kept the copy: how
// a front end (a transcript, a WebSocket) follows the plugin live. An
// observer runs inside the plugin's own call and must not call the plugin.
struct HostObserver {
  std::function<void(const PublishedEvent&)> published;
  std::function<void(const LogLine&)> logged;
};

class ReferenceHost {
 public:
  // `entry` is the plugin's load function; null makes Load fail.
  explicit ReferenceHost(PluginLoadFunction entry, HostOptions options = {});
  // Shuts the plugin down when it was loaded and not shut down yet.
  ~ReferenceHost();
  ReferenceHost(const ReferenceHost&) = delete;
  ReferenceHost& operator=(const ReferenceHost&) = delete;

  // ---- Lifecycle ----------------------------------------------------------

  // Calls the entry with the host's plugin API version. Fails when the
  // plugin filled no entry table or context. At most once per host.
  HostOutcome Load(std::uint32_t major = 18, std::uint32_t minor = 0, std::uint32_t patch = 0);
  const PluginLoadRecord& loadRecord() const { return record_; }
  const PluginEntryTable* entryTable() const { return record_.entryTable; }
  void* context() const { return record_.context; }
  std::string name() const;
  const PluginApiDescriptor* descriptor() const { return record_.apiDescriptor; }

  // Builds the HostContext (valid until this host is destroyed) and calls
  // init. False when init returned false or the plugin is not loaded.
  bool Init(std::uint32_t hostHandle = 1);
  // Calls shutdown once; later calls do nothing. Afterwards the plugin's
  // pending scheduled calls are dropped and any subscription it left behind
  // is removed and listed in problems().
  void Shutdown();
  bool loaded() const { return record_.entryTable != nullptr && !shutDown_; }
  // The plugin's heap statistics; nullopt when the plugin has no such entry
  // or is not loaded.
  std::optional<MemoryStats> GetMemoryStats() const;

  const HostFunctionTable* functions() const;
  const HostContext& hostContext() const { return hostContext_; }

  // ---- What the host saw --------------------------------------------------

  const Journal<SlotCall>& calls() const { return calls_; }
  std::vector<SlotCall> CallsTo(std::string_view slot) const;
  const std::vector<std::string>& problems() const { return problems_; }
  const Journal<LogLine>& logLines() const { return logLines_; }
  // True when a captured log line contains `text`.
  bool Logged(std::string_view text) const;
  void set_verbose(bool verbose) { options_.verbose = verbose; }
  // Replaces the observer; an empty one stops the calls.
  void set_observer(HostObserver observer) { observer_ = std::move(observer); }

  // ---- Events -------------------------------------------------------------

  std::vector<Subscription> Subscriptions() const { return subscriptions_; }
  std::vector<Subscription> SubscribersOf(std::string_view channel) const;
  bool IsSubscribed(std::string_view channel) const { return !SubscribersOf(channel).empty(); }
  // Delivers an event now to every current subscriber of `channel`, each
  // with its own context and its own lent copy of the payload. A subscriber
  // removed by an earlier callback of the same delivery is skipped. Returns
  // how many callbacks ran.
  std::size_t DeliverEvent(std::string_view channel, const HostValue& payload);
  // Delivers a resource event of `path` on its channel (EventChannelOf)
  // with the payload {"uri", "eventType", "data"}: how a stand-in tells the
  // plugin that one of its resources changed. Returns how many callbacks ran.
  std::size_t DeliverResourceEvent(std::string_view path, std::string_view eventType,
                                   HostValue data);
  // What the plugin published, in order.
  const Journal<PublishedEvent>& published() const { return published_; }
  std::vector<PublishedEvent> PublishedOn(std::string_view name) const;

  // ---- Loop and clock -----------------------------------------------------

  // Runs everything due now (see EventLoop::RunReady).
  std::size_t RunReady() { return loop_.RunReady(); }
  // Moves the virtual clock and runs what comes due, in order.
  std::size_t AdvanceClock(double seconds) { return loop_.Advance(seconds); }
  double NowSeconds() const { return loop_.NowSeconds(); }
  std::int64_t NowNanoseconds() const { return loop_.nowNanoseconds(); }
  // Queues host-side work (a stand-in's delayed event, for instance).
  void Post(std::string name, double delaySeconds, EventLoop::Task task);
  std::vector<EventLoop::PendingTask> Pending() const { return loop_.Pending(); }
  // Every schedule call of the plugin, in order.
  const Journal<ScheduledCall>& scheduled() const { return scheduled_; }
  // Calls the callback of the `index`th schedule call now with its context,
  // out of due order and whether or not it ran already (as a host that
  // fires a call twice would). The queued run stays queued. False when
  // there is no such call or the journal no longer keeps it.
  bool FireScheduled(std::size_t index);
  // Names of the waits the plugin has entered and not left, innermost last.
  const std::vector<std::string>& openWaits() const { return openWaits_; }

  // ---- Outbound requests --------------------------------------------------

  OutboundRouter& router() { return router_; }
  void Route(std::uint32_t method, std::string path, RequestHandler handler) {
    router_.Route(method, std::move(path), std::move(handler));
  }
  void RoutePrefix(std::uint32_t method, std::string prefix, RequestHandler handler) {
    router_.RoutePrefix(method, std::move(prefix), std::move(handler));
  }
  // Every request the plugin sent, in order (`record` is null in them).
  const Journal<OutboundRequest>& sentRequests() const { return sentRequests_; }
  std::vector<OutboundRequest> SentTo(std::string_view path) const;
  // The streams of streamed answers, in order of creation.
  std::vector<const HostStream*> streams() const;

  // ---- Inbound requests ---------------------------------------------------

  // Routes `request` to the endpoint function whose method and path template
  // fit (FindEndpoint). When none fits, the plugin is not called and the
  // result fails with "No function for <METHOD> <path>" and status 404.
  InvokeResult Invoke(const InboundRequest& request);
  InvokeResult Invoke(std::uint32_t method, std::string path,
                      std::vector<HostArgument> arguments = {});
  // The same for the function of that name; the request's method and path
  // are sent as given. Fails with "No function named <name>" and status 404.
  InvokeResult InvokeByName(std::string_view functionName, const InboundRequest& request);

 private:
  friend struct HostSlots;

  void Record(const char* slot, std::string arguments);
  void Problem(std::string text);

  // Slot bodies.
  void OnSendRequest(InvokeResponse* response, const InvokeRequest* request);
  void OnPublishEvent(const EventRecord* event);
  void OnSubscribe(const char* name, std::uint32_t hostHandle, EventCallback callback,
                   void* context, std::uint32_t flags);
  void OnUnsubscribe(const char* name, std::uint32_t hostHandle);
  void OnSchedule(const char* name, ScheduledCallback callback, void* context, double delaySeconds,
                  std::uint32_t reserved);
  void OnYield();
  void OnEnterWait(const char* name, std::uint32_t reserved);
  std::uint64_t OnLeaveWait();
  void OnLog(std::int32_t level, const char* message);

  HostAnswer Answer(const OutboundRequest& request);
  // Calls `function` (404 with `notFound` when null) and lists the problems
  // seen in its response.
  InvokeResult Deliver(const EndpointFunctionRecord* function, const InboundRequest& request,
                       std::string notFound);

  struct SlotTable;
  std::unique_ptr<SlotTable> slots_;
  PluginLoadFunction entry_;
  HostOptions options_;
  HostObserver observer_;
  PluginLoadRecord record_{};
  HostContext hostContext_{};
  bool loadCalled_ = false;
  bool shutDown_ = false;

  Journal<SlotCall> calls_;
  std::vector<std::string> problems_;
  Journal<LogLine> logLines_;
  std::vector<Subscription> subscriptions_;
  std::uint64_t nextSubscriptionId_ = 1;
  Journal<PublishedEvent> published_;
  EventLoop loop_;
  Journal<ScheduledCall> scheduled_;
  std::vector<std::string> openWaits_;
  std::uint64_t waitsLeft_ = 0;
  OutboundRouter router_;
  Journal<OutboundRequest> sentRequests_;
  std::deque<std::unique_ptr<HostStream>> streams_;
};

}  // namespace Kelp::Host

#endif  // KELP_HOST_REFERENCE_HOST_H_
