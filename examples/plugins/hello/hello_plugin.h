// Hello: a small backend plugin on the Kelp SDK.
//
// It serves one resource, "/hello/v1/greeting": GET reads it, PUT changes its
// salutation. Every change is published as an Update event of that path. It
// follows the player's display name from the profile plugin (one request at
// start, then that resource's events), and a heartbeat timer counts how long
// it has been running.
#ifndef HELLO_HELLO_PLUGIN_H_
#define HELLO_HELLO_PLUGIN_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "sdk/plugin/plugin_base.h"
#include "sdk/plugin/resource_events.h"
#include "sdk/rest/reply.h"

namespace Hello {

inline constexpr const char* kShortName = "hello";
inline constexpr const char* kGreetingPath = "/hello/v1/greeting";
// Another plugin's resource that we follow.
inline constexpr const char* kProfilePath = "/player-profile/v1/current";
inline constexpr double kHeartbeatSeconds = 5.0;
inline constexpr std::size_t kMaxSalutationBytes = 64;

// What GET answers and what every publication carries.
struct Greeting {
  std::string text;  // "<salutation>, <name>!"
  std::string salutation;
  std::string name;
  std::uint32_t heartbeats = 0;
};

// The body of PUT /hello/v1/greeting.
struct GreetingChange {
  std::string salutation;
};

// The part of the profile plugin's resource that we read.
struct PlayerProfile {
  std::string displayName;
};

class HelloPlugin : public Kelp::PluginBase {
 public:
  void RegisterEndpoints() override;
  bool Start() override;

 private:
  Greeting Current() const;
  Kelp::Reply<Greeting> ChangeGreeting(const GreetingChange& change);
  void OnProfile(const Kelp::ResourceEvent<PlayerProfile>& event);
  void SetName(std::string name);
  void PublishGreeting();

  std::string salutation_ = "Hello";
  std::string name_ = "friend";
  std::uint32_t heartbeats_ = 0;
};

}  // namespace Hello

#endif  // HELLO_HELLO_PLUGIN_H_
