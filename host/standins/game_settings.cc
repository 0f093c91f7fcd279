#include "host/standins/game_settings.h"

#include <utility>

#include "host/standins/json_file.h"

namespace Kelp::Host {

GameSettingsStandIn::GameSettingsStandIn(ReferenceHost& host, WorldJournal& journal)
    : StandIn(host, journal, "game-settings"),
      inputSettings_(MakeObject({{"GameEvents", HostObject{}}})) {
  Serve(HTTP_METHOD_GET, std::string(kInputSettingsPath),
        [this](const OutboundRequest&) { return HostAnswer::Success(inputSettings_); });
  Serve(HTTP_METHOD_PATCH, std::string(kInputSettingsPath), [this](const OutboundRequest& request) {
    const HostValue* body = request.FirstArgument();
    if (body == nullptr || body->kind() != HostValue::Kind::Object) {
      return HostAnswer::Failure(400, "input settings need an object");
    }
    MergeObject(inputSettings_, *body);
    Note("input settings patched with " + WriteJsonText(*body));
    QueueEvent(std::string(kInputSettingsPath), inputSettings_);
    return HostAnswer::Success(inputSettings_);
  });
}

void GameSettingsStandIn::SetPushToTalkKey(std::string key) {
  Note("push-to-talk bound to " + key + " in the game client");
  MergeObject(inputSettings_,
              MakeObject({{"GameEvents", MakeObject({{"evtPushToTalk", std::move(key)}})}}));
  QueueEvent(std::string(kInputSettingsPath), inputSettings_);
}

void GameSettingsStandIn::Announce() {
  Note("input settings " + WriteJsonText(inputSettings_));
  QueueEvent(std::string(kInputSettingsPath), inputSettings_, "Create");
}

std::string GameSettingsStandIn::pushToTalkKey() const {
  const HostValue* events = inputSettings_.Find("GameEvents");
  return StringOr(events == nullptr ? nullptr : events->Find("evtPushToTalk"), "");
}

}  // namespace Kelp::Host
