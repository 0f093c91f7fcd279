#include "sdk/rest/url_template.h"

#include <random>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace Kelp {
namespace {

struct MatchRow {
  const char* templateText;
  const char* path;
  bool matches;
  std::vector<std::string> captures;
};

TEST(UrlTemplateTest, MatchesTable) {
  const MatchRow kRows[] = {
      {"/x/{id}", "/x/abc", true, {"abc"}},
      {"/x/{id}", "/x/", true, {""}},
      {"/x/{id}", "/x", false, {}},
      {"/x/{id}", "/x/a/b", false, {}},
      {"/x/{+rest}", "/x/a/b", true, {"a/b"}},
      {"/x/{+rest}", "/x/a\nb", false, {}},
      {"/x/{id}", "/x/a\nb", true, {"a\nb"}},
      {"/x{#frag}", "/x#top", true, {"top"}},
      {"/x{#frag}", "/xtop", false, {}},
      {"/a.b/{id}", "/a.b/1", true, {"1"}},
      {"/a.b/{id}", "/aXb/1", false, {}},
      {"/f(x)/{id}", "/f(x)/1", true, {"1"}},
      {"/p}/{id}", "/p}/1", true, {"1"}},
      {"/{a}{b}", "/xy", true, {"xy", ""}},
      {"/{+a}/{+b}", "/1/2/3", true, {"1/2", "3"}},
      {"/{+a}{+b}", "/12", true, {"12", ""}},
      {"/{a}.{b}", "/x.y.z", true, {"x.y", "z"}},
      {"/x/{id", "/x/", true, {}},
      {"/x/{id", "/x/id", false, {}},
      {"/x/{+#a}", "/x/#q", true, {"q"}},
      {"/x/{}", "/x/q", true, {"q"}},
      {"/literal", "/literal", true, {}},
      {"/literal", "/Literal", false, {}},
      {"/literal", "/literal/", false, {}},
      {"/v1/p/{id}/volume", "/v1/p/a/b/volume", false, {}},
      {"/v1/p/{id}", "/v1/p/a%2Fb", true, {"a%2Fb"}},
      {"/files/{+rest}/end", "/files/a/end/b/end", true, {"a/end/b"}},
      {"/{a}/{b}", "/x", false, {}},
      {"/doc{#part}", "/doc#intro/1", true, {"intro/1"}},
      {"/doc{#part}", "/doc#a\nb", false, {}},
  };
  std::vector<std::string_view> captures;
  for (const MatchRow& row : kRows) {
    SCOPED_TRACE(std::string(row.templateText) + " <- " + row.path);
    const UrlTemplate compiled(row.templateText);
    ASSERT_EQ(compiled.Match(row.path, captures), row.matches);
    if (!row.matches) continue;
    EXPECT_EQ(std::vector<std::string>(captures.begin(), captures.end()), row.captures);
  }
}

TEST(UrlTemplateTest, PlaceholderKindsAndNames) {
  const UrlTemplate compiled("/a/{id}/{+rest}{#frag}");
  ASSERT_EQ(compiled.placeholders().size(), 3u);
  EXPECT_EQ(compiled.placeholders()[0].kind, PlaceholderKind::Segment);
  EXPECT_EQ(compiled.placeholders()[0].name, "id");
  EXPECT_EQ(compiled.placeholders()[1].kind, PlaceholderKind::Rest);
  EXPECT_EQ(compiled.placeholders()[1].name, "rest");
  EXPECT_EQ(compiled.placeholders()[2].kind, PlaceholderKind::Fragment);
  EXPECT_EQ(compiled.placeholders()[2].name, "frag");
  EXPECT_EQ(compiled.EcmaScriptPattern(), "/a/([^/]*)/(.*)#(.*)");
  EXPECT_EQ(UrlTemplate("/a.b(c)[d]|^$*+?\\{x}").EcmaScriptPattern(),
            "/a\\.b\\(c\\)\\[d\\]\\|\\^\\$\\*\\+\\?\\\\([^/]*)");
}

TEST(PercentDecodeTest, DecodesTable) {
  const struct {
    const char* in;
    const char* out;
  } kRows[] = {
      {"a%2Fb", "a/b"}, {"a+b", "a b"}, {"%41%62", "Ab"}, {"%2f", "/"},
      {"%4", "%4"},     {"%", "%"},     {"%zz", "%zz"},   {"100%", "100%"},
  };
  std::string out = "stale";
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.in);
    PercentDecode(row.in, out);
    EXPECT_EQ(out, row.out);
  }
}

// The matcher must give the captures of the ECMAScript pattern it stands
// for. Templates and paths are drawn from small alphabets full of the
// characters that matter (separators, escaped specials, line terminators);
// half of the paths are instances of their template so that most of them
// match. Paths stay short so that std::regex does not recurse deeply.
class Generator {
 public:
  explicit Generator(unsigned seed) : random_(seed) {}

  std::string Template() {
    static const char* const kPieces[] = {
        "/",   "a",    "b",    ".",    "(",  ")",   "#",   "+",     "*",  "?",
        "[",   "]",    "|",    "\\",   "^",  "$",   "}",   "%",     "-",  "{x}",
        "{y}", "{+r}", "{+s}", "{#f}", "{}", "{+}", "{#}", "{a{b}", "{q",
    };
    return Join(kPieces, std::size(kPieces), Below(7));
  }

  std::string Path(const UrlTemplate& compiled) {
    static const char* const kChars[] = {"a", "b",  "/",  ".", "#",  "(", "+",
                                         "%", "\n", "\r", "}", "\\", "*", "%2F"};
    if (Below(2) == 0) return Join(kChars, std::size(kChars), Below(10));
    // An instance: the template with its placeholders filled in.
    std::string path;
    bool inBraces = false;
    for (char c : compiled.text()) {
      if (c == '{') {
        inBraces = true;
      } else if (inBraces && c == '}') {
        inBraces = false;
        path += Join(kChars, std::size(kChars), Below(4));
      } else if (!inBraces) {
        path += c;
      }
    }
    return path;
  }

 private:
  std::size_t Below(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_);
  }
  std::string Join(const char* const* pieces, std::size_t count, std::size_t length) {
    std::string out;
    for (std::size_t i = 0; i < length; ++i) out += pieces[Below(count)];
    return out;
  }

  std::mt19937 random_;
};

TEST(UrlTemplateTest, AgreesWithEcmaScriptRegex) {
  Generator generator(20261208);
  std::vector<std::string_view> captures;
  int matched = 0;
  for (int t = 0; t < 4000; ++t) {
    const UrlTemplate compiled(generator.Template());
    if (compiled.IsLiteral()) continue;
    const std::string pattern = compiled.EcmaScriptPattern();
    SCOPED_TRACE("template " + compiled.text() + " pattern " + pattern);
    const std::regex regex(pattern, std::regex::ECMAScript);
    for (int p = 0; p < 40; ++p) {
      const std::string path = generator.Path(compiled);
      std::smatch expected;
      const bool expectedMatch = std::regex_match(path, expected, regex);
      const bool actualMatch = compiled.Match(path, captures);
      ASSERT_EQ(actualMatch, expectedMatch) << "path " << path;
      if (!expectedMatch) continue;
      ++matched;
      ASSERT_EQ(captures.size() + 1, expected.size()) << "path " << path;
      for (std::size_t i = 0; i < captures.size(); ++i) {
        ASSERT_TRUE(expected[i + 1].matched);
        ASSERT_EQ(captures[i], expected[i + 1].str()) << "path " << path << " group " << i + 1;
      }
    }
  }
  // The generator must keep producing matches, or the comparison is hollow.
  EXPECT_GT(matched, 30000);
}

}  // namespace
}  // namespace Kelp
