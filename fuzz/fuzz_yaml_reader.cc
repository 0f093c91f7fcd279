// Any bytes: the YAML reader answers with a value or an error.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sdk/codecs/json_writer.h"
#include "sdk/codecs/yaml_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Kelp::ConversionResult read = Kelp::ReadYaml(text);
  if (read.ok()) (void)Kelp::WriteJson(read.value());
  return 0;
}
