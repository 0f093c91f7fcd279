#include "sdk/binding/memory.h"

#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
// Refused allocations are what these tests are about: the sanitizer's heap
// should refuse like the system's instead of stopping the program.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}
#endif

namespace Kelp {
namespace {

// Other threads of the test process do not allocate, so deltas are exact.
TEST(MemoryTest, CountsAllocationsReleasesAndReallocations) {
  const MemoryStats before = ReadMemoryStats();
  void* block = Allocate(100);
  const std::size_t size = AllocationSize(block);
  ASSERT_GE(size, 100u);
  MemoryStats after = ReadMemoryStats();
  EXPECT_EQ(after.bytesAllocated - before.bytesAllocated, size);
  EXPECT_EQ(after.allocationCount - before.allocationCount, 1u);

  Free(nullptr);  // changes nothing
  EXPECT_EQ(ReadMemoryStats().freeCount, after.freeCount);

  void* grown = Reallocate(block, 1000);
  const std::size_t grownSize = AllocationSize(grown);
  const MemoryStats moved = ReadMemoryStats();
  EXPECT_EQ(moved.bytesFreed - after.bytesFreed, size);
  EXPECT_EQ(moved.freeCount - after.freeCount, 1u);
  EXPECT_EQ(moved.bytesAllocated - after.bytesAllocated, grownSize);
  EXPECT_EQ(moved.allocationCount - after.allocationCount, 1u);
  Free(grown);
  EXPECT_EQ(ReadMemoryStats().bytesFreed - moved.bytesFreed, grownSize);
  EXPECT_EQ(ReadMemoryStats().reserved, 0u);
}

TEST(MemoryTest, ReallocatingNullCountsAReleaseOfNothing) {
  const MemoryStats before = ReadMemoryStats();
  void* block = Reallocate(nullptr, 64);
  const MemoryStats after = ReadMemoryStats();
  EXPECT_EQ(after.freeCount - before.freeCount, 1u);
  EXPECT_EQ(after.bytesFreed, before.bytesFreed);
  EXPECT_EQ(after.allocationCount - before.allocationCount, 1u);
  Free(block);
}

TEST(MemoryTest, PeakRisesOnlyWhenBytesInUseExceedIt) {
  const MemoryStats before = ReadMemoryStats();
  const std::uint64_t inUse = before.bytesAllocated - before.bytesFreed;
  // Raise the peak well above anything the test process held so far.
  const std::size_t big = static_cast<std::size_t>(before.peakBytesInUse - inUse) + (1u << 20);
  void* block = Allocate(big);
  const MemoryStats raised = ReadMemoryStats();
  EXPECT_EQ(raised.peakBytesInUse, raised.bytesAllocated - raised.bytesFreed);
  EXPECT_EQ(raised.allocationsAtPeak, raised.allocationCount - raised.freeCount);
  Free(block);
  void* small = Allocate(16);
  EXPECT_EQ(ReadMemoryStats().peakBytesInUse, raised.peakBytesInUse);
  Free(small);
}

// A refused allocation counts as one of 0 bytes; a refused reallocation
// leaves the old block allocated, and counted, as it was.
TEST(MemoryTest, RefusedReallocationKeepsItsBlockCounted) {
  const MemoryFunctions counting = CountingMemoryFunctions();
  // Above the largest object size: every heap refuses it at once.
  const std::size_t tooLarge = std::numeric_limits<std::size_t>::max() - 4096;
  void* block = Allocate(64);
  std::memset(block, 'x', 64);
  const MemoryStats before = ReadMemoryStats();
  EXPECT_EQ(counting.reallocate(counting.context, block, tooLarge), nullptr);
  MemoryStats after = ReadMemoryStats();
  EXPECT_EQ(after.bytesAllocated, before.bytesAllocated);
  EXPECT_EQ(after.allocationCount, before.allocationCount);
  EXPECT_EQ(after.bytesFreed, before.bytesFreed);
  EXPECT_EQ(after.freeCount, before.freeCount);
  EXPECT_EQ(counting.allocate(counting.context, tooLarge), nullptr);
  after = ReadMemoryStats();
  EXPECT_EQ(after.bytesAllocated, before.bytesAllocated);
  EXPECT_EQ(after.allocationCount, before.allocationCount + 1);
  EXPECT_EQ(after.bytesFreed, before.bytesFreed);
  EXPECT_EQ(after.freeCount, before.freeCount);
  EXPECT_EQ(static_cast<const char*>(block)[63], 'x');
  Free(block);
}

}  // namespace
}  // namespace Kelp
