#include "host/voice_demo.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/plugin_library.h"
#include "host/reference_host.h"
#include "host/standins/client_world.h"

namespace Kelp::Host {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(VoiceDemoTest, TranscriptFollowsTheSessionAndHoldsNoToken) {
  PluginLibrary library(KELP_PLUGIN_PATH);
  ASSERT_TRUE(library.ok()) << library.error();
  ReferenceHost host(library.entry());
  ClientWorld world(host);
  ASSERT_TRUE(host.Load().ok());
  ASSERT_TRUE(host.Init());

#ifdef _WIN32
  // No memory streams on Windows: the transcript goes through a temporary file.
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(RunVoiceDemo(world, out), 0u);
  std::string transcript;
  std::rewind(out);
  char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, out)) > 0;) transcript.append(chunk, n);
  std::fclose(out);
#else
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&buffer, &size);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(RunVoiceDemo(world, out), 0u);
  std::fclose(out);
  const std::string transcript(buffer, size);
  std::free(buffer);
#endif

  for (const char* moment : {
           "] == Ava forms a party with Bram and Cleo",
           "] plugin log      ALWAYS: Joined channel party-1",
           "] voice-chat      puuid-1 joined channel party-1",
           "publishes /tav-premade-voice/v1/participants: Ava vol 100; Bram vol 75; Cleo vol 75\n",
           "Cleo vol 75, muted",
           "Bram vol 40, speaking (62)",
       }) {
    EXPECT_THAT(transcript, HasSubstr(moment));
  }
  ASSERT_FALSE(world.lobby().tokens().empty());
  for (const std::string& token : world.lobby().tokens()) {
    EXPECT_THAT(transcript, Not(HasSubstr(token)));
  }
  host.Shutdown();
}

}  // namespace
}  // namespace Kelp::Host
