#include "sdk/codecs/json_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <span>
#include <string>

#include <rapidjson/internal/dtoa.h>
#include <rapidjson/internal/itoa.h>
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

// The escapes of RapidJSON's Writer: the letter after the reverse solidus,
// 'u' for \u00XX, 0 for a byte passed on unchanged.
constexpr std::array<char, 256> MakeEscapes() {
  std::array<char, 256> escapes{};
  for (int c = 0; c < 0x20; ++c) escapes[c] = 'u';
  escapes['\b'] = 'b';
  escapes['\t'] = 't';
  escapes['\n'] = 'n';
  escapes['\f'] = 'f';
  escapes['\r'] = 'r';
  escapes['"'] = '"';
  escapes['\\'] = '\\';
  return escapes;
}
constexpr std::array<char, 256> kEscapes = MakeEscapes();

// The compact form, written straight into the returned string: each token
// makes room once and writes through a pointer, where RapidJSON's Writer
// checks its level stack and reserves per character run, and its buffer
// would then be copied out. The bytes are the ones RapidJSON's Writer
// gives: its own number conversions are called, and strings escape the
// same bytes the same way (upper-case hex digits, bytes from 0x80 up
// unchanged).
class CompactJsonWriter {
 public:
  explicit CompactJsonWriter(const EnumNamer* namer) : namer_(namer) {}

  std::string Take() {
    text_.resize(at_);
    return std::move(text_);
  }

  void Null() { Put("null", 4); }
  void Bool(bool value) { value ? Put("true", 4) : Put("false", 5); }
  void Signed(std::int64_t value) { Done(rapidjson::internal::i64toa(value, Room(24))); }
  void Unsigned(std::uint64_t value) { Done(rapidjson::internal::u64toa(value, Room(24))); }
  void Float(double value) {
    // Non-finite numbers, which JSON cannot hold, are null.
    if (!std::isfinite(value)) return Null();
    Done(rapidjson::internal::dtoa(value, Room(32), kMaxDecimalPlaces));
  }
  void String(std::string_view text) { WriteString(text); }
  void Blob(std::span<const std::uint8_t> bytes) {
    scratch_.clear();
    AppendBase64(bytes, scratch_);
    WriteString(scratch_);
  }
  void Enum(const BindingEnum& value) {
    const char* name = namer_ != nullptr ? namer_->EnumValueName(value.type, value.value) : nullptr;
    if (name != nullptr) return WriteString(name);
    Done(rapidjson::internal::i32toa(value.value, Room(16)));
  }
  void BeginCollection(std::size_t) { Put("[", 1); }
  void BeginElement(std::size_t index) {
    if (index != 0) Put(",", 1);
  }
  void EndElement(std::size_t) {}
  void EndCollection() { Put("]", 1); }
  // Every FieldName follows either BeginStructure or the EndField of the
  // same structure's previous field, so one flag places the commas.
  void BeginStructure(std::size_t) {
    Put("{", 1);
    fieldWritten_ = false;
  }
  void FieldName(std::string_view name) {
    if (fieldWritten_) Put(",", 1);
    WriteString(name);
    Put(":", 1);
  }
  void EndField() { fieldWritten_ = true; }
  void EndStructure() { Put("}", 1); }

 private:
  // RapidJSON's default: as many decimals as the shortest form needs.
  static constexpr int kMaxDecimalPlaces = 324;

  // Room for `bytes` more bytes at the end of the text. The string doubles,
  // from a small start: most texts written are a short value or a body of a
  // few hundred bytes, and every byte the string grows by is zeroed first.
  char* Room(std::size_t bytes) {
    if (text_.size() - at_ < bytes) text_.resize(std::max(text_.size() * 2, at_ + bytes + 256));
    return text_.data() + at_;
  }
  // The text now ends at `end`, inside the room last made.
  void Done(const char* end) { at_ = static_cast<std::size_t>(end - text_.data()); }
  void Put(const char* bytes, std::size_t count) {
    std::memcpy(Room(count), bytes, count);
    at_ += count;
  }
  void WriteString(std::string_view text) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    char* out = Room(text.size() * 6 + 2);  // every byte as \u00XX at worst
    *out++ = '"';
    for (const char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      const char escape = kEscapes[byte];
      if (escape == 0) {
        *out++ = c;
        continue;
      }
      *out++ = '\\';
      *out++ = escape;
      if (escape == 'u') {
        *out++ = '0';
        *out++ = '0';
        *out++ = kHexDigits[byte >> 4];
        *out++ = kHexDigits[byte & 0xF];
      }
    }
    *out++ = '"';
    Done(out);
  }

  const EnumNamer* namer_;
  std::string text_;
  std::size_t at_ = 0;  // the text written so far; the rest of text_ is room
  bool fieldWritten_ = false;
  std::string scratch_;
};

}  // namespace

std::string WriteJson(const BindingProperty& value, const EnumNamer* namer,
                      std::string_view lineBreak) {
  if (value.IsEmpty()) return {};
  if (lineBreak.empty()) {
    CompactJsonWriter writer(namer);
    WalkValue(value, writer);
    return writer.Take();
  }
  rapidjson::StringBuffer buffer;
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
