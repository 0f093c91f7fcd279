#include "sdk/runtime/plugin_log_target.h"

#include "sdk/runtime/logger.h"

namespace Kelp {

PluginLogTarget::PluginLogTarget(const HostFunctionTable* functions) : functions_(functions) {}

PluginLogTarget::~PluginLogTarget() { Retire(); }

bool PluginLogTarget::Write(const LogRecord& record) {
  if (functions_ == nullptr || functions_->log == nullptr) return true;
  functions_->log(functions_, record.level, record.message);
  return true;
}

void InstallPluginLogTarget(const HostFunctionTable* functions,
                            std::unique_ptr<PluginLogTarget>& owned) {
  if (FindLogTarget("PluginLogTarget") != nullptr) return;
  for (LogTargetInterface* console :
       {StdOutLogTargetInterface(), StdErrLogTargetInterface(), DebuggerLogTargetInterface()}) {
    console->unregisterTarget(console);
  }
  SetLogMinimumLevel(static_cast<std::int32_t>(LogLevel::Okay));
  SetLogExcludedCategories(kLogXtr);
  owned = std::make_unique<PluginLogTarget>(functions);
  owned->Configure(LogMinimumLevel(), 0, 0, "#D| #L| #G| #M");
}

}  // namespace Kelp
