// Any bytes, read as a template, a NUL and a path: the route matcher never
// fails on them, its captures are slices of the path in order, and for
// short paths and few placeholders it agrees with std::regex on the
// template's ECMAScript pattern.
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
    Check(captures.size() == compiled.placeholders().size() || compiled.IsLiteral());
    const char* at = path.data();
    for (std::string_view capture : captures) {
      Check(capture.data() >= at && capture.data() + capture.size() <= path.data() + path.size());
      at = capture.data() + capture.size();
    }
  }
  if (compiled.IsLiteral() || path.size() > kMaxRegexPath ||
      compiled.placeholders().size() > kMaxRegexPlaceholders) {
    return 0;
  }
  std::regex regex;
  try {
    regex.assign(compiled.EcmaScriptPattern(), std::regex::ECMAScript);
  } catch (const std::regex_error&) {
    std::abort();  // every pattern we generate must compile
  }
  std::match_results<std::string_view::const_iterator> expected;
  Check(std::regex_match(path.begin(), path.end(), expected, regex) == matched);
  if (!matched) return 0;
  for (std::size_t i = 0; i < captures.size(); ++i) {
    Check(std::string_view(expected[i + 1].first, expected[i + 1].second) == captures[i]);
  }
  return 0;
}
