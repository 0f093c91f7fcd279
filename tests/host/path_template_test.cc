#include "host/path_template.h"

#include <gtest/gtest.h>

namespace Kelp::Host {
namespace {

TEST(PathTemplateTest, MatchesWholePathsAndCapturesPlaceholders) {
  const struct {
    const char* pathTemplate;
    const char* path;
    bool matches;
    PathCaptures captures;
  } kRows[] = {
      {"/v1/settings", "/v1/settings", true, {}},
      {"/v1/settings", "/v1/settings/", false, {}},
      {"/v1/settings", "/v1/setting", false, {}},
      {"/v1/p/{id}/volume", "/v1/p/abc/volume", true, {{"id", "abc"}}},
      {"/v1/p/{id}/volume", "/v1/p/a/b/volume", false, {}},
      {"/v1/p/{id}", "/v1/p/", true, {{"id", ""}}},
      {"/v1/p/{id}", "/v1/p", false, {}},
      {"/v1/p/{id}", "/v1/p/a%2Fb", true, {{"id", "a%2Fb"}}},
      {"/files/{+rest}", "/files/a/b/c", true, {{"rest", "a/b/c"}}},
      {"/files/{+rest}/end", "/files/a/end/b/end", true, {{"rest", "a/end/b"}}},
      {"/{a}/{b}", "/x/y", true, {{"a", "x"}, {"b", "y"}}},
      {"/{a}/{b}", "/x", false, {}},
      {"/doc{#part}", "/doc#intro/1", true, {{"part", "intro/1"}}},
      {"/doc{#part}", "/docintro", false, {}},
      {"/a.b", "/a.b", true, {}},
      {"/a.b", "/axb", false, {}},
      {"/broken/{id", "/broken/{id", false, {}},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(std::string(row.pathTemplate) + " against " + row.path);
    const auto captures = MatchPathTemplate(row.pathTemplate, row.path);
    ASSERT_EQ(captures.has_value(), row.matches);
    if (captures) {
      EXPECT_EQ(*captures, row.captures);
    }
  }
}

}  // namespace
}  // namespace Kelp::Host
