#include "sdk/codecs/json_reader.h"

#include <cstdio>
#include <cstring>

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include "sdk/codecs/tree_builder.h"

namespace Kelp {
namespace {

// Default-flag semantics, parsed with RapidJSON's iterative reader: its
// recursive one nests a few stack frames per level before any handler can
// refuse the depth.
constexpr unsigned kParseFlags = rapidjson::kParseDefaultFlags | rapidjson::kParseIterativeFlag;

// Texts are short: a plain loop beats a call to memchr.
std::string_view UpToNul(const char* text, rapidjson::SizeType length) {
  rapidjson::SizeType end = 0;
  while (end < length && text[end] != '\0') ++end;
  return {text, end};
}

class Handler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, Handler> {
 public:
  explicit Handler(BindingProperty& root) : builder_(root) {}

  bool tooDeep() const { return tooDeep_; }

  bool Null() {
    builder_.NextTarget();
    return true;
  }
  bool Bool(bool b) {
    builder_.NextTarget().SetBool(b);
    return true;
  }
  // Only negative integers arrive as Int and Int64.
  bool Int(int i) {
    builder_.NextTarget().SetSigned(i);
    return true;
  }
  bool Uint(unsigned u) {
    builder_.NextTarget().SetUnsigned(u);
    return true;
  }
  bool Int64(std::int64_t i) {
    builder_.NextTarget().SetSigned(i);
    return true;
  }
  bool Uint64(std::uint64_t u) {
    builder_.NextTarget().SetUnsigned(u);
    return true;
  }
  bool Double(double d) {
    builder_.NextTarget().SetFloat(d);
    return true;
  }
  bool String(const char* text, rapidjson::SizeType length, bool) {
    builder_.NextTarget().SetString(UpToNul(text, length));
    return true;
  }
  bool Key(const char* text, rapidjson::SizeType length, bool) {
    builder_.SetKey(UpToNul(text, length));
    return true;
  }
  bool StartObject() { return Opened(builder_.OpenStructure(builder_.NextTarget())); }
  bool StartArray() {
    return Opened(builder_.OpenCollection(builder_.NextTarget(),
                                          detail::TreeBuilder::Elements::Append));
  }
  bool EndObject(rapidjson::SizeType) {
    builder_.Close();
    return true;
  }
  bool EndArray(rapidjson::SizeType) {
    builder_.Close();
    return true;
  }

 private:
  bool Opened(bool opened) {
    tooDeep_ = !opened;
    return opened;
  }

  detail::TreeBuilder builder_;
  bool tooDeep_ = false;
};

bool IsJsonSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

}  // namespace

ConversionResult ReadJson(std::string_view text) {
  ConversionResult result;
  std::size_t start = 0;
  while (start < text.size() && IsJsonSpace(text[start])) ++start;
  if (start == text.size() || text[start] == '\0') return result;

  Handler handler(result.value());
  rapidjson::MemoryStream stream(text.data(), text.size());
  rapidjson::Reader reader;
  if (reader.Parse<kParseFlags>(stream, handler)) return result;

  char message[160];
  const auto offset = static_cast<unsigned>(reader.GetErrorOffset());
  if (handler.tooDeep()) {
    std::snprintf(message, sizeof message,
                  "Error: The document is nested deeper than %d levels at offset %u.",
                  kMaxNestingDepth, offset);
  } else {
    std::snprintf(message, sizeof message, "Error: %s at offset %u.",
                  rapidjson::GetParseError_En(reader.GetParseErrorCode()), offset);
  }
  result.SetError(message);
  return result;
}

}  // namespace Kelp
