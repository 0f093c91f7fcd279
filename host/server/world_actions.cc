#include "host/server/world_actions.h"

#include <cmath>
#include <optional>
#include <vector>

namespace Kelp::Host {
namespace {

// A whole number in [low, high] named `key`, or an error.
std::optional<std::int64_t> Integer(const HostValue& arguments, const char* key, std::int64_t low,
                                    std::int64_t high, std::string& error) {
  const HostValue* value = arguments.Find(key);
  std::optional<std::int64_t> number;
  if (value != nullptr) {
    switch (value->kind()) {
      case HostValue::Kind::Signed:
        number = value->AsSigned();
        break;
      case HostValue::Kind::Unsigned:
        if (value->AsUnsigned() <= static_cast<std::uint64_t>(high)) {
          number = static_cast<std::int64_t>(value->AsUnsigned());
        }
        break;
      case HostValue::Kind::Double:
        if (std::floor(value->AsDouble()) == value->AsDouble() && value->AsDouble() >= low &&
            value->AsDouble() <= high) {
          number = static_cast<std::int64_t>(value->AsDouble());
        }
        break;
      default:
        break;
    }
  }
  if (!number || *number < low || *number > high) {
    error = std::string("'") + key + "' must be a whole number from " + std::to_string(low) +
            " to " + std::to_string(high);
    return std::nullopt;
  }
  return number;
}

std::optional<bool> Flag(const HostValue& arguments, const char* key, std::string& error) {
  const HostValue* value = arguments.Find(key);
  if (value == nullptr || value->kind() != HostValue::Kind::Bool) {
    error = std::string("'") + key + "' must be true or false";
    return std::nullopt;
  }
  return value->AsBool();
}

std::optional<std::string> Text(const HostValue& arguments, const char* key, std::string& error) {
  const HostValue* value = arguments.Find(key);
  if (value == nullptr || value->kind() != HostValue::Kind::String) {
    error = std::string("'") + key + "' must be a text";
    return std::nullopt;
  }
  return value->AsString();
}

// The other players are 1 to 9; the local player is 0.
std::optional<int> OtherPlayer(const HostValue& arguments, std::string& error) {
  const auto player = Integer(arguments, "player", 1, ClientWorld::kMaxPlayers - 1, error);
  if (!player) return std::nullopt;
  return static_cast<int>(*player);
}

std::string SignIn(ClientWorld& world, const HostValue&) {
  world.SignIn();
  return "";
}

std::string FormParty(ClientWorld& world, const HostValue& arguments) {
  std::string error;
  const auto size = Integer(arguments, "size", 1, ClientWorld::kMaxPlayers, error);
  if (size) world.FormParty(static_cast<int>(*size));
  return error;
}

template <void (ClientWorld::*Act)(int)>
std::string PlayerAction(ClientWorld& world, const HostValue& arguments) {
  std::string error;
  if (const auto player = OtherPlayer(arguments, error)) (world.*Act)(*player);
  return error;
}

std::string Speak(ClientWorld& world, const HostValue& arguments) {
  std::string error;
  const auto player = OtherPlayer(arguments, error);
  if (!player) return error;
  const auto energy = Integer(arguments, "energy", 0, 100, error);
  if (energy) world.Speak(*player, static_cast<std::uint32_t>(*energy));
  return error;
}

template <void (ClientWorld::*On)(), void (ClientWorld::*Off)()>
std::string Switch(ClientWorld& world, const HostValue& arguments) {
  std::string error;
  const auto connected = Flag(arguments, "connected", error);
  if (connected) (world.*(*connected ? On : Off))();
  return error;
}

std::string MicEnergy(ClientWorld& world, const HostValue& arguments) {
  std::string error;
  const auto energy = Integer(arguments, "energy", 0, 100, error);
  if (!energy) return error;
  if (!world.HearMicrophone(static_cast<std::uint32_t>(*energy))) {
    return "the microphone is heard only while loopback is on: start the mic test first";
  }
  return "";
}

std::string BindGameKey(ClientWorld& world, const HostValue& arguments) {
  std::string error;
  const auto key = Text(arguments, "key", error);
  if (key) world.BindGameKey(*key);
  return error;
}

std::string StartGame(ClientWorld& world, const HostValue&) {
  world.StartGame();
  return "";
}

std::string EndGame(ClientWorld& world, const HostValue&) {
  world.EndGame();
  return "";
}

std::string VoiceFlag(ClientWorld& world, const HostValue& arguments) {
  std::string error;
  const auto enabled = Flag(arguments, "enabled", error);
  if (enabled) world.SetVoiceFlag(*enabled);
  return error;
}

std::string Entitlement(ClientWorld& world, const HostValue& arguments) {
  std::string error;
  const auto granted = Flag(arguments, "granted", error);
  if (granted) world.SetVoiceEntitlement(*granted);
  return error;
}

std::string StandInNames(ClientWorld& world) {
  std::string names;
  for (StandIn* standIn : world.standIns()) names += (names.empty() ? "" : ", ") + standIn->name();
  return names;
}

std::string Fail(ClientWorld& world, const HostValue& arguments) {
  std::string error;
  const auto name = Text(arguments, "standIn", error);
  if (!name) return error;
  const auto status = Integer(arguments, "status", 400, 599, error);
  if (!status) return error;
  const HostValue* text = arguments.Find("text");
  const std::string message = text != nullptr && text->kind() == HostValue::Kind::String
                                  ? text->AsString()
                                  : "failed by request";
  if (!world.Fail(*name, static_cast<std::uint32_t>(*status), message)) {
    return "no stand-in named '" + *name + "'; there are " + StandInNames(world);
  }
  return "";
}

std::string Heal(ClientWorld& world, const HostValue& arguments) {
  std::string error;
  const auto name = Text(arguments, "standIn", error);
  if (!name) return error;
  if (!world.Heal(*name)) {
    return "no stand-in named '" + *name + "'; there are " + StandInNames(world);
  }
  return "";
}

std::string AdvanceClock(ClientWorld& world, const HostValue& arguments) {
  const HostValue* value = arguments.Find("seconds");
  double seconds = -1;
  if (value != nullptr) {
    if (value->kind() == HostValue::Kind::Double) seconds = value->AsDouble();
    if (value->kind() == HostValue::Kind::Signed) seconds = static_cast<double>(value->AsSigned());
    if (value->kind() == HostValue::Kind::Unsigned) {
      seconds = static_cast<double>(value->AsUnsigned());
    }
  }
  if (!(seconds >= 0 && seconds <= 3600)) return "'seconds' must be a number from 0 to 3600";
  world.host().AdvanceClock(seconds);
  world.Settle();
  return "";
}

constexpr WorldAction kActions[] = {
    {"sign-in", "", "the player signs in; configuration, settings and voice server come up",
     &SignIn},
    {"form-party", "{size}", "players 0 to size-1 form the party", &FormParty},
    {"add-member", "{player}", "player 1-9 joins the party",
     &PlayerAction<&ClientWorld::AddToParty>},
    {"remove-member", "{player}", "player 1-9 leaves the party",
     &PlayerAction<&ClientWorld::RemoveFromParty>},
    {"join-voice", "{player}", "player 1-9 enters the voice channel",
     &PlayerAction<&ClientWorld::JoinVoice>},
    {"leave-voice", "{player}", "player 1-9 leaves the voice channel",
     &PlayerAction<&ClientWorld::LeaveVoice>},
    {"speak", "{player, energy}", "player 1-9 speaks with energy 0-100 (0 is silence)", &Speak},
    {"mic-energy", "{energy}", "the microphone hears energy 0-100 (during the mic test)",
     &MicEnergy},
    {"bind-game-key", "{key}", "the player binds push-to-talk to a key in the game client",
     &BindGameKey},
    {"voice-server", "{connected}", "the voice server connects or drops",
     &Switch<&ClientWorld::ConnectVoiceServer, &ClientWorld::DropVoiceServer>},
    {"login", "{connected}", "the platform connection is lost or back",
     &Switch<&ClientWorld::RestoreLogin, &ClientWorld::LoseLogin>},
    {"start-game", "", "champion select, then the game starts", &StartGame},
    {"end-game", "", "the game ends and the player is back in the lobby", &EndGame},
    {"voice-flag", "{enabled}", "the configuration flag that switches voice on or off", &VoiceFlag},
    {"entitlement", "{granted}", "the player's voice entitlement", &Entitlement},
    {"fail", "{standIn, status, text}", "every request to that stand-in fails", &Fail},
    {"heal", "{standIn}", "the stand-in answers again", &Heal},
    {"advance-clock", "{seconds}", "moves the virtual clock and runs what comes due",
     &AdvanceClock},
};

}  // namespace

std::span<const WorldAction> WorldActions() { return kActions; }

const WorldAction* FindWorldAction(std::string_view name) {
  for (const WorldAction& action : kActions) {
    if (name == action.name) return &action;
  }
  return nullptr;
}

HostValue WorldState(ClientWorld& world) {
  const std::string partyId = world.lobby().partyId();
  HostArray party;
  for (const PartyPlayer& player : world.lobby().players()) {
    HostValue member = MakeObject({{"puuid", player.puuid},
                                   {"displayName", player.displayName},
                                   {"role", player.role},
                                   {"inVoice", false},
                                   {"speaking", false},
                                   {"energy", 0u}});
    if (const VoiceParticipant* participant =
            world.voiceChat().Participant(partyId, player.puuid)) {
      member.Set("inVoice", true);
      member.Set("speaking", participant->isSpeaking);
      member.Set("energy", participant->energy);
      member.Set("volume", participant->volume);
      member.Set("muted", participant->isMuted);
    }
    party.push_back(std::move(member));
  }
  HostArray failing;
  HostArray standIns;
  for (StandIn* standIn : world.standIns()) {
    standIns.emplace_back(standIn->name());
    if (standIn->failing()) failing.emplace_back(standIn->name());
  }
  const auto flag = world.platformConfig().voiceEnabled();
  HostArray players;
  for (int i = 0; i < ClientWorld::kMaxPlayers; ++i) {
    players.push_back(MakeObject({{"player", i},
                                  {"puuid", ClientWorld::Puuid(i)},
                                  {"displayName", ClientWorld::DisplayName(i)}}));
  }
  return MakeObject({{"time", world.host().NowSeconds()},
                     {"partyId", partyId},
                     {"party", HostValue(std::move(party))},
                     {"channelJoined", world.voiceChat().Joined(partyId)},
                     {"voiceServerConnected", world.voiceChat().connected()},
                     {"gamePhase", world.gameFlow().phase()},
                     {"voiceFlag", flag ? HostValue(*flag) : HostValue()},
                     {"entitlements",
                      [&] {
                        HostArray list;
                        for (const std::string& e : world.entitlements().entitlements()) {
                          list.emplace_back(e);
                        }
                        return HostValue(std::move(list));
                      }()},
                     {"standIns", HostValue(std::move(standIns))},
                     {"failing", HostValue(std::move(failing))},
                     {"players", HostValue(std::move(players))}});
}

void AddWorldRoutes(WebApi& api, ClientWorld& world) {
  api.AddControlRoute("GET", "/host/world", "the stand-ins' world: party, channel, game, flags",
                      [&world](const HostValue&) { return JsonAnswer(WorldState(world)); });
  for (const WorldAction& action : WorldActions()) {
    api.AddControlRoute(
        "POST", std::string("/host/world/") + action.name,
        std::string(action.description) + (*action.arguments ? " " : "") + action.arguments,
        [&world, &action](const HostValue& body) {
          const HostValue arguments = body.IsNull() ? HostValue(HostObject{}) : body;
          const std::string error = action.run(world, arguments);
          if (!error.empty()) return ErrorAnswer(400, std::string(action.name) + ": " + error);
          return JsonAnswer(WorldState(world));
        });
  }
}

void WorldNoteForwarder::Forward() {
  const auto& notes = world_.journal().notes();
  // Notes dropped before they were forwarded are gone.
  if (forwarded_ < notes.first()) forwarded_ = notes.first();
  for (; forwarded_ < notes.size(); ++forwarded_) {
    const WorldNote& note = notes[forwarded_];
    feed_.Post(MakeObject({{"kind", "standin"},
                           {"time", note.seconds},
                           {"who", note.who},
                           {"text", note.text},
                           {"warning", note.warning}}));
  }
}

}  // namespace Kelp::Host
