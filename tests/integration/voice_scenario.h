// Scenario tests of the loaded voice plugin in a ClientWorld: the reference
// host with every stand-in installed, the player signed in. Assertions read
// what the stand-ins received, what the plugin published and what it logged.
#ifndef KELP_TESTS_INTEGRATION_VOICE_SCENARIO_H_
#define KELP_TESTS_INTEGRATION_VOICE_SCENARIO_H_

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "host/plugin_library.h"
#include "host/reference_host.h"
#include "host/resource_events.h"
#include "host/standins/client_world.h"

namespace Kelp::Host::Scenario {

// Where the journals stood at one moment, to look at what came after.
struct Mark {
  std::size_t requests = 0;
  std::size_t published = 0;
  std::size_t logLines = 0;
};

class VoiceScenarioTest : public ::testing::Test {
 protected:
  void SetUp() override { Boot(); }
  void TearDown() override { End(); }

  // Loads the plugin into a new host and world over `dataDir`; signs in
  // unless told not to.
  void Boot(std::filesystem::path dataDir = {}, bool signIn = true) {
    ASSERT_TRUE(library_.ok()) << library_.error();
    End();
    host_ = std::make_unique<ReferenceHost>(library_.entry());
    world_ = std::make_unique<ClientWorld>(*host_, std::move(dataDir));
    ASSERT_TRUE(host_->Load().ok());
    ASSERT_TRUE(host_->Init());
    if (signIn) world_->SignIn();
  }

  ReferenceHost& host() { return *host_; }
  ClientWorld& world() { return *world_; }

  Mark Now() const {
    return {host_->sentRequests().size(), host_->published().size(), host_->logLines().size()};
  }

  // "METHOD path" of every request sent since `mark`.
  std::vector<std::string> RequestsSince(const Mark& mark) const;
  // The requests since `mark` whose method and path match.
  std::vector<OutboundRequest> SentSince(const Mark& mark, std::uint32_t method,
                                         std::string_view path) const;
  // The data of each publication of `path` since `mark`. Every publication
  // must go out on the path's channel and then once more on
  // "OnJsonApiEvent" with the same payload; a missing twin fails the test.
  std::vector<HostValue> PublishedSince(const Mark& mark, std::string_view path) const;
  std::vector<std::string> LogsSince(const Mark& mark) const;
  // True when a log line since `mark` contains `text`.
  bool LoggedSince(const Mark& mark, std::string_view text, int level = -1) const;

  // "<displayName>:<volume>:<muted|->" of each entry of a participant list.
  static std::vector<std::string> Roster(const HostValue& list);

  // A request of the user interface with named arguments.
  InvokeResult Call(std::uint32_t method, std::string path,
                    std::vector<HostArgument> arguments = {});

  static inline const std::string kParticipants = "/tav-premade-voice/v1/participants";
  static inline const std::string kRecords = "/tav-premade-voice/v1/participant-records";
  static inline const std::string kAvailability = "/tav-premade-voice/v1/availability";
  static inline const std::string kSession = "/tav-premade-voice/v1/session";
  static inline const std::string kChannel = "/voice-chat/v2/sessions/party-1";

 private:
  // Shuts the plugin down and checks what every scenario must hold: the
  // host saw no misuse, and no log line holds any part of a channel token
  // (a credential) that the lobby handed out.
  void End();

  PluginLibrary library_{KELP_PLUGIN_PATH};
  std::unique_ptr<ReferenceHost> host_;
  std::unique_ptr<ClientWorld> world_;
};

}  // namespace Kelp::Host::Scenario

#endif  // KELP_TESTS_INTEGRATION_VOICE_SCENARIO_H_
