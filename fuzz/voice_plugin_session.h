// The voice plugin, linked in, loaded and started by the reference host the
// way the client's host does it (through abi.h and load_tav_premade_voice),
// with the stand-ins of the other plugins answering its requests.
#ifndef KELP_FUZZ_VOICE_PLUGIN_SESSION_H_
#define KELP_FUZZ_VOICE_PLUGIN_SESSION_H_

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "host/reference_host.h"
#include "host/standins/client_world.h"
#include "sdk/plugin/abi.h"

extern "C" void KELP_CDECL load_tav_premade_voice(PluginLoadRecord* record);

namespace Kelp::Fuzz {

// The texts worth trying in requests and payloads: the plugin's paths, the
// resources it follows, the fields and enum spellings of its records.
inline constexpr std::string_view kVoicePluginWords[] = {
    "/tav-premade-voice/v1/availability", "/tav-premade-voice/v1/participants",
    "/tav-premade-voice/v1/participant-records", "/tav-premade-voice/v1/settings",
    "/tav-premade-voice/v1/capturedevices", "/tav-premade-voice/v1/session",
    "/tav-premade-voice/v1/mic-test", "/tav-premade-voice/v1/first-experience",
    "/tav-login/v1/session", "/tav-settings/v2/ready",
    "/tav-settings/v2/account/ZEBPreferences/tav-premade-voice",
    "/tav-settings/v2/local/tav-premade-voice", "/tav-gameflow/v1/session",
    "/tav-game-settings/v1/input-settings", "/entitlements/v1/token",
    "/voice-chat/v1/audio-properties", "/voice-chat/v2/settings", "/voice-chat/v2/state",
    "/voice-chat/v2/devices/capture", "/voice-chat/v2/sessions", "/voice-chat/v2/sessions/party-1",
    "/tav-lobby/v2/comms/members", "/tav-lobby/v2/comms/token",
    "/tav-platform-config/v1/initial-configuration-complete",
    "/tav-summoner/v1/current-summoner", "uri", "eventType", "data", "Create", "Update",
    "Delete", "puuid-0", "puuid-1", "puuid-2", "party-1", "GameEvents", "autoJoin", "connected",
    "connectedToVoiceServer", "currentCaptureDeviceHandle", "disabledAfterLogin", "displayName",
    "enabled", "entitlements", "evtPushToTalk", "gameClient", "handle", "id", "inputMode",
    "isLoopbackEnabled", "isMuted", "isSpeaking", "isTransmitEnabled", "is_current_device",
    "is_default", "localMicMuted", "loopbackEnabled", "muteOnConnect", "name", "participantId",
    "participants", "partyId", "phase", "players", "pttActive", "pttEnabled", "pttKey",
    "pttKeyBinding", "pushToTalkKey", "puuid", "role", "running", "showDisconnectedState",
    "showFirstExperienceInGame", "showFirstExperienceInZEB", "showUI", "status", "usable",
    "vadActive", "voiceChannelAvailable", "muted", "volume", "micLevel", "sensitivity",
    "newKey", "energy", "summonerId", "accountId", "LEADER", "MEMBER", "voiceActivity",
    "pushToTalk", "active", "onHold", "None", "Lobby", "InProgress", "0", "1", "-1", "true",
    "", "{}", "[]"};

class VoicePluginSession {
 public:
  // `stage` picks how far the world has come before the inputs play: 0 the
  // player is not signed in, 1 signed in, 2 in a party of three, 3 two of
  // them in voice.
  explicit VoicePluginSession(int stage) : host_(&load_tav_premade_voice), world_(host_) {
    Check(host_.Load().ok() && host_.Init());
    if (stage >= 1) world_.SignIn();
    if (stage >= 2) world_.FormParty(3);
    if (stage >= 3) {
      world_.JoinVoice(1);
      world_.JoinVoice(2);
    }
    world_.Settle();
  }

  // Shuts the plugin down; then it must still be clean.
  ~VoicePluginSession() {
    host_.Shutdown();
    CheckClean();
  }

  // What must hold after every input: the host saw no misuse, and no log
  // line holds a piece of a channel token (a credential).
  void CheckClean() {
    Check(host_.problems().empty());
    const auto& lines = host_.logLines();
    for (const std::string& token : world_.lobby().tokens()) {
      // Header, claims and signature, each on its own; pieces too short to
      // tell apart from other text are left out.
      std::string_view rest = token;
      while (!rest.empty()) {
        const std::string_view part = rest.substr(0, rest.find('.'));
        rest.remove_prefix(std::min(rest.size(), part.size() + 1));
        if (part.size() < 8) continue;
        for (std::size_t i = checkedLines_; i < lines.size(); ++i) {
          Check(lines[i].text.find(part) == std::string::npos);
        }
      }
    }
    checkedLines_ = lines.size();
  }

  Host::ReferenceHost& host() { return host_; }
  Host::ClientWorld& world() { return world_; }

  static void Check(bool condition) {
    if (!condition) std::abort();
  }

 private:
  Host::ReferenceHost host_;
  Host::ClientWorld world_;
  std::size_t checkedLines_ = 0;
};

// One session per stage, reused across inputs: starting one costs tens of
// milliseconds (most of it the sign-in), far more than an input. A session
// is replaced after kInputsPerSession inputs so that its journals stay
// small. An input run alone (a crash file) gets a fresh session.
class VoicePluginSessions {
 public:
  static constexpr int kStages = 4;
  static constexpr int kInputsPerSession = 100;

  VoicePluginSession& At(int stage) {
    if (sessions_[stage] == nullptr || ++uses_[stage] > kInputsPerSession) {
      sessions_[stage].reset();
      sessions_[stage] = std::make_unique<VoicePluginSession>(stage);
      uses_[stage] = 1;
    }
    return *sessions_[stage];
  }

 private:
  std::unique_ptr<VoicePluginSession> sessions_[kStages];
  int uses_[kStages] = {};
};

}  // namespace Kelp::Fuzz

#endif  // KELP_FUZZ_VOICE_PLUGIN_SESSION_H_
