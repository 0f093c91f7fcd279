#include "sdk/codecs/msgpack_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/binding/message_format.h"
#include "sdk/codecs/tree_builder.h"

namespace Kelp {
namespace {

enum class Format : std::uint8_t {
  Invalid,
  Nil,
  False,
  True,
  PositiveFixint,
  NegativeFixint,
  Unsigned,
  Signed,
  Float,
  String,
  Blob,
  Array,
  Map,
};

// What a leading type byte means. `width` is the byte count of the number,
// length or count that follows it; 0 for the fix forms, whose low bits hold
// the value.
struct TypeClass {
  Format format = Format::Invalid;
  std::uint8_t width = 0;
};

constexpr std::array<TypeClass, 256> MakeClassTable() {
  std::array<TypeClass, 256> table{};
  for (int b = 0x00; b <= 0x7F; ++b) table[b] = {Format::PositiveFixint, 0};
  for (int b = 0x80; b <= 0x8F; ++b) table[b] = {Format::Map, 0};
  for (int b = 0x90; b <= 0x9F; ++b) table[b] = {Format::Array, 0};
  for (int b = 0xA0; b <= 0xBF; ++b) table[b] = {Format::String, 0};
  for (int b = 0xE0; b <= 0xFF; ++b) table[b] = {Format::NegativeFixint, 0};
  table[0xC0] = {Format::Nil, 0};
  table[0xC2] = {Format::False, 0};
  table[0xC3] = {Format::True, 0};
  table[0xC4] = {Format::Blob, 1};
  table[0xC5] = {Format::Blob, 2};
  table[0xC6] = {Format::Blob, 4};
  table[0xCA] = {Format::Float, 4};
  table[0xCB] = {Format::Float, 8};
  table[0xCC] = {Format::Unsigned, 1};
  table[0xCD] = {Format::Unsigned, 2};
  table[0xCE] = {Format::Unsigned, 4};
  table[0xCF] = {Format::Unsigned, 8};
  table[0xD0] = {Format::Signed, 1};
  table[0xD1] = {Format::Signed, 2};
  table[0xD2] = {Format::Signed, 4};
  table[0xD3] = {Format::Signed, 8};
  table[0xD9] = {Format::String, 1};
  table[0xDA] = {Format::String, 2};
  table[0xDB] = {Format::String, 4};
  table[0xDC] = {Format::Array, 2};
  table[0xDD] = {Format::Array, 4};
  table[0xDE] = {Format::Map, 2};
  table[0xDF] = {Format::Map, 4};
  // 0xC1 (never used), ext 8/16/32 and fixext 1 to 16 stay Invalid.
  return table;
}

constexpr std::array<TypeClass, 256> kClasses = MakeClassTable();

class Reader {
 public:
  Reader(std::span<const std::uint8_t> bytes, ConversionResult& result)
      : bytes_(bytes), result_(result), builder_(result.value()) {
    open_.reserve(16);
  }

  std::size_t Run();

 private:
  // An open collection or structure and the elements or entries (a key and
  // its value) it still expects.
  struct Open {
    std::uint64_t remaining;
    bool isMap;
  };

  std::size_t left() const { return bytes_.size() - position_; }
  bool Fail(std::string message) {
    builder_.Abandon();
    result_.SetError(message);
    return false;
  }
  // Reads a big-endian number of `width` bytes (1, 2, 4 or 8).
  bool ReadNumber(int width, std::uint64_t& value) {
    if (left() < static_cast<std::size_t>(width)) return FailTruncatedNumber(width);
    const std::uint8_t* at = bytes_.data() + position_;
    // One case per width, so that each becomes a load and a byte swap.
    switch (width) {
      case 1:
        value = at[0];
        break;
      case 2:
        value = BigEndian<2>(at);
        break;
      case 4:
        value = BigEndian<4>(at);
        break;
      default:
        value = BigEndian<8>(at);
        break;
    }
    position_ += width;
    return true;
  }
  template <int kWidth>
  static std::uint64_t BigEndian(const std::uint8_t* at) {
    std::uint64_t v = 0;
    for (int i = 0; i < kWidth; ++i) v = (v << 8) | at[i];
    return v;
  }
  // Reads the length that follows a type byte (or takes it from the byte's
  // low bits), then checks that many bytes are left. Fills `text`.
  bool ReadBytes(std::uint8_t type, const TypeClass& cls, std::string_view& text) {
    std::uint64_t length = type & 0x1F;  // fixstr
    if (cls.width != 0 && !ReadNumber(cls.width, length)) return false;
    if (left() < length) return FailTruncatedBytes(cls, length);
    text = {reinterpret_cast<const char*>(bytes_.data() + position_),
            static_cast<std::size_t>(length)};
    position_ += static_cast<std::size_t>(length);
    return true;
  }
  // The failures, kept out of the paths above.
  [[gnu::noinline, gnu::cold]] bool FailTruncatedNumber(int width);
  [[gnu::noinline, gnu::cold]] bool FailTruncatedBytes(const TypeClass& cls, std::uint64_t length);
  bool ReadKey(std::uint8_t type);
  // Reads entries of the innermost open container until it is full, which
  // closes it, or until a container opens inside it. False when the input
  // fails or ends first.
  bool ReadEntries();
  [[gnu::always_inline]] inline bool ReadValue(std::uint8_t type, BindingProperty& target);
  bool OpenContainer(std::uint8_t type, const TypeClass& cls, BindingProperty& target);

  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
  ConversionResult& result_;
  detail::TreeBuilder builder_;
  std::vector<Open> open_;
};

bool Reader::FailTruncatedNumber(int width) {
  return Fail(FormatMessage("Invalid MessagePack data. %1-bit integer value at position %2 is "
                            "truncated.",
                            {width * 8, position_}));
}

bool Reader::FailTruncatedBytes(const TypeClass& cls, std::uint64_t length) {
  const char* what = cls.format == Format::String
                         ? "Invalid MessagePack data. String of size %1 at position %2 is "
                           "truncated."
                         : "Invalid MessagePack data. Raw bytes of size %1 at position %2 are "
                           "truncated.";
  return Fail(FormatMessage(what, {length, position_}));
}

bool Reader::ReadKey(std::uint8_t type) {
  const TypeClass& cls = kClasses[type];
  if (cls.format == Format::String && cls.width == 0) {
    // A fixstr: the usual key.
    const std::size_t length = type & 0x1F;
    if (left() < length) return FailTruncatedBytes(cls, length);
    builder_.SetKey({reinterpret_cast<const char*>(bytes_.data() + position_), length});
    position_ += length;
    return true;
  }
  if (cls.format != Format::String) {
    return Fail(FormatMessage("Invalid MessagePack data at position %1. Map keys must be strings.",
                              {position_}));
  }
  std::string_view key;
  if (!ReadBytes(type, cls, key)) return false;
  builder_.SetKey(key);
  return true;
}

bool Reader::OpenContainer(std::uint8_t type, const TypeClass& cls, BindingProperty& target) {
  const std::size_t afterType = position_;
  std::uint64_t count = type & 0x0F;  // fixarray, fixmap
  if (cls.width != 0 && !ReadNumber(cls.width, count)) return false;
  const bool isMap = cls.format == Format::Map;
  // Counts are claims: every element takes at least one byte (an entry two),
  // and nested containers claim the same bytes, so only a little is
  // reserved up front.
  const auto room =
      static_cast<std::size_t>(isMap ? std::min<std::uint64_t>({count, left() / 2, 32})
                                     : std::min<std::uint64_t>({count, left(), 64}));
  const bool opened =
      isMap ? builder_.OpenStructure(target, room)
            : builder_.OpenCollection(target, detail::TreeBuilder::Elements::Overwrite, room);
  if (!opened) {
    return Fail(FormatMessage("Invalid MessagePack data at position %1. The data is nested deeper "
                              "than %2 levels.",
                              {afterType, kMaxNestingDepth}));
  }
  open_.push_back({count, isMap});
  return true;
}

bool Reader::ReadValue(std::uint8_t type, BindingProperty& target) {
  const TypeClass& cls = kClasses[type];
  std::uint64_t n = 0;
  switch (cls.format) {
    case Format::Invalid:
      return Fail(FormatMessage("Invalid MessagePack data at position %1.", {position_}));
    case Format::Nil:
      return true;
    case Format::False:
    case Format::True:
      target.SetBool(cls.format == Format::True);
      return true;
    case Format::PositiveFixint:
      target.SetSigned(type);
      return true;
    case Format::NegativeFixint:
      target.SetSigned(static_cast<std::int8_t>(type));
      return true;
    case Format::Unsigned:
      if (!ReadNumber(cls.width, n)) return false;
      target.SetUnsigned(n);
      return true;
    case Format::Signed: {
      if (!ReadNumber(cls.width, n)) return false;
      // Sign-extend from the number's own width.
      const int shift = 64 - cls.width * 8;
      target.SetSigned(static_cast<std::int64_t>(n << shift) >> shift);
      return true;
    }
    case Format::Float:
      if (!ReadNumber(cls.width, n)) return false;
      if (cls.width == 4) {
        target.SetFloat(std::bit_cast<float>(static_cast<std::uint32_t>(n)));
      } else {
        target.SetFloat(std::bit_cast<double>(n));
      }
      return true;
    case Format::String:
    case Format::Blob: {
      std::string_view text;
      if (!ReadBytes(type, cls, text)) return false;
      if (cls.format == Format::String) {
        target.SetDecodedString(text);
      } else {
        target.SetBlob({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
      }
      return true;
    }
    case Format::Array:
    case Format::Map:
      return OpenContainer(type, cls, target);
  }
  return false;
}

bool Reader::ReadEntries() {
  Open& top = open_.back();
  const std::size_t size = bytes_.size();
  // The input may end anywhere: after a key, or inside containers.
  while (top.remaining != 0) {
    if (position_ == size) return false;
    --top.remaining;
    if (top.isMap) {
      if (!ReadKey(bytes_[position_++]) || position_ == size) return false;
    }
    BindingProperty& target = builder_.NextTarget();
    const std::uint8_t type = bytes_[position_++];
    const TypeClass& cls = kClasses[type];
    // An opened container is read next; `top` no longer names the innermost.
    if (cls.format == Format::Array || cls.format == Format::Map) {
      return OpenContainer(type, cls, target);
    }
    if (!ReadValue(type, target)) return false;
  }
  open_.pop_back();
  builder_.Close();
  return true;
}

std::size_t Reader::Run() {
  if (position_ == bytes_.size()) return position_;
  const std::uint8_t rootType = bytes_[position_++];
  if (ReadValue(rootType, builder_.NextTarget())) {
    while (!open_.empty() && ReadEntries()) {
    }
  }
  builder_.CloseAll();
  return position_;
}

}  // namespace

MessagePackReadResult ReadMessagePack(std::span<const std::uint8_t> bytes) {
  MessagePackReadResult read;
  Reader reader(bytes, read.result);
  read.consumed = reader.Run();
  return read;
}

}  // namespace Kelp
