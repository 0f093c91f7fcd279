#include "sdk/codecs/json_writer.h"

#include <cmath>

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "sdk/binding/base64.h"
#include "sdk/codecs/value_writer.h"

namespace Kelp {
namespace {

// A ValueWriter over a RapidJSON writer (compact or pretty).
template <typename RapidWriter>
class JsonValueWriter final : public ValueWriter {
 public:
  JsonValueWriter(rapidjson::StringBuffer& buffer, const EnumNamer* namer)
      : writer_(buffer), namer_(namer) {}

  RapidWriter& writer() { return writer_; }

  void Null() override { writer_.Null(); }
  void Bool(bool value) override { writer_.Bool(value); }
  void Signed(std::int64_t value) override { writer_.Int64(value); }
  void Unsigned(std::uint64_t value) override { writer_.Uint64(value); }
  void Float(double value) override {
    // RapidJSON refuses non-finite numbers without writing anything, which
    // would leave a member without a value.
    if (std::isfinite(value)) {
      writer_.Double(value);
    } else {
      writer_.Null();
    }
  }
  void String(std::string_view text) override { WriteString(text); }
  void Blob(std::span<const std::uint8_t> bytes) override {
    scratch_.clear();
    AppendBase64(bytes, scratch_);
    WriteString(scratch_);
  }
  void Enum(const BindingEnum& value) override {
    const char* name = namer_ != nullptr ? namer_->EnumValueName(value.type, value.value) : nullptr;
    if (name != nullptr) {
      WriteString(name);
    } else {
      writer_.Int(value.value);
    }
  }
  void BeginCollection(std::size_t) override { writer_.StartArray(); }
  void BeginElement(std::size_t) override {}
  void EndElement(std::size_t) override {}
  void EndCollection() override { writer_.EndArray(); }
  void BeginStructure(std::size_t) override { writer_.StartObject(); }
  void FieldName(std::string_view name) override {
    writer_.Key(name.data(), static_cast<rapidjson::SizeType>(name.size()));
  }
  void EndField() override {}
  void EndStructure() override { writer_.EndObject(); }

 private:
  void WriteString(std::string_view text) {
    writer_.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
  }

  RapidWriter writer_;
  const EnumNamer* namer_;
  std::string scratch_;
};

}  // namespace

std::string WriteJson(const BindingProperty& value, const EnumNamer* namer,
                      std::string_view lineBreak) {
  if (value.IsEmpty()) return {};
  rapidjson::StringBuffer buffer;
  if (lineBreak.empty()) {
    JsonValueWriter<rapidjson::Writer<rapidjson::StringBuffer>> writer(buffer, namer);
    WalkValue(value, writer);
    return std::string(buffer.GetString(), buffer.GetSize());
  }
  JsonValueWriter<rapidjson::PrettyWriter<rapidjson::StringBuffer>> writer(buffer, namer);
  writer.writer().SetIndent(' ', 4);
  WalkValue(value, writer);
  const std::string_view text(buffer.GetString(), buffer.GetSize());
  if (lineBreak == "\n") return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\n') {
      out += lineBreak;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace Kelp
