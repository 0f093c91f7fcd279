#include <gtest/gtest.h>

#include "sdk/plugin/event_channel.h"
#include "sdk/plugin/resource_pattern.h"

namespace Kelp {
namespace {

TEST(EventChannelTest, KeepsTheFirstPartsOfThePath) {
  const struct {
    const char* key;
    const char* channel;
  } kRows[] = {
      {"/tav-lobby/v2/lobby/members", "OnJsonApiEvent_tav-lobby_v2_lobby"},
      {"/tav-lobby/v2/lobby", "OnJsonApiEvent_tav-lobby_v2_lobby"},
      {"tav-lobby//v2/", "OnJsonApiEvent_tav-lobby_v2"},
      {"/tav-premade-voice/v1/session", "OnJsonApiEvent_tav-premade-voice_v1_session"},
      {"/tav-platform-config/v1/namespaces/Voice/Enabled/more",
       "OnJsonApiEvent_tav-platform-config_v1_namespaces_Voice_Enabled"},
      {"/tav-lobby/tav-platform-config/a/b", "OnJsonApiEvent_tav-lobby_tav-platform-config_a"},
      {"/", "OnJsonApiEvent"},
      {"", "OnJsonApiEvent"},
      {"OnServiceProxyUuidEvent", "OnJsonApiEvent_OnServiceProxyUuidEvent"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.key);
    EXPECT_EQ(EventChannelName(row.key), row.channel);
  }
}

TEST(ResourcePatternTest, StarMatchesOneSegmentWithoutBacktracking) {
  const struct {
    const char* pattern;
    const char* path;
    bool matches;
  } kRows[] = {
      {"/x/*/y", "/x/a/y", true},
      {"/x/*/y", "/x/abc/y", true},
      {"/x/*/y", "/x//y", true},
      {"/x/*/y", "/x/a/b/y", false},
      {"/x/*/y", "/x/a/y/z", false},
      {"/x/*", "/x/a", true},
      {"/x/*", "/x/abc", true},
      {"/x/*", "/x/", false},
      {"/x/*", "/x", false},
      {"/x/*", "/x/a/b", false},
      {"/x/*y", "/x/ay", false},
      {"/x/*/*", "/x/a/b", true},
      {"*", "abc", true},
      {"*", "", false},
      {"/x/y", "/x/y", true},
      {"/x/y", "/x/y/", false},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(std::string(row.pattern) + " ~ " + row.path);
    EXPECT_EQ(MatchesResourcePattern(row.pattern, row.path), row.matches);
  }
}

}  // namespace
}  // namespace Kelp
