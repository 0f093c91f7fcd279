#include "sdk/runtime/log_target.h"

#include <cstring>

#include "sdk/runtime/logger.h"

namespace Kelp {
namespace {

LogTarget* Target(LogTargetInterface* self) { return LogTarget::FromInterface(self); }

constexpr LogTargetInterface kFunctions = {
    [](LogTargetInterface*) -> std::int32_t { return 1; },
    [](LogTargetInterface* self, std::int32_t level) { Target(self)->SetMinimumLevel(level); },
    [](LogTargetInterface* self) { return Target(self)->minimumLevel(); },
    [](LogTargetInterface* self, std::uint64_t included, std::uint64_t excluded) {
      Target(self)->SetCategories(included, excluded);
    },
    [](LogTargetInterface* self) { return Target(self)->includedCategories(); },
    [](LogTargetInterface* self) { return Target(self)->excludedCategories(); },
    [](LogTargetInterface* self) { return Target(self)->TypeName(); },
    [](LogTargetInterface* self) { return Target(self)->FormatText(); },
    [](LogTargetInterface* self) { Target(self)->Register(); },
    [](LogTargetInterface* self) { Target(self)->Unregister(); },
    [](LogTargetInterface* self) { return Target(self)->registered(); },
    [](LogTargetInterface* self, const LogRecord* record) { return Target(self)->Write(*record); },
};

}  // namespace

LogTarget::LogTarget() : handle_{kFunctions, this} { SetFormat("#D| #L| #G| #M"); }

LogTarget::~LogTarget() { Retire(); }

void LogTarget::Retire() { LoggerTargets::Forget(*this); }

LogTarget* LogTarget::FromInterface(LogTargetInterface* interface) {
  // `functions` is the first member of the standard-layout Handle.
  return reinterpret_cast<Handle*>(interface)->target;
}

void LogTarget::Detach() { Unregister(); }

void LogTarget::SetMinimumLevel(std::int32_t level) {
  std::lock_guard<std::mutex> lock(lock_);
  minimumLevel_.store(level, std::memory_order_relaxed);
}

void LogTarget::SetCategories(std::uint64_t included, std::uint64_t excluded) {
  std::lock_guard<std::mutex> lock(lock_);
  included_.store(included & ~excluded, std::memory_order_relaxed);
  excluded_.store(excluded, std::memory_order_relaxed);
}

void LogTarget::SetFormat(const char* format) {
  std::lock_guard<std::mutex> lock(lock_);
  const std::size_t length = std::strlen(format);
  const std::size_t kept = length < kMaxFormatLength ? length : kMaxFormatLength;
  std::memcpy(format_, format, kept);
  format_[kept] = '\0';
}

void LogTarget::Register() { LoggerTargets::Register(*this); }

void LogTarget::Unregister() { LoggerTargets::Unregister(*this); }

void LogTarget::Configure(std::int32_t minimumLevel, std::uint64_t included,
                          std::uint64_t excluded, const char* format) {
  // Each step takes only one lock, so this never holds the target's lock
  // while waiting for the logger's, which a writing thread holds while it
  // waits for the target's.
  Unregister();
  SetMinimumLevel(minimumLevel);
  SetCategories(included, excluded);
  SetFormat(format);
  Register();
}

bool LogTarget::Accepts(std::int32_t level, std::uint64_t categories) const {
  if (level < minimumLevel()) return false;
  if (categories == 0) return true;
  if ((categories & excludedCategories()) != 0) return false;
  const std::uint64_t included = includedCategories();
  return included == 0 || (categories & included) != 0;
}

}  // namespace Kelp
