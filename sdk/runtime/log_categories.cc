#include "sdk/runtime/log_categories.h"

#include <atomic>
#include <cstring>
#include <mutex>

namespace Kelp {
namespace {

// A name of up to three characters packed into one word, so that a slot is
// read and written whole; 0 marks a slot without a name.
constexpr std::uint32_t Pack(const char* name) {
  std::uint32_t packed = 0;
  for (int i = 0; i < 3 && name[i] != '\0'; ++i) {
    packed |= static_cast<std::uint32_t>(static_cast<unsigned char>(name[i])) << (8 * i);
  }
  return packed;
}

constinit std::atomic<std::uint32_t> names[kLogCategorySlots] = {
    Pack("DBG"), Pack("GEN"), Pack("XTR"), Pack("PRF"),
    Pack("MEM"), Pack("DSK"), Pack("NET"), Pack("TST"),
};
// Slots above this index have no name. Grows only under the mutex, after
// its slot's name is stored.
constinit std::atomic<int> lastUsedSlot{7};
std::mutex registration;

}  // namespace

std::uint64_t LogCategoryMask(const char* name) {
  if (name == nullptr || name[0] == '\0') return 0;
  const std::uint32_t packed = Pack(name);
  // Registration is rare; one mutex keeps two threads from registering the
  // same new name in two slots.
  std::lock_guard<std::mutex> lock(registration);
  const int last = lastUsedSlot.load(std::memory_order_relaxed);
  for (int slot = 0; slot <= last; ++slot) {
    if (names[slot].load(std::memory_order_relaxed) == packed) return std::uint64_t{1} << slot;
  }
  if (last + 1 >= kLogCategorySlots) return 0;
  names[last + 1].store(packed, std::memory_order_release);
  lastUsedSlot.store(last + 1, std::memory_order_release);
  return std::uint64_t{1} << (last + 1);
}

const char* LogCategoryNames(std::uint64_t mask, char* buffer, std::size_t size) {
  std::size_t used = 0;
  auto append = [&](const char* text, std::size_t length) {
    const std::size_t room = size - 1 - used;
    const std::size_t kept = length < room ? length : room;
    std::memcpy(buffer + used, text, kept);
    used += kept;
  };
  bool first = true;
  for (int slot = 0; slot < kLogCategorySlots; ++slot) {
    if ((mask & (std::uint64_t{1} << slot)) == 0) continue;
    if (!first) append(";", 1);
    first = false;
    const std::uint32_t packed = names[slot].load(std::memory_order_acquire);
    if (packed == 0) {
      append("???", 3);
      continue;
    }
    char text[3];
    std::size_t length = 0;
    for (; length < 3 && ((packed >> (8 * length)) & 0xFF) != 0; ++length) {
      text[length] = static_cast<char>((packed >> (8 * length)) & 0xFF);
    }
    append(text, length);
  }
  buffer[used] = '\0';
  return buffer;
}

}  // namespace Kelp
