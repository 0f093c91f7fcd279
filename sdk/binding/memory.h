// The plugin's memory functions: every block that crosses the boundary, and
// every allocation of the SDK's own, goes through them, so that a value built
// by one side can be released by the other and the host can read the plugin's
// heap statistics.
#ifndef KELP_SDK_BINDING_MEMORY_H_
#define KELP_SDK_BINDING_MEMORY_H_

#include <cstddef>
#include <cstdint>

#include "sdk/plugin/abi.h"

namespace Kelp {

// A replaceable set of five operations sharing one context pointer.
struct MemoryFunctions {
  void* (*allocate)(void* context, std::size_t size);
  void (*free)(void* context, void* block);
  void* (*reallocate)(void* context, void* block, std::size_t size);
  char* (*duplicate)(void* context, const char* text);
  std::size_t (*allocationSize)(void* context, const void* block);
  void* context;
};

// The first allocation installs the counting set (wrappers around the runtime
// heap that keep the statistics) unless a set was installed before.
// All of these may run on any thread.
void* Allocate(std::size_t size);
void* AllocateZeroed(std::size_t size);  // also goes through `allocate`
void Free(void* block);                  // ignores null
void* Reallocate(void* block, std::size_t size);
char* DuplicateString(const char* text);  // null for null
std::size_t AllocationSize(const void* block);

// Installs `functions` for every later call and returns the set in force
// before (the counting set once any allocation happened). Tests use it to swap
// in a set that fails on purpose. REQUIRES: no block allocated by one set is
// released through another that cannot handle it.
MemoryFunctions InstallMemoryFunctions(const MemoryFunctions& functions);

// The counting set itself, for restoring it after a swap.
MemoryFunctions CountingMemoryFunctions();

// The six counters of the counting set, each read atomically (not the six as
// one snapshot); `reserved` is 0.
MemoryStats ReadMemoryStats();

}  // namespace Kelp

#endif  // KELP_SDK_BINDING_MEMORY_H_
