// Any bytes, read as a template, a NUL and a path: the route matcher never
// fails on them, its captures are slices of the path in order, a literal
// template matches only its own text, and for short paths and few
// placeholders it agrees with std::regex on a pattern this target builds
// from the template grammar itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/rest/url_template.h"

namespace {

// std::regex recurses per character and backtracks through every way of
// splitting the path among the placeholders (minutes for ten of them); keep
// its inputs short and the placeholders few.
constexpr std::size_t kMaxRegexPath = 64;
constexpr std::size_t kMaxRegexPlaceholders = 3;

void Check(bool condition) {
  if (!condition) std::abort();
}

// The template as an ECMAScript pattern, read straight from the grammar:
// every literal byte is a hex escape, so no list of special characters is
// involved; "{name}" is a run without "/", "{+name}" a run without line
// breaks, "{#name}" a "#" and such a run. Inside braces "+" or "#" before
// the first name byte sets the kind, "{" starts the placeholder afresh, and
// one still open at the end is dropped.
struct OraclePattern {
  std::string pattern;
  std::size_t groups = 0;
};

OraclePattern BuildOraclePattern(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  static constexpr std::string_view kRun = "([^\\n\\r]*)";
  OraclePattern oracle;
  auto literal = [&oracle](unsigned char c) {
    oracle.pattern += "\\x";
    oracle.pattern += kHex[c >> 4];
    oracle.pattern += kHex[c & 0xF];
  };
  enum class Kind { Segment, Rest, Fragment } kind = Kind::Segment;
  bool open = false;
  bool named = false;
  for (const char c : text) {
    if (c == '{') {
      open = true;
      kind = Kind::Segment;
      named = false;
    } else if (!open) {
      literal(static_cast<unsigned char>(c));
    } else if (c == '}') {
      open = false;
      ++oracle.groups;
      if (kind == Kind::Segment) {
        oracle.pattern += "([^/]*)";
      } else {
        if (kind == Kind::Fragment) literal('#');
        oracle.pattern += kRun;
      }
    } else if (!named && c == '+') {
      kind = Kind::Rest;
    } else if (!named && c == '#') {
      kind = Kind::Fragment;
    } else {
      named = true;
    }
  }
  return oracle;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const std::string_view templateText = input.substr(0, split);
  const std::string_view path = split == std::string_view::npos ? "" : input.substr(split + 1);

  const Kelp::UrlTemplate compiled(templateText);
  std::vector<std::string_view> captures;
  const bool matched = compiled.Match(path, captures);
  if (matched) {
    const char* at = path.data();
    for (std::string_view capture : captures) {
      Check(capture.data() >= at && capture.data() + capture.size() <= path.data() + path.size());
      at = capture.data() + capture.size();
    }
  }
  if (templateText.find('{') == std::string_view::npos) {
    Check(compiled.IsLiteral());
    Check(matched == (path == templateText) && captures.empty());
    return 0;
  }
  const OraclePattern oracle = BuildOraclePattern(templateText);
  Check(!compiled.IsLiteral() && compiled.placeholders().size() == oracle.groups);
  if (matched) Check(captures.size() == oracle.groups);
  if (path.size() > kMaxRegexPath || oracle.groups > kMaxRegexPlaceholders) return 0;
  std::regex regex;
  try {
    regex.assign(oracle.pattern, std::regex::ECMAScript);
  } catch (const std::regex_error&) {
    std::abort();  // hex escapes and the three group forms always compile
  }
  std::match_results<std::string_view::const_iterator> expected;
  Check(std::regex_match(path.begin(), path.end(), expected, regex) == matched);
  if (!matched) return 0;
  for (std::size_t i = 0; i < captures.size(); ++i) {
    Check(std::string_view(expected[i + 1].first, expected[i + 1].second) == captures[i]);
  }
  return 0;
}
