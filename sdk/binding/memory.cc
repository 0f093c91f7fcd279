#include "sdk/binding/memory.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace Kelp {
namespace {

struct Counters {
  std::atomic<std::uint64_t> peakBytesInUse{0};
  std::atomic<std::uint64_t> allocationsAtPeak{0};
  std::atomic<std::uint64_t> bytesAllocated{0};
  std::atomic<std::uint64_t> allocationCount{0};
  std::atomic<std::uint64_t> bytesFreed{0};
  std::atomic<std::uint64_t> freeCount{0};
};

Counters& TheCounters() {
  static Counters counters;
  return counters;
}

#ifdef _WIN32
std::size_t UsableSize(void* block) { return block == nullptr ? 0 : _msize(block); }
#else
std::size_t UsableSize(void* block) { return block == nullptr ? 0 : malloc_usable_size(block); }
#endif

void UpdatePeak(Counters& c) {
  const std::uint64_t current = c.bytesAllocated.load() - c.bytesFreed.load();
  std::uint64_t peak = c.peakBytesInUse.load();
  while (current > peak) {
    if (c.peakBytesInUse.compare_exchange_weak(peak, current)) {
      c.allocationsAtPeak.store(c.allocationCount.load() - c.freeCount.load());
      break;
    }
  }
}

#ifdef KELP_ALLOCATION_FAULTS
// Test builds only: with KELP_FAIL_ALLOCATION=N in the environment, the N-th
// allocation of the process through the counting set (1 for the first) fails
// as an exhausted heap would, and only that one. Read once, at the first
// allocation.
std::uint64_t FailingAllocation() {
  const char* text = std::getenv("KELP_FAIL_ALLOCATION");
  return text == nullptr ? 0 : std::strtoull(text, nullptr, 10);
}

bool FailThisAllocation() {
  static const std::uint64_t failing = FailingAllocation();
  static std::atomic<std::uint64_t> seen{0};
  return failing != 0 && ++seen == failing;
}
#else
constexpr bool FailThisAllocation() { return false; }
#endif

// A failed allocation counts as one of 0 bytes.
void* CountingAllocate(void* context, std::size_t size) {
  auto& c = *static_cast<Counters*>(context);
  void* block = FailThisAllocation() ? nullptr : std::malloc(size);
  c.bytesAllocated += UsableSize(block);
  c.allocationCount += 1;
  UpdatePeak(c);
  return block;
}

void CountingFree(void* context, void* block) {
  if (block == nullptr) return;
  auto& c = *static_cast<Counters*>(context);
  c.bytesFreed += UsableSize(block);
  std::free(block);
  c.freeCount += 1;
}

// Counts a release of the old block (of nothing for null) and an allocation.
// A refused reallocation leaves the old block allocated as it was, so it
// counts nothing: counting the block as released would put every later
// reading of the bytes in use (and the peak) off for good.
void* CountingReallocate(void* context, void* block, std::size_t size) {
  auto& c = *static_cast<Counters*>(context);
  const std::size_t oldSize = UsableSize(block);
  void* moved = FailThisAllocation() ? nullptr : std::realloc(block, size);
  if (moved == nullptr && block != nullptr && size != 0) return nullptr;
  c.bytesFreed += oldSize;
  c.freeCount += 1;
  c.bytesAllocated += UsableSize(moved);
  c.allocationCount += 1;
  UpdatePeak(c);
  return moved;
}

char* CountingDuplicate(void* context, const char* text) {
  auto& c = *static_cast<Counters*>(context);
  char* copy = FailThisAllocation() ? nullptr : strdup(text);
  c.bytesAllocated += UsableSize(copy);
  c.allocationCount += 1;
  UpdatePeak(c);
  return copy;
}

std::size_t CountingSize(void*, const void* block) { return UsableSize(const_cast<void*>(block)); }

// The set in force. Replaced as a whole under the mutex; calls read it
// without the mutex once installed, as sets are swapped only by tests.
struct ActiveSet {
  MemoryFunctions functions{};
};

ActiveSet& Active() {
  static ActiveSet active;
  return active;
}

// Every allocation passes here: after the first, a static's guard is one
// load, where call_once would set thread-local state on every call.
const MemoryFunctions& Functions() {
  static ActiveSet& active = [] () -> ActiveSet& {
    ActiveSet& set = Active();
    set.functions = CountingMemoryFunctions();
    return set;
  }();
  return active.functions;
}

}  // namespace

MemoryFunctions CountingMemoryFunctions() {
  return {CountingAllocate, CountingFree, CountingReallocate, CountingDuplicate, CountingSize,
          &TheCounters()};
}

MemoryFunctions InstallMemoryFunctions(const MemoryFunctions& functions) {
  const MemoryFunctions previous = Functions();
  Active().functions = functions;
  return previous;
}

void* Allocate(std::size_t size) {
  const MemoryFunctions& f = Functions();
  return f.allocate(f.context, size);
}

void* AllocateZeroed(std::size_t size) {
  void* block = Allocate(size);
  if (block != nullptr) std::memset(block, 0, size);
  return block;
}

void Free(void* block) {
  if (block == nullptr) return;
  const MemoryFunctions& f = Functions();
  f.free(f.context, block);
}

void* Reallocate(void* block, std::size_t size) {
  const MemoryFunctions& f = Functions();
  return f.reallocate(f.context, block, size);
}

char* DuplicateString(const char* text) {
  if (text == nullptr) return nullptr;
  const MemoryFunctions& f = Functions();
  return f.duplicate(f.context, text);
}

std::size_t AllocationSize(const void* block) {
  const MemoryFunctions& f = Functions();
  return f.allocationSize(f.context, block);
}

MemoryStats ReadMemoryStats() {
  Functions();  // the counters start when the counting set is installed
  const Counters& c = TheCounters();
  MemoryStats stats{};
  stats.peakBytesInUse = c.peakBytesInUse.load();
  stats.allocationsAtPeak = c.allocationsAtPeak.load();
  stats.bytesAllocated = c.bytesAllocated.load();
  stats.allocationCount = c.allocationCount.load();
  stats.bytesFreed = c.bytesFreed.load();
  stats.freeCount = c.freeCount.load();
  stats.reserved = 0;
  return stats;
}

}  // namespace Kelp

// Every C++ allocation of the library goes through the memory functions too,
// so the statistics cover the SDK's own objects. Inside the plugin library
// these definitions are hidden and bind only the library's own code.
void* operator new(std::size_t size) {
  void* block = Kelp::Allocate(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return Kelp::Allocate(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return Kelp::Allocate(size == 0 ? 1 : size);
}
void operator delete(void* block) noexcept { Kelp::Free(block); }
void operator delete[](void* block) noexcept { Kelp::Free(block); }
void operator delete(void* block, std::size_t) noexcept { Kelp::Free(block); }
void operator delete[](void* block, std::size_t) noexcept { Kelp::Free(block); }
