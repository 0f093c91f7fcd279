// The two telemetry events sent about each game: one when it starts, one
// when it is over, each with a snapshot of the party's voice use.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

#include "premade_voice/premade_voice_plugin.h"
#include "sdk/rest/http_method.h"
#include "sdk/rest/outbound_request.h"
#include "sdk/runtime/telemetry_sender.h"

namespace Kelp::Client {
namespace {

constexpr std::string_view kLoginDataPacketPath = "/tav-login/v1/login-data-packet";

// The login data packet's "platformId" as text: a string as it stands, a
// number in decimal, a boolean as "true" or "false"; "" for anything else.
std::string RegionText(const BindingProperty& packet) {
  if (packet.kind() != BindingPropertyKind::Structure) return {};
  const BindingProperty* id = packet.Find("platformId");
  if (id == nullptr) return {};
  switch (id->kind()) {
    case BindingPropertyKind::String:
      return std::string(id->GetString());
    case BindingPropertyKind::Signed:
      return std::to_string(id->GetSigned());
    case BindingPropertyKind::Unsigned:
      return std::to_string(id->GetUnsigned());
    case BindingPropertyKind::Bool:
      return id->GetBool() ? "true" : "false";
    case BindingPropertyKind::Float: {
      const double value = id->GetFloat();
      if (!std::isfinite(value)) return {};
      char text[32];
      const auto written = std::to_chars(text, text + sizeof(text), value);
      return std::string(text, written.ptr);
    }
    default:
      return {};
  }
}

}  // namespace

void PremadeVoicePlugin::SendVoiceTelemetry(std::string_view eventName) {
  // Only a player in a voice channel with someone in it is reported.
  if (!currentSummoner_.hasValue() || participantList_.empty()) return;
  TelemetrySender* sender = telemetrySender();
  if (sender == nullptr) return;
  TextMap properties;
  properties["event"] = std::string(eventName);
  properties["account_id"] = std::to_string(currentSummoner_.value().accountId);
  properties["voice_channel_id"] = joinedChannelId_;
  properties["premade_size"] = std::to_string(currentParty_.players.size());
  properties["num_in_voice"] = std::to_string(participantList_.size());
  properties["push_to_talk"] = currentSettings_.pttActive ? "true" : "false";
  BindingProperty packet;
  const RemotingResult read =
      SendConvertedRequest(*this, HttpMethod::Get, kLoginDataPacketPath, nullptr, nullptr, &packet);
  properties["region"] = read.ok() ? RegionText(packet) : std::string();
  const auto muted =
      std::count_if(participantList_.begin(), participantList_.end(),
                    [](const Api::PremadeVoiceParticipantDto& entry) { return entry.isMuted; });
  properties["num_players_muted"] = std::to_string(muted);
  // What the telemetry plugin answers is not ours to act on.
  (void)sender->SendEvent(eventName, properties);
}

}  // namespace Kelp::Client
