#include "sdk/rest/route.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sdk/rest/function_name.h"

namespace Kelp {
namespace {

Route MakeRoute(HttpMethod method, std::string_view path, std::string_view methodName = {}) {
  Route route;
  route.method = method;
  route.methodName = methodName;
  route.path = UrlTemplate(path);
  return route;
}

TEST(FunctionNameTest, BuildsIdentifiers) {
  const struct {
    HttpMethod method;
    const char* path;
    const char* name;
  } kRows[] = {
      {HttpMethod::Get, "/tav-premade-voice/v1/availability", "GetTavPremadeVoiceV1Availability"},
      {HttpMethod::Put, "/tav-premade-voice/v1/participants/{puuid}/volume",
       "PutTavPremadeVoiceV1ParticipantsByPuuidVolume"},
      {HttpMethod::Delete, "/x/{+rest}", "DeleteXByRest"},
      {HttpMethod::Options, "/x/", "OptionsX"},
      {HttpMethod::Named, "/custom!thing_here", "CustomThingHere"},
      {HttpMethod::None, "/self/micLevel", "SelfMicLevel"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(FunctionName(row.method, row.path), row.name);
  }
  EXPECT_EQ(MakeIdentifier("tav-premade-voice"), "TavPremadeVoice");
  EXPECT_EQ(MakeIdentifier("a}b"), "Ab");
}

TEST(FunctionNameTest, NormalizesTrailingSlash) {
  EXPECT_EQ(NormalizePath("/x/"), "/x");
  EXPECT_EQ(NormalizePath("/"), "/");
  EXPECT_EQ(NormalizePath("/x//"), "/x/");
  EXPECT_EQ(NormalizePath(""), "");
}

TEST(RouteSelectorTest, PicksShortestCapturesAndChecksMethods) {
  const std::vector<Route> routes = {
      MakeRoute(HttpMethod::Get, "/a/{x}"),        // 0
      MakeRoute(HttpMethod::Get, "/a/{x}/{y}"),    // 1
      MakeRoute(HttpMethod::Get, "/a/{+long}"),    // 2
      MakeRoute(HttpMethod::Get, "/a/b{+tail}"),   // 3
      MakeRoute(HttpMethod::Put, "/a/{x}"),        // 4
      MakeRoute(HttpMethod::Named, "/n", "LINK"),  // 5
      MakeRoute(HttpMethod::None, "/any"),         // 6
      MakeRoute(HttpMethod::Get, "/tie/{x}"),      // 7
      MakeRoute(HttpMethod::Get, "/tie/{+x}"),     // 8
  };
  const struct {
    HttpMethod method;
    const char* methodName;
    const char* path;
    int route;  // -1: no match
  } kRows[] = {
      {HttpMethod::Get, "", "/a/b", 3},    // "" beats "b"
      {HttpMethod::Get, "", "/a/c", 0},    // "c" ties with route 2; earlier wins
      {HttpMethod::Get, "", "/a/c/d", 1},  // 2 chars beat "c/d"
      {HttpMethod::Put, "", "/a/c", 4},     {HttpMethod::Post, "", "/a/c", -1},
      {HttpMethod::Named, "LINK", "/n", 5}, {HttpMethod::Named, "UNLINK", "/n", -1},
      {HttpMethod::Delete, "", "/any", 6},  {HttpMethod::Get, "", "/tie/q", 7},
  };
  RouteSelector selector;
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.path);
    const RouteRequest request{row.method, row.methodName, row.path};
    const bool found = selector.Select(request, routes, true);
    ASSERT_EQ(found, row.route >= 0);
    if (found) {
      EXPECT_EQ(selector.match().route, &routes[row.route]);
    }
  }
  // With the method check off the PUT-only route still matches a POST.
  ASSERT_TRUE(
      selector.Select({HttpMethod::Post, "", "/a/c"}, std::span(routes).subspan(4, 1), false));
}

TEST(RouteSelectorTest, DecodesValuesAfterMatching) {
  const std::vector<Route> routes = {MakeRoute(HttpMethod::Get, "/p/{id}/v")};
  RouteSelector selector;
  ASSERT_TRUE(selector.Select({HttpMethod::Get, "", "/p/a%2Fb+c/v"}, routes, true));
  const std::string* id = selector.match().Find("id");
  ASSERT_NE(id, nullptr);
  EXPECT_EQ(*id, "a/b c");
  EXPECT_EQ(selector.match().score, 5u);
  EXPECT_FALSE(selector.Select({HttpMethod::Get, "", "/p/a/b/v"}, routes, true));
}

}  // namespace
}  // namespace Kelp
