#include "sdk/plugin/plugin_identity.h"

#include <gtest/gtest.h>

namespace Kelp {
namespace {

TEST(PluginApiVersionTest, AcceptsSameMajorWhenHostIsNotOlder) {
  const struct {
    PluginApiVersion host;
    PluginApiVersion plugin;
    bool accepted;
  } kRows[] = {
      {{18, 0, 0}, kPluginApiVersion, true},  {{18, 0, 5}, kPluginApiVersion, true},
      {{18, 3, 0}, kPluginApiVersion, true},  {{17, 9, 9}, kPluginApiVersion, false},
      {{19, 0, 0}, kPluginApiVersion, false}, {{18, 2, 0}, {18, 2, 3}, false},
      {{18, 3, 0}, {18, 2, 3}, true},         {{18, 2, 3}, {18, 2, 3}, true},
      {{18, 1, 9}, {18, 2, 3}, false},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.host.ToString() + " vs " + row.plugin.ToString());
    EXPECT_EQ(IsCompatibleHost(row.host, row.plugin), row.accepted);
  }
}

TEST(PluginApiVersionTest, TextFollowsSemanticVersioningLayout) {
  EXPECT_EQ(kPluginApiVersion.ToString(), "18.0.0");
  EXPECT_EQ((PluginApiVersion{18, 0, 0, "rc1", "7"}.ToString()), "18.0.0-rc1+7");
  EXPECT_EQ((PluginApiVersion{1, 2, 3, "", "b"}.ToString()), "1.2.3+b");
}

TEST(PluginNamesTest, PrefixComesFromTheExactTypeText) {
  const struct {
    const char* type;
    const char* fullName;
  } kRows[] = {
      {"backend", "ucx-be-tav-premade-voice"},
      {"frontend", "ucx-fe-tav-premade-voice"},
      {"Backend", "ucx-xx-tav-premade-voice"},
      {"back", "ucx-xx-tav-premade-voice"},
      {"", "ucx-xx-tav-premade-voice"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.type);
    const PluginNames names = GetFullNameFromShortNameAndType("tav-premade-voice", {row.type, "x"});
    EXPECT_EQ(names.fullName, row.fullName);
    EXPECT_EQ(names.shortName, "tav-premade-voice");
    EXPECT_EQ(names.type, row.type);
    EXPECT_EQ(names.extra, "x");
  }
}

}  // namespace
}  // namespace Kelp
