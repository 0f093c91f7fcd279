#include "sdk/codecs/json_reader.h"

#include <cstdio>
#include <cstring>
#include <memory>

// Whitespace and string scanning sixteen bytes at a time where every CPU of
// the target has the instructions: SSE2 is part of x86-64 itself; SSE4.2
// only when the build targets it. The 32-bit target scans byte by byte.
#if defined(__SSE4_2__)
#define RAPIDJSON_SSE42
#elif defined(__SSE2__) && defined(__x86_64__)
#define RAPIDJSON_SSE2
#endif
#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>
#include <rapidjson/stream.h>

#include "sdk/codecs/tree_builder.h"

namespace Kelp {
namespace {

// Default-flag semantics, parsed with RapidJSON's iterative reader: its
// recursive one nests a few stack frames per level before any handler can
// refuse the depth.
// Strings are decoded in place, in a private copy of the input.
// Numbers are read to the nearest double: the default fast path can be an
// ulp off (2.123166616666668e163), and then a float that the JSON writer
// wrote in its shortest round-trip form would not read back as itself.
constexpr unsigned kParseFlags = rapidjson::kParseDefaultFlags | rapidjson::kParseIterativeFlag |
                                 rapidjson::kParseInsituFlag | rapidjson::kParseFullPrecisionFlag;

// The private copy: the text, a NUL, and zeros up to a 16-byte boundary and
// one block more, so that the block-wise scanners, which load whole aligned
// blocks, never reach past it. Short texts stay on the stack.
class InsituCopy {
 public:
  explicit InsituCopy(std::string_view text) {
    const std::size_t size = ((text.size() + 1 + 15) & ~std::size_t{15}) + 16;
    if (size <= sizeof local_) {
      data_ = local_;
    } else {
      heap_ = std::make_unique_for_overwrite<Block[]>(size / sizeof(Block));
      data_ = reinterpret_cast<char*>(heap_.get());
    }
    if (!text.empty()) std::memcpy(data_, text.data(), text.size());
    std::memset(data_ + text.size(), 0, size - text.size());
  }
  InsituCopy(const InsituCopy&) = delete;
  InsituCopy& operator=(const InsituCopy&) = delete;

  char* data() { return data_; }

 private:
  struct alignas(16) Block {
    char bytes[16];
  };
  alignas(16) char local_[2048];
  std::unique_ptr<Block[]> heap_;
  char* data_ = nullptr;
};

class Handler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, Handler> {
 public:
  explicit Handler(BindingProperty& root) : builder_(root) {}

  bool tooDeep() const { return tooDeep_; }
  // Closes what a failed parse left open.
  void Finish() { builder_.CloseAll(); }

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
  // Texts keep an escaped NUL and what follows it: the tree holds lengths.
  bool String(const char* text, rapidjson::SizeType length, bool) {
    builder_.NextTarget().SetString(std::string_view(text, length));
    return true;
  }
  bool Key(const char* text, rapidjson::SizeType length, bool) {
    builder_.SetKey(std::string_view(text, length));
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
  InsituCopy copy(text);
  rapidjson::InsituStringStream stream(copy.data());
  rapidjson::Reader reader;
  const bool parsed = reader.Parse<kParseFlags>(stream, handler);
  handler.Finish();
  if (parsed) return result;

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
