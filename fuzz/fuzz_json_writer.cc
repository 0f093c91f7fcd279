// Any bytes: what the JSON reader reads, the JSON writer writes, compact or
// indented, as text that reads back to the same tree (numbers by value,
// since text does not keep their kinds; fields in the writer's name order).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/tree_equality.h"
#include "sdk/codecs/json_reader.h"
#include "sdk/codecs/json_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks the layout.
  static constexpr std::string_view kLineBreaks[] = {"", "\n", "\r\n"};
  const std::string_view lineBreak = kLineBreaks[data[0] % 3];
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  const Kelp::ConversionResult read = Kelp::ReadJson(text);
  if (!read.ok()) return 0;
  const std::string written = Kelp::WriteJson(read.value(), nullptr, lineBreak);
  const Kelp::ConversionResult again = Kelp::ReadJson(written);
  if (!again.ok()) std::abort();
  if (!Kelp::Fuzz::SameTree(read.value(), again.value(),
                            {.numbersByValue = true, .sortFields = true})) {
    std::abort();
  }
  // Written again, the text is the same: the writer depends on the tree only.
  if (Kelp::WriteJson(again.value(), nullptr, lineBreak) != written) std::abort();
  return 0;
}
