#include "host/decode_command.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <string_view>

#include "sdk/codecs/json_reader.h"
#include "sdk/codecs/json_writer.h"
#include "sdk/codecs/msgpack_reader.h"
#include "sdk/codecs/yaml_reader.h"

namespace Kelp::Host {
namespace {

bool ReadFile(const char* path, std::string& bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

ConversionResult Decode(std::string_view format, const std::string& bytes) {
  if (format == "json") return ReadJson(bytes);
  if (format == "yaml") return ReadYaml(bytes);
  const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                           bytes.size());
  MessagePackReadResult read = ReadMessagePack(data);
  if (read.result.ok() && read.consumed != bytes.size()) {
    read.result.SetError("Unexpected bytes after the MessagePack value at position " +
                         std::to_string(read.consumed) + ".");
  }
  return std::move(read.result);
}

}  // namespace

int RunDecodeCommand(const char* format, const char* path, std::FILE* out, std::FILE* err) {
  const std::string_view name = format != nullptr ? format : "";
  if (name != "json" && name != "msgpack" && name != "yaml") {
    std::fprintf(err, "usage: decode json|msgpack|yaml FILE\n");
    return 2;
  }
  std::string bytes;
  if (path == nullptr || !ReadFile(path, bytes)) {
    std::fprintf(err, "cannot read %s: %s\n", path != nullptr ? path : "(no file)",
                 std::strerror(errno));
    return 2;
  }
  const ConversionResult result = Decode(name, bytes);
  if (!result.ok()) {
    const std::string_view message = result.error();
    std::fwrite(message.data(), 1, message.size(), err);
    std::fputc('\n', err);
    return 1;
  }
  const std::string text = WriteJson(result.value(), nullptr, "\n");
  std::fwrite(text.data(), 1, text.size(), out);
  std::fputc('\n', out);
  return 0;
}

}  // namespace Kelp::Host
