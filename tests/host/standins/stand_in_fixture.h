// Stand-ins under test on a reference host that carries a fake plugin: the
// plugin listens to the channels a test names, and requests go to the
// stand-ins through the host's router, the way the host answers a plugin.
#ifndef KELP_TESTS_HOST_STANDINS_STAND_IN_FIXTURE_H_
#define KELP_TESTS_HOST_STANDINS_STAND_IN_FIXTURE_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "host/reference_host.h"
#include "host/resource_events.h"
#include "tests/host/fake_plugin.h"

namespace Kelp::Host::Testing {

class StandInTest : public ::testing::Test {
 protected:
  // Loads the fake plugin, listening to the channels of `paths`.
  void Start(std::vector<std::string> paths) {
    plugin_.onInit = [this, paths] {
      for (const std::string& path : paths) {
        channels_.push_back(EventChannelOf(path));
        plugin_.Subscribe(channels_.back().c_str(), path);
      }
    };
    ASSERT_TRUE(host_.Load().ok());
    ASSERT_TRUE(host_.Init());
  }

  HostAnswer Ask(std::uint32_t method, std::string path,
                 std::optional<HostValue> body = std::nullopt) {
    OutboundRequest request;
    request.method = method;
    request.path = std::move(path);
    if (body) request.arguments.push_back({std::nullopt, *body});
    const RequestHandler* handler = host_.router().Find(method, request.path);
    if (handler == nullptr) return HostAnswer::Failure(404, "no handler");
    return (*handler)(request);
  }

  // Payloads ("data" of the resource event, and its type) the plugin got
  // for `path`, in order.
  std::vector<HostValue> EventsOf(std::string_view path) const {
    std::vector<HostValue> data;
    for (const auto& received : plugin_.received) {
      const HostValue* uri = received.payload.Find("uri");
      if (uri == nullptr || uri->AsString() != path) continue;
      data.push_back(*received.payload.Find("data"));
    }
    return data;
  }

  FakePlugin plugin_;
  ReferenceHost host_{&FakePlugin::Load};
  std::deque<std::string> channels_;
};

}  // namespace Kelp::Host::Testing

#endif  // KELP_TESTS_HOST_STANDINS_STAND_IN_FIXTURE_H_
