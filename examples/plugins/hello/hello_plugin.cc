#include "hello_plugin.h"

#include <string>
#include <utility>

#include "sdk/binding/type_builder.h"
#include "sdk/plugin/event_channel.h"
#include "sdk/plugin/event_publisher.h"
#include "sdk/plugin/plugin_manager_types.h"
#include "sdk/rest/endpoint_registration.h"
#include "sdk/rest/typed_request.h"
#include "sdk/runtime/logger.h"

namespace Hello {

using Kelp::HttpMethod;
using Kelp::kLogDbg;
using Kelp::Log;
using Kelp::LogLevel;

namespace {

// A salutation is one short line of printable text.
bool IsPrintableLine(const std::string& text) {
  for (const unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

}  // namespace

void HelloPlugin::RegisterEndpoints() {
  Kelp::TypeRegistry& types = registry();
  const std::string tag = documentationTags().back();  // "Plugin hello"

  // Types first: the routes and events below refer to them.
  Kelp::TypeBuilder<Greeting>(types, "HelloGreeting")
      .Description("The greeting this plugin serves.")
      .Tag(tag)
      .Field("text", &Greeting::text, "The whole greeting")
      .Field("salutation", &Greeting::salutation, "The word before the name")
      .Field("name", &Greeting::name, "The player's display name")
      .Field("heartbeats", &Greeting::heartbeats, "Heartbeats since the start");
  Kelp::TypeBuilder<GreetingChange>(types, "HelloGreetingChange")
      .Description("A new salutation.")
      .Tag(tag)
      .Field("salutation", &GreetingChange::salutation, "1 to 64 bytes of printable text");
  Kelp::TypeBuilder<PlayerProfile>(types, "HelloPlayerProfile")
      .Description("The profile plugin's current player, as far as we read it.")
      .Tag(tag)
      .Field("displayName", &PlayerProfile::displayName);

  Kelp::RegisterEndpoint(*this, HttpMethod::Get, kGreetingPath, "Returns the greeting.", {},
                         [this] { return Current(); });
  Kelp::RegisterEndpoint(*this, HttpMethod::Put, kGreetingPath, "Changes the salutation.",
                         {Kelp::BodyParameter("change", "The new salutation")},
                         [this](const GreetingChange& change) { return ChangeGreeting(change); });

  // The resource we publish, declared for the API description.
  Kelp::RegisterEvent<Kelp::PluginResourceEvent>(types, Kelp::EventChannelName(kGreetingPath),
                                                 "Fired when the greeting changes.", {tag});
}

bool HelloPlugin::Start() {
  // The host table is connected now: requests, subscriptions and timers work.
  const Kelp::TypedRemotingResult<PlayerProfile> profile =
      Kelp::SendTypedRequest<PlayerProfile>(*this, HttpMethod::Get, kProfilePath);
  if (profile.ok()) {
    SetName(profile.value.displayName);
  } else {
    // Not fatal: the profile's events will tell us the name later.
    Log(LogLevel::Warn, kLogDbg, "%s: no player profile yet (status %u): %s", kShortName,
        static_cast<unsigned>(profile.statusCode), profile.message.c_str());
  }

  AddResourceHandler<PlayerProfile>(
      kProfilePath, [this](const Kelp::ResourceEvent<PlayerProfile>& event) { OnProfile(event); });

  SetTimer("heartbeat", kHeartbeatSeconds, [this] { ++heartbeats_; });

  Log(LogLevel::Always, kLogDbg, "%s: started, greeting '%s'", kShortName,
      Current().text.c_str());
  return true;
}

Greeting HelloPlugin::Current() const {
  return {salutation_ + ", " + name_ + "!", salutation_, name_, heartbeats_};
}

Kelp::Reply<Greeting> HelloPlugin::ChangeGreeting(const GreetingChange& change) {
  if (change.salutation.empty() || change.salutation.size() > kMaxSalutationBytes ||
      !IsPrintableLine(change.salutation)) {
    return Kelp::Reply<Greeting>::Failure(400, "salutation must be 1 to 64 bytes of printable text");
  }
  salutation_ = change.salutation;
  // Text that came from outside is an argument of the format, never the format.
  Log(LogLevel::Always, kLogDbg, "%s: salutation is now '%s'", kShortName, salutation_.c_str());
  PublishGreeting();
  return Current();
}

void HelloPlugin::OnProfile(const Kelp::ResourceEvent<PlayerProfile>& event) {
  if (event.eventType == Kelp::PluginResourceEventType::Delete) {
    SetName("friend");
  } else {
    SetName(event.value.displayName);
  }
}

void HelloPlugin::SetName(std::string name) {
  if (name.empty() || name == name_) return;
  name_ = std::move(name);
  PublishGreeting();
}

void HelloPlugin::PublishGreeting() {
  const Kelp::RemotingResult sent = Kelp::PublishResourceEvent(*this, kGreetingPath, Current());
  if (!sent.ok()) {
    Log(LogLevel::Error, kLogDbg, "%s: could not publish %s: %s", kShortName, kGreetingPath,
        sent.message.c_str());
  }
}

}  // namespace Hello
