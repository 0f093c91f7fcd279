// Scenario tests of the voice settings and controls: the voice scenario
// world with its settings kept in a data directory of the test's own, a
// restart that keeps them (or not), and requests that do not run the host
// loop, so that several can happen before any change event comes back.
#ifndef KELP_TESTS_INTEGRATION_VOICE_SETTINGS_WORLD_H_
#define KELP_TESTS_INTEGRATION_VOICE_SETTINGS_WORLD_H_

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "tests/integration/voice_scenario.h"

namespace Kelp::Host::Testing {

inline const std::string kAccount(SettingsStandIn::kAccountPath);
inline const std::string kLocal(SettingsStandIn::kLocalPath);

class VoiceSettingsWorld : public Scenario::VoiceScenarioTest {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("voice-world-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    Boot(dir_, false);
  }

  void TearDown() override {
    VoiceScenarioTest::TearDown();
    std::filesystem::remove_all(dir_);
  }

  // A fresh host and world, not signed in, over the same data directory or
  // over an empty one.
  void Restart(bool keepStorage = true) {
    host().Shutdown();
    EXPECT_TRUE(host().problems().empty()) << host().problems().front();
    if (!keepStorage) std::filesystem::remove_all(dir_);
    Boot(dir_, false);
  }

  // A request with a JSON body; the host loop does not run.
  InvokeResult Call(std::uint32_t method, std::string path, std::optional<std::string> body = {}) {
    InboundRequest request;
    request.method = method;
    request.path = std::move(path);
    request.body = std::move(body);
    return host().Invoke(request);
  }

  // Bodies of the requests sent to `path` with `method`, in order.
  std::vector<HostValue> Bodies(std::uint32_t method, std::string_view path) const {
    std::vector<HostValue> bodies;
    for (const OutboundRequest& request : SentSince(Scenario::Mark{}, method, path)) {
      const HostValue* body = request.FirstArgument();
      bodies.push_back(body != nullptr ? *body : HostValue());
    }
    return bodies;
  }

  std::vector<HostValue> Published(std::string_view path) const {
    return PublishedSince(Scenario::Mark{}, path);
  }

  std::size_t LogCount(std::string_view text) const {
    std::size_t count = 0;
    for (const std::string& line : LogsSince(Scenario::Mark{})) {
      count += line.find(text) != std::string::npos;
    }
    return count;
  }

  // A member of the stored category's "data", as JSON text ("" if absent).
  std::string Stored(const std::string& category, std::string_view key) {
    const HostValue record = world().settings().Record(category);
    const HostValue* data = record.Find("data");
    const HostValue* value = data != nullptr ? data->Find(key) : nullptr;
    return value != nullptr ? value->ToJson() : "";
  }

 private:
  std::filesystem::path dir_;
};

}  // namespace Kelp::Host::Testing

#endif  // KELP_TESTS_INTEGRATION_VOICE_SETTINGS_WORLD_H_
