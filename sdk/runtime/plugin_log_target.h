// The log target of a running plugin: every message it accepts goes to the
// host's log slot as (level, message text), without time, level text or
// categories.
#ifndef KELP_SDK_RUNTIME_PLUGIN_LOG_TARGET_H_
#define KELP_SDK_RUNTIME_PLUGIN_LOG_TARGET_H_

#include <memory>

#include "sdk/plugin/abi.h"
#include "sdk/runtime/log_target.h"

namespace Kelp {

class PluginLogTarget final : public LogTarget {
 public:
  // `functions` is borrowed and must stay valid while the target is listed.
  explicit PluginLogTarget(const HostFunctionTable* functions);
  ~PluginLogTarget() override;

  const char* TypeName() const override { return "PluginLogTarget"; }
  // Calls the host's log slot (a table without one loses the message); the
  // host must not log back into us from it.
  bool Write(const LogRecord& record) override;

 private:
  const HostFunctionTable* functions_;
};

// Switches logging over to the host, unless a "PluginLogTarget" is listed
// already: unregisters the three console targets, sets the logger's minimum
// level to Okay and its excluded categories to kLogXtr, replaces `owned`
// (destroying the target it held) by a new PluginLogTarget for `functions`,
// and registers that with the logger's minimum level, no category filter
// and the format "#D| #L| #G| #M". Afterwards every message of level Okay or
// above without kLogXtr reaches the host.
void InstallPluginLogTarget(const HostFunctionTable* functions,
                            std::unique_ptr<PluginLogTarget>& owned);

}  // namespace Kelp

#endif  // KELP_SDK_RUNTIME_PLUGIN_LOG_TARGET_H_
