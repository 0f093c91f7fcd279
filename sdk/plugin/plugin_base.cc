#include "sdk/plugin/plugin_base.h"

#include "sdk/binding/binding_property.h"
#include "sdk/binding/binding_value.h"
#include "sdk/binding/memory.h"
#include "sdk/binding/message_format.h"
#include "sdk/plugin/entry_guard.h"
#include "sdk/plugin/plugin_manager_types.h"
#include "sdk/rest/invoke_response.h"
#include "sdk/runtime/logger.h"

namespace Kelp {

PluginBase::PluginBase() : entryTable_{InitEntry, ShutdownEntry, GetMemoryStatsEntry} {
  RegisterPluginManagerTypes(registry_);
  AcquireLogger();
}

PluginBase::~PluginBase() {
  // Our target leaves the logger's list before the host table it writes to
  // can go away.
  logTarget_.reset();
  ReleaseLogger();
}

const HostFunctionTable* PluginBase::functions() const {
  return hostContext_ != nullptr ? hostContext_->functions : nullptr;
}

bool PluginBase::Init(const HostContext& context) {
  hostContext_ = &context;
  InstallPluginLogTarget(context.functions, logTarget_);
  hostHandle_ = context.hostHandle;
  userAgent_ = FormatMessage("KelpClient/%1 (%2)", {hostVersion_.ToString(), names_.shortName});
  telemetrySender_ = std::make_unique<TelemetrySender>(*this);
  serviceProxy_.Subscribe(eventSubscriptions_);
  return Start();
}

void PluginBase::Subscribe(std::string_view key) { eventSubscriptions_.Subscribe(key); }

void PluginBase::Unsubscribe(std::string_view key) { eventSubscriptions_.Unsubscribe(key); }

void PluginBase::Shutdown() {
  eventSubscriptions_.UnsubscribeAll();
  serviceProxy_.Clear();
  timers_.Clear();
  resourceHandlers_.Clear();
}

void PluginBase::HostSendRequest(InvokeResponse* response, const InvokeRequest* request) {
  const HostFunctionTable* table = functions();
  if (table == nullptr || table->sendRequest == nullptr) {
    if (response == nullptr) return;
    // Answer like a host would, so that the caller's release frees the text.
    PrepareInvokeResponse(*response);
    FailInvokeResponse(*response, 0, "Plugin is not connected to a host");
    return;
  }
  table->sendRequest(table, response, request);
}

void PluginBase::HostSlot1(std::uint32_t first, std::uint32_t second) {
  const HostFunctionTable* table = functions();
  if (table != nullptr && table->slot1 != nullptr) table->slot1(table, first, second);
}

void PluginBase::HostPublishEvent(const EventRecord* event) {
  const HostFunctionTable* table = functions();
  if (table != nullptr && table->publishEvent != nullptr) table->publishEvent(table, event);
}

void PluginBase::HostSubscribe(const char* name, std::uint32_t hostHandle, EventCallback callback,
                               void* context, std::uint32_t flags) {
  const HostFunctionTable* table = functions();
  if (table != nullptr && table->subscribe != nullptr) {
    table->subscribe(table, name, hostHandle, callback, context, flags);
  }
}

void PluginBase::HostUnsubscribe(const char* name, std::uint32_t hostHandle) {
  const HostFunctionTable* table = functions();
  if (table != nullptr && table->unsubscribe != nullptr) table->unsubscribe(table, name, hostHandle);
}

void PluginBase::HostSchedule(const char* name, ScheduledCallback callback, void* context,
                              double delaySeconds, std::uint32_t reserved) {
  const HostFunctionTable* table = functions();
  if (table != nullptr && table->schedule != nullptr) {
    table->schedule(table, name, callback, context, delaySeconds, reserved);
  }
}

void PluginBase::HostYield() {
  const HostFunctionTable* table = functions();
  if (table != nullptr && table->yield != nullptr) table->yield(table);
}

void PluginBase::HostEnterWait(const std::string& name) {
  const HostFunctionTable* table = functions();
  if (table != nullptr && table->enterWait != nullptr) table->enterWait(table, name.c_str(), 0);
}

std::uint64_t PluginBase::HostLeaveWait() {
  const HostFunctionTable* table = functions();
  return table != nullptr && table->leaveWait != nullptr ? table->leaveWait(table) : 0;
}

void PluginBase::RegisterEndpoints() {}

bool PluginBase::Start() { return true; }

std::uint64_t PluginBase::Wait() {
  HostEnterWait("Wait: yield");
  HostYield();
  return HostLeaveWait();
}

std::uint8_t KELP_CDECL PluginBase::InitEntry(void* plugin, const HostContext* context) {
  if (plugin == nullptr || context == nullptr) return 0;
  return GuardEntry("init", std::uint8_t{0}, [&]() -> std::uint8_t {
    return static_cast<PluginBase*>(plugin)->Init(*context) ? 1 : 0;
  });
}

void KELP_CDECL PluginBase::ShutdownEntry(void* plugin) {
  if (plugin == nullptr) return;
  auto* self = static_cast<PluginBase*>(plugin);
  GuardEntry("shutdown", [&] {
    self->shuttingDown_ = true;
    self->Shutdown();
  });
  // A plugin's own shutdown that stopped half-way (out of memory, say) must
  // still leave the host nothing: the base's part runs again, and it neither
  // allocates nor minds being run twice.
  GuardEntry("shutdown", [&] { self->PluginBase::Shutdown(); });
  GuardEntry("shutdown", [&] { delete self; });
  // What the plugin's trees left for later ones has no later use now.
  ReleaseCachedTreeChunks();
}

void KELP_CDECL PluginBase::GetMemoryStatsEntry(void*, MemoryStats* stats) {
  if (stats == nullptr) return;
  *stats = ReadMemoryStats();
}

}  // namespace Kelp
