// The process-wide table of 64 three-character category names.
//
// Slots 0 to 7 hold "DBG", "GEN", "XTR", "PRF", "MEM", "DSK", "NET", "TST";
// slots 8 to 63 read "???" until a name is registered in them. Names are
// never removed. Every function may run on any thread; reading names takes
// no lock and allocates nothing.
#ifndef KELP_SDK_RUNTIME_LOG_CATEGORIES_H_
#define KELP_SDK_RUNTIME_LOG_CATEGORIES_H_

#include <cstddef>
#include <cstdint>

namespace Kelp {

inline constexpr int kLogCategorySlots = 64;

// The mask of the category named by the first three characters of `name`
// (fewer when the text is shorter), registering the name in the next free
// slot when no slot has it yet. The same name always gives the same bit.
// Returns 0 for an empty or null name, and when all 64 slots are taken.
std::uint64_t LogCategoryMask(const char* name);

// The names of the bits of `mask`, lowest bit first, separated by ";", into
// `buffer` (NUL-terminated, cut to `size` - 1 bytes); the empty text for
// mask 0. Returns `buffer`. REQUIRES: size > 0.
const char* LogCategoryNames(std::uint64_t mask, char* buffer, std::size_t size);

}  // namespace Kelp

#endif  // KELP_SDK_RUNTIME_LOG_CATEGORIES_H_
