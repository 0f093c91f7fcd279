#include "host/reference_host.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>

#include "host/host_binding.h"
#include "host/http_method.h"
#include "host/resource_events.h"

namespace Kelp::Host {
namespace {

// Tags of the loop's tasks: the plugin's are dropped when it shuts down.
constexpr int kHostTask = 0;
constexpr int kPluginTask = 1;

std::string Quote(const char* text) {
  return text == nullptr ? std::string("null") : HostValue(text).ToJson();
}

std::string Number(double value) { return HostValue(value).ToJson(); }

std::string DescribeArguments(const std::vector<HostArgument>& arguments) {
  std::string text = "[";
  const char* separator = "";
  for (const HostArgument& argument : arguments) {
    text += separator;
    if (argument.name) text += HostValue(*argument.name).ToJson() + ":";
    text += argument.value.ToJson();
    separator = ",";
  }
  return text + "]";
}

const char* LevelText(std::int32_t level) {
  static constexpr const char* kTexts[] = {"OKAY", "WARN", "ERROR", "ALWAYS"};
  return level >= 0 && level <= 3 ? kTexts[level] : "LEVEL?";
}

}  // namespace

// The function table the plugin receives, followed by the host it belongs
// to: a slot recovers its host from `self`, the table's own address.
struct ReferenceHost::SlotTable {
  HostFunctionTable table;
  ReferenceHost* host;
};
static_assert(std::is_standard_layout_v<HostFunctionTable>);

// The ten slots. Nothing unwinds into the plugin: an exception inside the
// host (a stand-in that throws, an allocation that fails) is listed as a
// problem and the slot returns.
struct HostSlots {
  template <typename Body>
  static void Guard(const HostFunctionTable* self, const char* slot, Body&& body) noexcept {
    if (self == nullptr) return;
    ReferenceHost& host = *reinterpret_cast<const ReferenceHost::SlotTable*>(self)->host;
    try {
      body(host);
    } catch (const std::exception& error) {
      host.problems_.push_back(std::string(slot) + " failed in the host: " + error.what());
    } catch (...) {
      host.problems_.push_back(std::string(slot) + " failed in the host");
    }
  }

  static void KELP_CDECL SendRequest(const HostFunctionTable* self, InvokeResponse* response,
                                     const InvokeRequest* request) {
    Guard(self, "sendRequest", [&](ReferenceHost& host) { host.OnSendRequest(response, request); });
  }
  static void KELP_CDECL Slot1(const HostFunctionTable* self, std::uint32_t first,
                               std::uint32_t second) {
    Guard(self, "slot1", [&](ReferenceHost& host) {
      host.Record("slot1", std::to_string(first) + ", " + std::to_string(second));
    });
  }
  static void KELP_CDECL PublishEvent(const HostFunctionTable* self, const EventRecord* event) {
    Guard(self, "publishEvent", [&](ReferenceHost& host) { host.OnPublishEvent(event); });
  }
  static void KELP_CDECL Subscribe(const HostFunctionTable* self, const char* name,
                                   std::uint32_t hostHandle, EventCallback callback, void* context,
                                   std::uint32_t flags) {
    Guard(self, "subscribe", [&](ReferenceHost& host) {
      host.OnSubscribe(name, hostHandle, callback, context, flags);
    });
  }
  static void KELP_CDECL Unsubscribe(const HostFunctionTable* self, const char* name,
                                     std::uint32_t hostHandle) {
    Guard(self, "unsubscribe", [&](ReferenceHost& host) { host.OnUnsubscribe(name, hostHandle); });
  }
  static void KELP_CDECL Schedule(const HostFunctionTable* self, const char* name,
                                  ScheduledCallback callback, void* context, double delaySeconds,
                                  std::uint32_t reserved) {
    Guard(self, "schedule", [&](ReferenceHost& host) {
      host.OnSchedule(name, callback, context, delaySeconds, reserved);
    });
  }
  static void KELP_CDECL Yield(const HostFunctionTable* self) {
    Guard(self, "yield", [&](ReferenceHost& host) { host.OnYield(); });
  }
  static void KELP_CDECL EnterWait(const HostFunctionTable* self, const char* name,
                                   std::uint32_t reserved) {
    Guard(self, "enterWait", [&](ReferenceHost& host) { host.OnEnterWait(name, reserved); });
  }
  static std::uint64_t KELP_CDECL LeaveWait(const HostFunctionTable* self) {
    std::uint64_t result = 0;
    Guard(self, "leaveWait", [&](ReferenceHost& host) { result = host.OnLeaveWait(); });
    return result;
  }
  static void KELP_CDECL Log(const HostFunctionTable* self, std::int32_t level,
                             const char* message) {
    Guard(self, "log", [&](ReferenceHost& host) { host.OnLog(level, message); });
  }
};

ReferenceHost::ReferenceHost(PluginLoadFunction entry, HostOptions options)
    : slots_(std::make_unique<SlotTable>()), entry_(entry), options_(options) {
  slots_->table =
      HostFunctionTable{&HostSlots::SendRequest, &HostSlots::Slot1,       &HostSlots::PublishEvent,
                        &HostSlots::Subscribe,   &HostSlots::Unsubscribe, &HostSlots::Schedule,
                        &HostSlots::Yield,       &HostSlots::EnterWait,   &HostSlots::LeaveWait,
                        &HostSlots::Log};
  slots_->host = this;
  calls_.set_limit(options_.journalLimit);
  logLines_.set_limit(options_.journalLimit);
  published_.set_limit(options_.journalLimit);
  scheduled_.set_limit(options_.journalLimit);
  sentRequests_.set_limit(options_.journalLimit);
}

ReferenceHost::~ReferenceHost() {
  if (loaded()) Shutdown();
}

const HostFunctionTable* ReferenceHost::functions() const { return &slots_->table; }

std::string ReferenceHost::name() const {
  return record_.name == nullptr ? std::string() : std::string(record_.name);
}

// ---- Lifecycle --------------------------------------------------------------

HostOutcome ReferenceHost::Load(std::uint32_t major, std::uint32_t minor, std::uint32_t patch) {
  if (loadCalled_) return {"the plugin is loaded already"};
  if (entry_ == nullptr) return {"no entry function"};
  loadCalled_ = true;
  record_ = PluginLoadRecord{};
  record_.major = major;
  record_.minor = minor;
  record_.patch = patch;
  entry_(&record_);
  if (record_.entryTable == nullptr) return {"the plugin filled no entry table"};
  if (record_.context == nullptr) return {"the plugin filled no context"};
  return {};
}

bool ReferenceHost::Init(std::uint32_t hostHandle) {
  if (!loaded()) {
    Problem("Init without a loaded plugin");
    return false;
  }
  if (hostContext_.functions != nullptr) {
    Problem("Init called twice");
    return false;
  }
  if (record_.entryTable->init == nullptr) {
    Problem("the entry table has no init");
    return false;
  }
  hostContext_ = HostContext{functions(), hostHandle};
  return record_.entryTable->init(record_.context, &hostContext_) != 0;
}

void ReferenceHost::Shutdown() {
  if (!loaded()) return;
  if (record_.entryTable->shutdown == nullptr) {
    Problem("the entry table has no shutdown");
  } else {
    record_.entryTable->shutdown(record_.context);
  }
  shutDown_ = true;
  // The plugin object is gone: nothing may call into it any more, unless the
  // options keep its scheduled calls to show what a late callback finds.
  if (!options_.keepScheduledAfterShutdown) loop_.Drop(kPluginTask);
  for (const Subscription& left : subscriptions_) {
    Problem("subscription left after shutdown: " + left.channel);
  }
  subscriptions_.clear();
  for (const auto& stream : streams_) {
    if (!stream->closed()) Problem("stream of " + stream->description() + " never closed");
  }
}

std::optional<MemoryStats> ReferenceHost::GetMemoryStats() const {
  if (!loaded() || record_.entryTable->getMemoryStats == nullptr) return std::nullopt;
  MemoryStats stats{};
  record_.entryTable->getMemoryStats(record_.context, &stats);
  return stats;
}

// ---- Journal ------------------------------------------------------------------

void ReferenceHost::Record(const char* slot, std::string arguments) {
  if (shutDown_) Problem(std::string(slot) + " called after shutdown");
  calls_.push_back({slot, std::move(arguments)});
}

void ReferenceHost::Problem(std::string text) { problems_.push_back(std::move(text)); }

std::vector<SlotCall> ReferenceHost::CallsTo(std::string_view slot) const {
  std::vector<SlotCall> matching;
  for (const SlotCall& call : calls_) {
    if (call.slot == slot) matching.push_back(call);
  }
  return matching;
}

bool ReferenceHost::Logged(std::string_view text) const {
  for (const LogLine& line : logLines_) {
    if (line.text.find(text) != std::string::npos) return true;
  }
  return false;
}

// ---- Events -------------------------------------------------------------------

std::vector<Subscription> ReferenceHost::SubscribersOf(std::string_view channel) const {
  std::vector<Subscription> matching;
  for (const Subscription& subscription : subscriptions_) {
    if (subscription.channel == channel) matching.push_back(subscription);
  }
  return matching;
}

std::size_t ReferenceHost::DeliverEvent(std::string_view channel, const HostValue& payload) {
  const std::string name(channel);
  std::vector<std::uint64_t> ids;
  for (const Subscription& subscription : SubscribersOf(channel)) ids.push_back(subscription.id);
  std::size_t delivered = 0;
  for (const std::uint64_t id : ids) {
    const Subscription* current = nullptr;
    for (const Subscription& subscription : subscriptions_) {
      if (subscription.id == id) current = &subscription;
    }
    if (current == nullptr) continue;  // unsubscribed by an earlier callback
    const EventCallback callback = current->callback;
    LentBinding lent(payload);
    EventRecord event{};
    event.name = name.c_str();
    event.payload = lent.value();
    event.context = current->context;
    callback(&event);
    ++delivered;
  }
  return delivered;
}

std::size_t ReferenceHost::DeliverResourceEvent(std::string_view path, std::string_view eventType,
                                                HostValue data) {
  return DeliverEvent(EventChannelOf(path), ResourceEventPayload(path, eventType, std::move(data)));
}

std::vector<PublishedEvent> ReferenceHost::PublishedOn(std::string_view name) const {
  std::vector<PublishedEvent> matching;
  for (const PublishedEvent& event : published_) {
    if (event.name == name) matching.push_back(event);
  }
  return matching;
}

void ReferenceHost::OnPublishEvent(const EventRecord* event) {
  if (event == nullptr) {
    Record("publishEvent", "null");
    Problem("publishEvent with a null record");
    return;
  }
  PublishedEvent copy;
  if (event->name == nullptr) {
    copy.error = "null event name";
  } else {
    copy.name = event->name;
  }
  HostValueResult payload = FromBinding(event->payload);
  if (payload.ok()) {
    copy.payload = std::move(payload.value);
  } else if (copy.error.empty()) {
    copy.error = payload.error;
  }
  Record("publishEvent", Quote(event->name) + " " +
                             (payload.ok() ? copy.payload.ToJson() : "<" + copy.error + ">"));
  if (!copy.error.empty()) Problem("publishEvent " + Quote(event->name) + ": " + copy.error);
  if (event->reserved != 0 || event->context != nullptr) {
    Problem("publishEvent " + Quote(event->name) + ": reserved word or context not zero");
  }
  published_.push_back(copy);
  if (observer_.published) observer_.published(published_.back());
  if (!copy.error.empty()) return;
  // Delivered from the loop: the publisher is inside a call of its own and
  // must not be called back before it returns.
  loop_.Post(
      "event " + copy.name, 0,
      [this, name = copy.name, value = std::move(copy.payload)] { DeliverEvent(name, value); },
      kHostTask);
}

void ReferenceHost::OnSubscribe(const char* name, std::uint32_t hostHandle, EventCallback callback,
                                void* context, std::uint32_t flags) {
  Record("subscribe",
         Quote(name) + " handle=" + std::to_string(hostHandle) + " flags=" + std::to_string(flags));
  if (name == nullptr || callback == nullptr) {
    Problem("subscribe " + Quote(name) + " without a name or callback");
    return;
  }
  if (hostHandle != hostContext_.hostHandle) {
    Problem("subscribe " + Quote(name) + " with handle " + std::to_string(hostHandle) +
            " instead of " + std::to_string(hostContext_.hostHandle));
  }
  for (Subscription& existing : subscriptions_) {
    if (existing.channel == name && existing.hostHandle == hostHandle) {
      Problem("subscribe " + Quote(name) + " twice");
      existing.callback = callback;
      existing.context = context;
      existing.flags = flags;
      return;
    }
  }
  subscriptions_.push_back({nextSubscriptionId_++, name, callback, context, flags, hostHandle});
}

void ReferenceHost::OnUnsubscribe(const char* name, std::uint32_t hostHandle) {
  Record("unsubscribe", Quote(name) + " handle=" + std::to_string(hostHandle));
  const std::string channel = name == nullptr ? std::string() : std::string(name);
  const auto removed = std::erase_if(subscriptions_, [&](const Subscription& subscription) {
    return name != nullptr && subscription.channel == channel &&
           subscription.hostHandle == hostHandle;
  });
  if (removed == 0) {
    Problem("unsubscribe " + Quote(name) + " handle=" + std::to_string(hostHandle) +
            " without a subscription");
  }
}

// ---- Loop, waits and log ----------------------------------------------------------

void ReferenceHost::Post(std::string name, double delaySeconds, EventLoop::Task task) {
  loop_.Post(std::move(name), delaySeconds, std::move(task), kHostTask);
}

void ReferenceHost::OnSchedule(const char* name, ScheduledCallback callback, void* context,
                               double delaySeconds, std::uint32_t reserved) {
  Record("schedule", Quote(name) + " delay=" + Number(delaySeconds));
  if (!(delaySeconds >= 0)) {
    Problem("schedule " + Quote(name) + " with delay " + Number(delaySeconds));
  }
  if (reserved != 0) Problem("schedule " + Quote(name) + " with a non-zero reserved word");
  if (callback == nullptr) {
    Problem("schedule " + Quote(name) + " without a callback");
    return;
  }
  const double delay = delaySeconds > 0 ? delaySeconds : 0.0;
  scheduled_.push_back({name == nullptr ? std::string() : name, delaySeconds, NowSeconds() + delay,
                        callback, context});
  loop_.Post(
      scheduled_.back().name, delay, [callback, context] { callback(context); }, kPluginTask);
}

bool ReferenceHost::FireScheduled(std::size_t index) {
  if (!scheduled_.Has(index)) return false;
  scheduled_[index].callback(scheduled_[index].context);
  return true;
}

void ReferenceHost::OnYield() {
  Record("yield", "");
  loop_.RunReadyOnce();
}

void ReferenceHost::OnEnterWait(const char* name, std::uint32_t reserved) {
  Record("enterWait", Quote(name));
  if (reserved != 0) Problem("enterWait " + Quote(name) + " with a non-zero reserved word");
  openWaits_.push_back(name == nullptr ? std::string() : name);
}

std::uint64_t ReferenceHost::OnLeaveWait() {
  Record("leaveWait", "");
  if (openWaits_.empty()) {
    Problem("leaveWait without enterWait");
  } else {
    openWaits_.pop_back();
  }
  return ++waitsLeft_;
}

void ReferenceHost::OnLog(std::int32_t level, const char* message) {
  const std::string text = message == nullptr ? std::string() : std::string(message);
  Record("log", std::string(LevelText(level)) + " " + Quote(message));
  if (message == nullptr) Problem("log with a null message");
  if (level < 0 || level > 3) Problem("log with level " + std::to_string(level));
  logLines_.push_back({level, text});
  if (observer_.logged) observer_.logged(logLines_.back());
  if (options_.verbose) std::fprintf(stderr, "[%s] %s\n", LevelText(level), text.c_str());
}

// ---- Outbound requests --------------------------------------------------------------

std::vector<OutboundRequest> ReferenceHost::SentTo(std::string_view path) const {
  std::vector<OutboundRequest> matching;
  for (const OutboundRequest& request : sentRequests_) {
    if (request.path == path) matching.push_back(request);
  }
  return matching;
}

std::vector<const HostStream*> ReferenceHost::streams() const {
  std::vector<const HostStream*> all;
  for (const auto& stream : streams_) all.push_back(stream.get());
  return all;
}

HostAnswer ReferenceHost::Answer(const OutboundRequest& request) {
  const RequestHandler* handler = router_.Find(request.method, request.path);
  if (handler == nullptr) {
    return HostAnswer::Failure(404, "No handler for " + request.MethodText() + " " + request.path);
  }
  // The stand-in may register further routes while it runs: call a copy.
  const RequestHandler call = *handler;
  try {
    return call(request);
  } catch (const std::exception& error) {
    Problem("stand-in for " + request.path + " threw: " + error.what());
    return HostAnswer::Failure(500, std::string("stand-in failed: ") + error.what());
  }
}

void ReferenceHost::OnSendRequest(InvokeResponse* response, const InvokeRequest* request) {
  if (response == nullptr || request == nullptr) {
    Record("sendRequest", "null");
    Problem("sendRequest with a null response or request record");
    return;
  }
  OutboundRequest read = ReadOutboundRequest(*request);
  const std::string description = read.MethodText() + " " + read.path;
  Record("sendRequest", read.MethodText() + " " + Quote(read.path.c_str()) + " " +
                            DescribeArguments(read.arguments) +
                            " handle=" + std::to_string(read.senderHandle));
  if (!read.error.empty()) Problem("sendRequest " + description + ": " + read.error);
  if (read.senderHandle != hostContext_.hostHandle) {
    Problem("sendRequest " + description + " with handle " + std::to_string(read.senderHandle) +
            " instead of " + std::to_string(hostContext_.hostHandle));
  }
  static const InvokeResponse kZero{};
  if (std::memcmp(response, &kZero, sizeof kZero) != 0) {
    Problem("sendRequest " + description + ": response record not zeroed");
    std::memset(static_cast<void*>(response), 0, sizeof *response);
  }
  sentRequests_.push_back(read);
  read.record = request;
  const HostAnswer answer = Answer(read);
  HostStream* stream = nullptr;
  if (answer.stream && !answer.error) {
    streams_.push_back(std::make_unique<HostStream>(description, *answer.stream));
    stream = streams_.back().get();
  }
  FillHostResponse(*response, answer, stream);
}

// ---- Inbound requests ------------------------------------------------------------------

InvokeResult ReferenceHost::Deliver(const EndpointFunctionRecord* function,
                                    const InboundRequest& request, std::string notFound) {
  if (function == nullptr) {
    InvokeResult result;
    result.failed = true;
    result.error = std::move(notFound);
    result.status = 404;
    return result;
  }
  InvokeResult result = InvokeEndpoint(*function, request);
  for (const std::string& problem : result.problems) {
    Problem(result.functionName + " (" + MethodText(request.method, request.methodName.c_str()) +
            " " + request.path + "): " + problem);
  }
  return result;
}

InvokeResult ReferenceHost::Invoke(const InboundRequest& request) {
  return Deliver(loaded()
                     ? FindEndpoint(descriptor(), request.method, request.methodName, request.path)
                     : nullptr,
                 request,
                 "No function for " + MethodText(request.method, request.methodName.c_str()) + " " +
                     request.path);
}

InvokeResult ReferenceHost::Invoke(std::uint32_t method, std::string path,
                                   std::vector<HostArgument> arguments) {
  InboundRequest request;
  request.method = method;
  request.path = std::move(path);
  request.arguments = std::move(arguments);
  return Invoke(request);
}

InvokeResult ReferenceHost::InvokeByName(std::string_view functionName,
                                         const InboundRequest& request) {
  return Deliver(loaded() ? FindEndpointByName(descriptor(), functionName) : nullptr, request,
                 "No function named " + std::string(functionName));
}

}  // namespace Kelp::Host
