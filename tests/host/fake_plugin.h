// A plugin made of the boundary records alone, for the host's own tests: it
// calls the host's slots the way a plugin does and records what the host
// delivers to it. One FakePlugin exists at a time; its load function finds it
// through a global, as a real entry point finds its library's state.
#ifndef KELP_TESTS_HOST_FAKE_PLUGIN_H_
#define KELP_TESTS_HOST_FAKE_PLUGIN_H_

#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "host/host_binding.h"
#include "host/host_value.h"
#include "sdk/plugin/abi.h"

namespace Kelp::Host::Testing {

// A field of a packed record, copied: test macros take their arguments by
// reference, which a packed field cannot bind to.
template <typename T>
T Unpacked(T value) {
  return value;
}

class FakePlugin {
 public:
  struct Received {
    std::string tag;  // names the subscription that received the event
    std::string channel;
    HostValue payload;
  };
  struct SeenRequest {
    std::uint32_t method;
    std::string path;
    std::vector<HostArgument> arguments;
    const FunctionContextBlock* function;
    std::string contentType;
    std::string body;
    std::uint32_t senderHandle;
  };

  FakePlugin() {
    current_ = this;
    entryTable_ = {&Init, &Shutdown, &GetMemoryStats};
  }
  ~FakePlugin() {
    current_ = nullptr;
    for (auto& endpoint : endpoints_) std::free(const_cast<char*>(endpoint.path));
  }
  FakePlugin(const FakePlugin&) = delete;
  FakePlugin& operator=(const FakePlugin&) = delete;

  static void KELP_CDECL Load(PluginLoadRecord* record) {
    FakePlugin* plugin = current_;
    if (record == nullptr || plugin == nullptr || plugin->refuseLoad) return;
    plugin->hostVersion = {record->major, record->minor, record->patch};
    *record = {18, 0, 0, &plugin->entryTable_, plugin, "fake", &plugin->descriptor_};
  }

  // ---- Set by tests ----
  bool refuseLoad = false;
  bool startResult = true;
  std::function<void()> onInit;  // runs inside init, with the host context set

  // ---- Seen from the host ----
  std::vector<std::uint32_t> hostVersion;
  const HostContext* host = nullptr;
  int shutdowns = 0;
  std::vector<Received> received;
  std::vector<SeenRequest> requests;
  int releases = 0;

  // ---- Slots, called as a plugin calls them ----
  void Subscribe(const char* channel, std::string tag, std::uint32_t flags = 0,
                 std::function<void()> then = {}) {
    receivers_.push_back({this, std::move(tag), std::move(then)});
    Table().subscribe(host->functions, channel, host->hostHandle, &OnEvent, &receivers_.back(),
                      flags);
  }
  void Unsubscribe(const char* channel) {
    Table().unsubscribe(host->functions, channel, host->hostHandle);
  }
  void Schedule(const char* name, double delaySeconds, std::function<void()> run) {
    callables_.push_back(std::move(run));
    Table().schedule(host->functions, name, &RunScheduled, &callables_.back(), delaySeconds, 0);
  }
  // Publishes a payload built here and frees it as soon as the host returns.
  void Publish(const char* name, const HostValue& payload) {
    EventRecord event{};
    event.name = name;
    event.payload = BuildBinding(payload, BindingTagging::HandedOver);
    Table().publishEvent(host->functions, &event);
    FreeBuiltBinding(event.payload);
  }
  void Log(std::int32_t level, const char* text) { Table().log(host->functions, level, text); }
  // Sends a request with one unnamed argument (when given) and returns the
  // filled response; the caller releases it.
  InvokeResponse Send(std::uint32_t method, const char* path, const HostValue* argument = nullptr) {
    InvokeArgument record{};
    if (argument != nullptr) record.value = BuildBinding(*argument, BindingTagging::Lent);
    InvokeRequest request{};
    request.method = method;
    request.path = path;
    request.arguments = argument != nullptr ? &record : nullptr;
    request.argumentCount = argument != nullptr ? 1 : 0;
    request.senderHandle = host->hostHandle;
    InvokeResponse response{};
    Table().sendRequest(host->functions, &response, &request);
    FreeBuiltBinding(record.value);
    return response;
  }
  const HostFunctionTable& Table() const { return *host->functions; }

  // ---- Endpoints, served through the descriptor ----
  void AddEndpoint(const char* name, std::uint32_t method, const char* path,
                   InvokeEntry invoke = &Echo) {
    EndpointFunctionRecord record{};
    record.description.name = name;
    record.invoke = invoke;
    record.path = path == nullptr ? nullptr : strdup(path);
    record.method = method;
    endpoints_.push_back(record);
    // The array may have moved: link the records again.
    for (std::size_t i = 0; i < endpoints_.size(); ++i) {
      endpoints_[i].description.next =
          i + 1 < endpoints_.size() ? &endpoints_[i + 1].description : nullptr;
      endpoints_[i].description.invoke.context = &endpoints_[i];
    }
    descriptor_.functions = endpoints_.data();
    descriptor_.functionCount = static_cast<std::uint32_t>(endpoints_.size());
  }
  PluginApiDescriptor& descriptor() { return descriptor_; }

  // Records the request and answers {"function": name, "path": path} with
  // status 200, content type "application/json" and one header.
  static void KELP_CDECL Echo(InvokeResponse* response, const InvokeRequest* request) {
    const auto* function = static_cast<const EndpointFunctionRecord*>(request->function->context);
    current_->Record(*request);
    const char* name = function->description.name;  // a packed field: read by value
    const BindingValue value = BuildBinding(
        MakeObject({{"function", name}, {"path", request->path}}), BindingTagging::HandedOver);
    std::memcpy(&response->result.value, &value, sizeof value);
    response->status = 200;
    response->flags = 7;
    response->code = 2;
    response->contentType = strdup("application/json");
    response->headers = static_cast<TextPair*>(std::malloc(sizeof(TextPair)));
    response->headers[0] = {strdup("X-Fake"), strdup("yes")};
    response->headerCount = 1;
    response->release = &Release;
  }
  // Fails with "bad thing" and status 409, all other fields null.
  static void KELP_CDECL Fail(InvokeResponse* response, const InvokeRequest* request) {
    current_->Record(*request);
    response->result.error = strdup("bad thing");
    response->result.failed = 1;
    response->status = 409;
    response->release = &Release;
  }
  // A careless plugin: a failure without a text, a header count without an
  // array, an unknown value kind, and no release function.
  static void KELP_CDECL Careless(InvokeResponse* response, const InvokeRequest*) {
    response->result.failed = 1;
    response->result.value.kind = 99;
    response->headerCount = 3;
  }
  // Releases nothing and leaves the record as it is.
  static void KELP_CDECL KeepsRecord(InvokeResponse* response, const InvokeRequest*) {
    response->status = 204;
    response->release = [](InvokeResponse*) {};
  }

 private:
  struct Receiver {
    FakePlugin* plugin;
    std::string tag;
    std::function<void()> then;
  };

  static std::uint8_t KELP_CDECL Init(void* plugin, const HostContext* context) {
    auto* self = static_cast<FakePlugin*>(plugin);
    self->host = context;
    if (self->onInit) self->onInit();
    return self->startResult ? 1 : 0;
  }
  static void KELP_CDECL Shutdown(void* plugin) { ++static_cast<FakePlugin*>(plugin)->shutdowns; }
  static void KELP_CDECL GetMemoryStats(void*, MemoryStats* stats) {
    if (stats != nullptr) *stats = MemoryStats{100, 2, 300, 4, 200, 2, 0};
  }
  static void KELP_CDECL OnEvent(EventRecord* event) {
    auto* receiver = static_cast<Receiver*>(event->context);
    receiver->plugin->received.push_back(
        {receiver->tag, event->name, FromBinding(event->payload).value});
    if (receiver->then) receiver->then();
  }
  static void KELP_CDECL RunScheduled(void* context) {
    (*static_cast<std::function<void()>*>(context))();
  }
  static void KELP_CDECL Release(InvokeResponse* response) {
    BindingValue value;
    std::memcpy(&value, &response->result.value, sizeof value);
    FreeBuiltBinding(value);
    std::free(response->result.error);
    std::free(const_cast<char*>(response->contentType));
    for (std::uint32_t i = 0; i < response->headerCount; ++i) {
      std::free(const_cast<char*>(response->headers[i].name));
      std::free(const_cast<char*>(response->headers[i].value));
    }
    std::free(response->headers);
    std::memset(static_cast<void*>(response), 0, sizeof *response);
    ++current_->releases;
  }

  void Record(const InvokeRequest& request) {
    SeenRequest seen{
        request.method,
        request.path,
        {},
        request.function,
        request.contentType == nullptr ? "" : request.contentType,
        request.body == nullptr
            ? std::string()
            : std::string(reinterpret_cast<const char*>(request.body), request.bodyLength),
        request.senderHandle};
    for (std::uint32_t i = 0; i < request.argumentCount; ++i) {
      HostArgument argument;
      if (request.arguments[i].name != nullptr) argument.name = request.arguments[i].name;
      argument.value = FromBinding(request.arguments[i].value).value;
      seen.arguments.push_back(std::move(argument));
    }
    requests.push_back(std::move(seen));
  }

  static inline FakePlugin* current_ = nullptr;
  PluginEntryTable entryTable_{};
  PluginApiDescriptor descriptor_{};
  std::vector<EndpointFunctionRecord> endpoints_;
  std::deque<Receiver> receivers_;
  std::deque<std::function<void()>> callables_;
};

}  // namespace Kelp::Host::Testing

#endif  // KELP_TESTS_HOST_FAKE_PLUGIN_H_
