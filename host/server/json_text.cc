#include "host/server/json_text.h"

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include "host/standins/json_file.h"

namespace Kelp::Host {

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
