// The records and enumerations of the premade voice service: what it reads
// from other plugins' resources and what it serves under
// "/tav-premade-voice/v1/". All are plain value types with member-wise
// equality; optional fields are absent until a value arrives, so an empty
// text stays distinguishable from a missing one.
#ifndef KELP_PREMADE_VOICE_VOICE_RECORDS_H_
#define KELP_PREMADE_VOICE_VOICE_RECORDS_H_

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Kelp {
class TypeRegistry;
}

namespace Kelp::Client::Api {

enum class PartyMemberRoleEnum : std::int32_t {
  LEADER = 0,
  MEMBER = 1,
  INVITED = 2,
  HOLD = 3,
  KICKED = 4,
  DECLINED = 5,
};

// What the user interface needs to show or hide voice. The last two flags
// are derived from the others whenever the record is published.
struct VoiceAvailability {
  bool enabled = false;
  bool connectedToVoiceServer = false;
  bool voiceChannelAvailable = false;
  bool disabledAfterLogin = false;
  bool showUI = false;
  bool showDisconnectedState = false;
  friend bool operator==(const VoiceAvailability&, const VoiceAvailability&) = default;
};

// Whether the voice introductions in the client and in the game are still
// to be shown.
struct FirstExperience {
  bool showFirstExperienceInZEB = true;
  bool showFirstExperienceInGame = true;
  friend bool operator==(const FirstExperience&, const FirstExperience&) = default;
};

// A capture (microphone) device as the voice-chat plugin lists it.
struct DeviceResource {
  std::string handle;
  std::string name;
  bool usable = false;
  bool is_current_device = false;
  bool is_default = false;
  friend bool operator==(const DeviceResource&, const DeviceResource&) = default;
};

enum class InputMode : std::int32_t {
  voiceActivity = 0,
  pushToTalk = 1,
};

// The local player's voice settings, served by this plugin and accepted and
// returned whole by the voice-chat plugin. Constructed with the values the
// service starts from.
struct SettingsResource {
  std::string currentCaptureDeviceHandle;
  std::uint32_t vadHangoverTime = 2000;
  std::uint32_t vadSensitivity = 65;
  std::uint32_t micLevel = 50;
  bool localMicMuted = false;
  bool loopbackEnabled = false;
  bool autoJoin = true;
  bool muteOnConnect = false;
  bool vadActive = true;
  bool pttActive = false;
  InputMode inputMode = InputMode::voiceActivity;
  std::optional<std::string> pttKey;
  friend bool operator==(const SettingsResource&, const SettingsResource&) = default;
};

enum class SessionStatus : std::int32_t {
  active = 0,
  onHold = 1,
};

// One participant of a voice-chat session. `name` is the player's puuid.
struct ParticipantResource {
  std::string id;
  std::string name;
  std::uint32_t volume = 0;
  std::uint32_t energy = 0;
  bool isMuted = false;
  bool isSpeaking = false;
  friend bool operator==(const ParticipantResource&, const ParticipantResource&) = default;
};

// One entry of the service's participant list: a session participant joined
// with the party player of the same puuid.
struct PremadeVoiceParticipantDto {
  std::string participantId;
  std::uint64_t summonerId = 0;
  std::string puuid;
  std::string displayName;
  std::uint32_t volume = 0;
  std::uint32_t energy = 0;
  bool isMuted = false;
  bool isSpeaking = false;
  friend bool operator==(const PremadeVoiceParticipantDto&,
                         const PremadeVoiceParticipantDto&) = default;
};

// One voice-chat session (channel). An incoming session is converted into a
// fresh record, so a missing key keeps these start values.
struct SessionResource {
  std::string id;
  SessionStatus status = SessionStatus::active;
  std::vector<ParticipantResource> participants;
  std::uint32_t volume = 0;
  bool isMuted = false;
  bool isTransmitEnabled = true;
  friend bool operator==(const SessionResource&, const SessionResource&) = default;
};

struct StateResource {
  bool connected = false;
  friend bool operator==(const StateResource&, const StateResource&) = default;
};

// Loopback state and microphone energy during a mic test.
struct AudioPropertiesResource {
  bool isLoopbackEnabled = false;
  std::uint32_t micEnergy = 0;
  friend bool operator==(const AudioPropertiesResource&, const AudioPropertiesResource&) = default;
};

// The per-machine settings category.
// A member missing from what is stored keeps the default below.
struct LocalSettingsCategoryDataResource {
  std::string currentCaptureDeviceHandle;
  std::uint32_t inputVolume = 50;
  std::uint32_t vadSensitivity = 65;
  friend bool operator==(const LocalSettingsCategoryDataResource&,
                         const LocalSettingsCategoryDataResource&) = default;
};

struct LocalSettingsCategoryResource {
  std::optional<LocalSettingsCategoryDataResource> data;
  std::uint32_t schemaVersion = 0;
  friend bool operator==(const LocalSettingsCategoryResource&,
                         const LocalSettingsCategoryResource&) = default;
};

// The per-account settings category.
// A member missing from what is stored keeps the default below.
struct AccountSettingsCategoryDataResource {
  bool autoJoin = true;
  bool muteOnConnect = false;
  InputMode inputMode = InputMode::voiceActivity;
  std::string pushToTalkKey = "[<Unbound>]";
  bool showFirstExperienceInZEB = true;
  bool showFirstExperienceInGame = true;
  friend bool operator==(const AccountSettingsCategoryDataResource&,
                         const AccountSettingsCategoryDataResource&) = default;
};

struct AccountSettingsCategoryResource {
  std::optional<AccountSettingsCategoryDataResource> data;
  std::uint32_t schemaVersion = 0;
  friend bool operator==(const AccountSettingsCategoryResource&,
                         const AccountSettingsCategoryResource&) = default;
};

// A party player as the lobby reports it.
struct PlayerDto {
  std::string displayName;
  std::string puuid;
  std::string partyId;
  std::uint64_t summonerId = 0;
  PartyMemberRoleEnum role = PartyMemberRoleEnum::LEADER;
  friend bool operator==(const PlayerDto&, const PlayerDto&) = default;
};

// The party: its id and its players keyed by puuid.
struct PartyDto {
  std::string partyId;
  std::map<std::string, PlayerDto> players;
  friend bool operator==(const PartyDto&, const PartyDto&) = default;
};

struct GameEventHotkeys {
  std::optional<std::string> evtPushToTalk;
  friend bool operator==(const GameEventHotkeys&, const GameEventHotkeys&) = default;
};

// The game client's key bindings, of which only push-to-talk matters here.
struct GameInputSettings {
  GameEventHotkeys GameEvents;
  friend bool operator==(const GameInputSettings&, const GameInputSettings&) = default;
};

enum class GameflowPhase : std::int32_t {
  None = 0,
  Lobby = 1,
  Matchmaking = 2,
  CheckedIntoTournament = 3,
  ReadyCheck = 4,
  ChampSelect = 5,
  GameStart = 6,
  FailedToLaunch = 7,
  InProgress = 8,
  Reconnect = 9,
  WaitingForStats = 10,
  PreEndOfGame = 11,
  EndOfGame = 12,
  TerminatedInError = 13,
};

struct GameflowGameClient {
  bool running = false;
  friend bool operator==(const GameflowGameClient&, const GameflowGameClient&) = default;
};

struct GameflowSession {
  GameflowPhase phase = GameflowPhase::None;
  GameflowGameClient gameClient;
  friend bool operator==(const GameflowSession&, const GameflowSession&) = default;
};

struct LoginSession {
  bool connected = false;
  friend bool operator==(const LoginSession&, const LoginSession&) = default;
};

// The entitlement URNs of the signed-in account.
struct EntitlementsTokenResource {
  std::vector<std::string> entitlements;
  friend bool operator==(const EntitlementsTokenResource&,
                         const EntitlementsTokenResource&) = default;
};

// The push-to-talk state as the voice-chat plugin takes it.
struct PushToTalkResource {
  bool pttEnabled = false;
  std::optional<std::string> pttKeyBinding;
  friend bool operator==(const PushToTalkResource&, const PushToTalkResource&) = default;
};

struct Summoner {
  std::uint64_t accountId = 0;
  std::string puuid;
  friend bool operator==(const Summoner&, const Summoner&) = default;
};

// The namespace every voice record is registered under.
inline constexpr std::string_view kVoiceNameSpace = "Kelp::Client::Api";

// Registers every record and enumeration above, each under `stem` followed
// by its name (PartyDto as "<stem>PartyDto", the entitlements record as
// "<stem>EntitlementsToken"), in the namespace above, with `tags` and no
// description. Types are registered before the records that use them.
// Registering twice changes nothing.
void RegisterVoiceRecords(TypeRegistry& registry, std::string_view stem,
                          const std::vector<std::string>& tags);

}  // namespace Kelp::Client::Api

#endif  // KELP_PREMADE_VOICE_VOICE_RECORDS_H_
