// URL templates: a resource path with placeholders, compiled into a matcher.
//
// Placeholders:
//   {name}   one path segment: any run of characters other than "/"
//   {+name}  the rest: any run of characters, "/" included
//   {#name}  a "#" followed by any run of characters
// "Any run of characters" excludes "\n" and "\r". Every other character of
// the template matches itself, case-sensitively.
//
// A templated match gives exactly the captures of the ECMAScript regular
// expression that EcmaScriptPattern() returns, matched against the whole
// path: the special characters ^ $ . * + ? ( ) [ ] | and the backslash are
// escaped, and a placeholder becomes "([^/]*)", "(.*)" or "#(.*)". Earlier
// placeholders are greedy: each takes the longest text that still lets the
// rest of the path match. The matcher runs in time linear in the path for
// templates with one placeholder and in O(placeholders x path x literal
// length) otherwise; it never recurses.
//
// A UrlTemplate is immutable after construction and may be shared by threads.
#ifndef KELP_SDK_REST_URL_TEMPLATE_H_
#define KELP_SDK_REST_URL_TEMPLATE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Kelp {

enum class PlaceholderKind : std::uint8_t {
  Segment = 1,   // {name}
  Rest = 2,      // {+name}
  Fragment = 3,  // {#name}
};

struct RoutePlaceholder {
  PlaceholderKind kind;
  std::string name;
};

class UrlTemplate {
 public:
  // Compiles `text`. Inside braces, a "+" or "#" before any name character
  // sets the kind, "}" closes the placeholder and a "{" starts it afresh; a
  // placeholder left open at the end contributes nothing. A "}" outside
  // braces is an ordinary character.
  explicit UrlTemplate(std::string_view text = {});

  const std::string& text() const { return text_; }
  // True when the text holds no "{": the path must equal the text.
  bool IsLiteral() const { return !templated_; }
  // One per closed placeholder, in template order.
  const std::vector<RoutePlaceholder>& placeholders() const { return placeholders_; }
  // The regular expression this template stands for (empty when literal).
  std::string EcmaScriptPattern() const;

  // Full match of `path`. On success `captures` holds, per placeholder in
  // order, the raw (not percent-decoded) slice of `path` it took. `captures`
  // is only cleared and appended to, so its capacity can be reused.
  bool Match(std::string_view path, std::vector<std::string_view>& captures) const;

 private:
  struct Group {
    PlaceholderKind kind;
    std::string literalAfter;
  };

  bool MatchOneGroup(std::string_view path, std::vector<std::string_view>& captures) const;
  bool MatchGroups(std::string_view path, std::vector<std::string_view>& captures) const;

  std::string text_;
  bool templated_ = false;
  std::string head_;  // the literal text before the first group
  std::vector<Group> groups_;
  std::vector<RoutePlaceholder> placeholders_;
};

// Percent-decodes `in` into `out` (replacing its content): "+" becomes a
// space and "%" followed by two hexadecimal digits (either case) becomes that
// byte. Any other "%", including one with fewer than two characters after
// it, is copied as it stands.
void PercentDecode(std::string_view in, std::string& out);

}  // namespace Kelp

#endif  // KELP_SDK_REST_URL_TEMPLATE_H_
