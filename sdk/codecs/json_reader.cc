#include "sdk/codecs/json_reader.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>

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

// Default-flag semantics with RapidJSON's recursive reader, which is much
// faster than its iterative one (a jump table per token). Its recursion is
// bounded: the handler refuses the container that would open level
// kMaxNestingDepth + 1, so the deepest accepted input nests a couple of small
// frames per level, under 100 KiB of stack on x86-64.
// Strings are decoded in place, in a private copy of the input.
constexpr unsigned kParseFlags = rapidjson::kParseDefaultFlags | rapidjson::kParseInsituFlag;

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

bool IsNumberChar(char c) {
  return (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
}

class Handler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, Handler> {
 public:
  // `stream` reads the text that starts at `text`.
  Handler(BindingProperty& root, rapidjson::InsituStringStream& stream, const char* text)
      : builder_(root), stream_(stream), text_(text) {}

  // The offset of the bracket that opened one level too many, or npos.
  std::size_t tooDeepAt() const { return tooDeepAt_; }
  // The offset of a number too big for a double, or npos.
  std::size_t tooBigAt() const { return tooBigAt_; }
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
  // RapidJSON's conversion can land an ulp off (2.123166616666668e163), so
  // that a float the JSON writer wrote in its shortest form would not read
  // back as itself, and its full-precision mode misreads long runs of zeros.
  // The number's text is converted again to the nearest double. The
  // stream stands at its start (RapidJSON reads a number through a local
  // copy of the stream and moves it on afterwards) or at its end, and
  // characters of a number never touch those of the next token. An
  // underflow keeps RapidJSON's value; a number past the largest double is
  // refused like RapidJSON refuses 1e999 (it lets some through as infinity,
  // which JSON cannot hold).
  bool Double(double d) {
    const char* start = text_ + stream_.Tell();
    const char* end = start;
    while (start > text_ && IsNumberChar(start[-1])) --start;
    while (IsNumberChar(*end)) ++end;
    double nearest = 0;
    const auto [at, error] = std::from_chars(start, end, nearest);
    if (error == std::errc() && at == end) d = nearest;
    if ((error == std::errc::result_out_of_range && std::fabs(d) >= 1) || !std::isfinite(d)) {
      tooBigAt_ = static_cast<std::size_t>(start - text_);
      return false;
    }
    builder_.NextTarget().SetFloat(d);
    return true;
  }
  // Texts keep an escaped NUL and what follows it: the tree holds lengths.
  bool String(const char* text, rapidjson::SizeType length, bool) {
    builder_.NextTarget().SetDecodedString(std::string_view(text, length));
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
  // The reader has taken the bracket when it calls the handler.
  bool Opened(bool opened) {
    if (!opened) tooDeepAt_ = stream_.Tell() - 1;
    return opened;
  }

  detail::TreeBuilder builder_;
  rapidjson::InsituStringStream& stream_;  // Tell() is not const
  const char* text_;
  std::size_t tooDeepAt_ = std::string_view::npos;
  std::size_t tooBigAt_ = std::string_view::npos;
};

bool IsJsonSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

}  // namespace

ConversionResult ReadJson(std::string_view text) {
  ConversionResult result;
  std::size_t start = 0;
  while (start < text.size() && IsJsonSpace(text[start])) ++start;
  if (start == text.size() || text[start] == '\0') return result;

  InsituCopy copy(text);
  rapidjson::InsituStringStream stream(copy.data());
  Handler handler(result.value(), stream, copy.data());
  rapidjson::Reader reader;
  const bool parsed = reader.Parse<kParseFlags>(stream, handler);
  handler.Finish();
  if (parsed) return result;

  char message[160];
  const auto offset = static_cast<unsigned>(reader.GetErrorOffset());
  if (handler.tooDeepAt() != std::string_view::npos) {
    std::snprintf(message, sizeof message,
                  "Error: The document is nested deeper than %d levels at offset %u.",
                  kMaxNestingDepth, static_cast<unsigned>(handler.tooDeepAt()));
  } else if (handler.tooBigAt() != std::string_view::npos) {
    std::snprintf(message, sizeof message, "Error: %s at offset %u.",
                  rapidjson::GetParseError_En(rapidjson::kParseErrorNumberTooBig),
                  static_cast<unsigned>(handler.tooBigAt()));
  } else {
    std::snprintf(message, sizeof message, "Error: %s at offset %u.",
                  rapidjson::GetParseError_En(reader.GetParseErrorCode()), offset);
  }
  result.SetError(message);
  return result;
}

}  // namespace Kelp
