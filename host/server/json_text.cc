#include "host/server/json_text.h"

#include <string_view>

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include "host/standins/json_file.h"

namespace Kelp::Host {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the well-formed sequence at `at`, 0 when there is none.
std::size_t SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;   // the range of the second byte, narrowed against
  unsigned char high = 0xBF;  // overlong forms, surrogates and past U+10FFFF
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!IsContinuation(byte(i))) return 0;
  }
  return length;
}

}  // namespace

std::string ReplaceInvalidUtf8(std::string text) {
  std::size_t at = 0;
  while (at < text.size() && static_cast<unsigned char>(text[at]) < 0x80) ++at;
  if (at == text.size()) return text;
  std::string repaired = text.substr(0, at);
  while (at < text.size()) {
    const std::size_t length = SequenceLength(text, at);
    if (length == 0) {
      repaired += kReplacement;
      ++at;
    } else {
      repaired.append(text, at, length);
      at += length;
    }
  }
  return repaired;
}

std::string WriteIndentedJson(const HostValue& value, int indent) {
  const std::string compact = WriteJsonText(value);
  rapidjson::Document document;
  document.Parse<rapidjson::kParseIterativeFlag>(compact.data(), compact.size());
  if (document.HasParseError()) return compact;
  rapidjson::StringBuffer buffer;
  rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
  writer.SetIndent(' ', static_cast<unsigned>(indent));
  document.Accept(writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace Kelp::Host
