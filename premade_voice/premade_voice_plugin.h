// The premade-party voice plugin: the plugin object the host loads.
//
// It follows the login, lobby, game flow, entitlements, dynamic
// configuration and voice-chat resources of other plugins, joins and leaves
// the party's voice channel, matches the channel's participants with the
// party's players and serves the result, with the user's controls, under
// "/tav-premade-voice/v1/". Each concern lives in a file of its own
// (enablement, channel membership, participants, settings, push-to-talk,
// first experience, mic test, telemetry, routes); this class holds the
// state they share and wires them together.
//
// Threading: none of its own. The host delivers events, requests and timers
// one at a time, and every outbound request is synchronous.
#ifndef KELP_PREMADE_VOICE_PREMADE_VOICE_PLUGIN_H_
#define KELP_PREMADE_VOICE_PREMADE_VOICE_PLUGIN_H_

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "premade_voice/stored_category.h"
#include "premade_voice/voice_records.h"
#include "premade_voice/watched_resource.h"
#include "sdk/binding/binding_property.h"
#include "sdk/plugin/plugin_base.h"
#include "sdk/plugin/resource_events.h"
#include "sdk/rest/remoting_result.h"
#include "sdk/rest/reply.h"

namespace Kelp::Client {

inline constexpr const char* kPremadeVoiceShortName = "tav-premade-voice";
// The push-to-talk key of an account or game client that has none bound.
inline constexpr const char* kUnboundKey = "[<Unbound>]";
// The timer that ends a mic test.
inline constexpr std::string_view kMicTestTimer = "PREMADE-VOICE.MIC.TEST";
inline constexpr double kMicTestSeconds = 10.0;
// The timer that tries again what another plugin refused, with the first
// and the longest wait between tries.
inline constexpr std::string_view kRetryTimer = "PREMADE-VOICE.RETRY";
inline constexpr double kFirstRetrySeconds = 1.0;
inline constexpr double kLongestRetrySeconds = 30.0;

class PremadeVoicePlugin : public PluginBase {
 public:
  using ParticipantList = std::vector<Api::PremadeVoiceParticipantDto>;

  PremadeVoicePlugin() = default;

  // ---- Plugin base ---------------------------------------------------------

  // Unbinds the three mirrors, then stops the base.
  void Shutdown() override;
  // Registers the voice types, the routes and the four declared events.
  void RegisterEndpoints() override;
  // Subscribes to the fifteen resources the service follows; returns true.
  bool Start() override;

  // ---- Enablement and lifecycle (voice_enablement.cc) ----------------------

  void OnLoginSession(const ResourceEvent<Api::LoginSession>& event);
  void OnGameflowSession(const ResourceEvent<Api::GameflowSession>& event);
  void OnEntitlementsToken(const ResourceEvent<Api::EntitlementsTokenResource>& event);
  void OnVoiceState(const ResourceEvent<Api::StateResource>& event);
  void OnInitialConfigurationComplete(const ResourceEvent<bool>& event);
  void OnVoiceEnabledConfig(const ResourceEvent<bool>& event);
  // `enabled` from the entitlement or the configuration flag, then publish.
  // Voice switched on again takes up the lobby's party as a lobby event
  // would.
  void ApplyVoiceEnabled();
  // Derives the two display flags and publishes availability.
  void UpdateAvailability();

  // ---- Channel membership (channel_membership.cc) --------------------------

  void OnLobbyMembers(const ResourceEvent<Api::PartyDto>& event);
  // What a lobby event does while voice is enabled: the party becomes the
  // current one, availability follows, channels are left and joined.
  void ApplyParty(const Api::PartyDto& party);
  // Takes a channel token from the lobby and joins the voice-chat session
  // `channelId`. Fails with 401 "not_enough_members" in a party of one and
  // with 400 for an id that cannot stand in a request path.
  RemotingResult JoinChannel(const std::string& channelId);
  // Leaves the joined session, if any. The channel counts as left at once;
  // a leave that voice-chat refuses is tried again until it goes through
  // (RetryLeaves), and its refusal is returned.
  RemotingResult LeaveChannel();
  // Whether the conditions of the automatic join hold: voice enabled, a
  // party to talk to, no channel joined, auto-join on (or a rejoin that
  // failed) and the user has not left.
  bool WantsAutoJoin() const;
  Api::VoiceAvailability GetAvailability() const;
  Reply<> PostSession();
  Reply<> DeleteSession();

  // ---- Participants (participants.cc) --------------------------------------

  // Listener of the sessions mirror: rebuilds and publishes the lists.
  void RefreshParticipants();
  ParticipantList BuildParticipantList(const std::vector<Api::ParticipantResource>& participants,
                                       const std::map<std::string, Api::PlayerDto>& players) const;
  // Gives every participant not in the current list its remembered (or
  // default) volume and mute, and sends them.
  void ApplyRememberedToNewParticipants(ParticipantList& list);
  void RefreshParticipantRecords();
  // The user's choice is remembered once voice-chat accepted it (or, while
  // no channel is joined, at once); a refusal is answered and changes
  // nothing.
  Reply<> SetParticipantVolume(const std::string& puuid, std::int32_t volume);
  Reply<> SetParticipantMute(const std::string& puuid, bool muted);
  // Answers the push's refusal; while voice is not connected the choice
  // waits for the push that follows the connection.
  Reply<> SetSelfMute(bool muted);
  // PUTs `volume` and `muted` for `entry`'s participant while joined (and
  // succeeds without sending anything otherwise); a failure is logged.
  RemotingResult SendParticipantUpdate(const Api::PremadeVoiceParticipantDto& entry,
                                       std::uint32_t volume, bool muted);
  const ParticipantList& GetParticipants() const { return participantList_; }
  const ParticipantList& GetParticipantRecords() const { return participantRecords_; }

  // ---- Settings (voice_settings.cc) ----------------------------------------

  void LoadSettingsOnReady(const ResourceEvent<BindingProperty>& event);
  void OnAccountSettingsEvent(const ResourceEvent<Api::AccountSettingsCategoryResource>& event);
  void OnLocalSettingsEvent(const ResourceEvent<Api::LocalSettingsCategoryResource>& event);
  void OnVoiceChatSettingsEvent(const ResourceEvent<Api::SettingsResource>& event);
  // False when the record has no data (nothing changed then).
  bool ApplyAccountSettings(const Api::AccountSettingsCategoryResource& record);
  void ApplyLocalSettings(const Api::LocalSettingsCategoryResource& record);
  void ApplyVoiceChatSettings(const Api::SettingsResource& record);
  // Sends `currentSettings_` to the voice-chat plugin while it is connected.
  // A refused push is tried again (RetryRefused) with what the player chose.
  RemotingResult PushSettingsToVoiceChat();
  // Writes the default record of the category and applies it once stored; a
  // failure is logged and returned. `forceFirstExperience` shows both
  // introductions again; otherwise they keep what the account category
  // holds.
  RemotingResult SetDefaultAccountSettings(bool forceFirstExperience);
  RemotingResult SetDefaultLocalSettings();
  // Reads the category and applies it; a category that holds nothing gets
  // the defaults. A failed read is tried again later. False while the
  // category stays unknown.
  bool ReadAccountCategory();
  bool ReadLocalCategory();
  // The whole category as it is stored, for a setter to change and write
  // back; empty until the category was read, reported or written once.
  std::optional<Api::AccountSettingsCategoryResource> BuildAccountSettings() const;
  std::optional<Api::LocalSettingsCategoryResource> BuildLocalSettings() const;
  // PATCHes the category. Nothing is applied here (the change event brings
  // the values back); a failure is logged and returned.
  RemotingResult WriteAccountSettings(const Api::AccountSettingsCategoryResource& record);
  RemotingResult WriteLocalSettings(const Api::LocalSettingsCategoryResource& record);
  // The settings routes. Setters answer once the write is stored, or with
  // the write's refusal. A category not known yet is read first; 503 when
  // that read fails too (a write then would put start values over stored
  // ones).
  const Api::SettingsResource& GetSettings() const { return currentSettings_; }
  Reply<> ResetSettings();
  Reply<> SetMicLevel(std::int32_t level);
  Reply<> SetActivationSensitivity(std::int32_t sensitivity);
  Reply<> SetInputMode(Api::InputMode mode);

  // ---- Push-to-talk (push_to_talk.cc) --------------------------------------

  void OnGameInputSettings(const ResourceEvent<Api::GameInputSettings>& event);
  // The game client reports its key: taken as it comes, then settled.
  Reply<> OnGameClientUpdatedPttKey(const std::string& newKey);
  // Makes the account key and the game client's key equal: the game
  // client's wins while a game runs, the account's otherwise; a key that is
  // unknown, empty or the placeholder never wins over a real one. A write
  // that fails is kept and tried again. Returns the refusal of the write it
  // made, if any.
  RemotingResult SyncPushToTalkKey();
  // Sends the push-to-talk state when it differs from the last one accepted.
  void PushPushToTalkToVoiceChat();

  // ---- First experience (first_experience.cc) -----------------------------

  // Copies the two flags and publishes them when one changed.
  void ApplyFirstExperience(const Api::AccountSettingsCategoryDataResource& data);
  const Api::FirstExperience& GetFirstExperience() const { return firstExperience_; }
  Reply<> ShowedFirstExperienceInZeb();
  Reply<> ShowedFirstExperienceInGame();
  Reply<> ResetFirstExperience();

  // ---- Mic test and devices (mic_test.cc) ----------------------------------

  void OnAudioProperties(const ResourceEvent<Api::AudioPropertiesResource>& event);
  void OnCaptureDevices(const ResourceEvent<std::vector<Api::DeviceResource>>& event);
  // Turns loopback on and arms the timer that ends the test. When the push
  // fails, loopback is put back as it was and the push's error is answered,
  // with a reason where the push gave none.
  Reply<> StartMicTest();
  // 404 "Mic test is not in progress" when none runs.
  Reply<> EndMicTest();
  const Api::AudioPropertiesResource& GetMicTest() const { return micTestAudio_; }
  const std::vector<Api::DeviceResource>& GetCaptureDevices() const { return captureDevices_; }
  Reply<> SetCaptureDevice(const std::string& handle);

  // ---- Telemetry (voice_telemetry.cc) --------------------------------------

  void SendVoiceTelemetry(std::string_view eventName);

  // ---- Trying again (recovery.cc) ------------------------------------------

  // Arms the retry timer unless it is armed. Each try runs RetryRefused;
  // the wait doubles from kFirstRetrySeconds up to kLongestRetrySeconds
  // while something is left, and the timer stops when nothing is.
  void ScheduleRetry();
  // Tries again what was refused: leaves, the automatic join, remembered
  // choices of new participants, unread settings categories, key writes,
  // the settings and push-to-talk pushes. Also run when voice connects.
  void RetryRefused();
  // Whether anything is left for RetryRefused.
  bool RetryPending() const;

 private:
  static Reply<> CategoryNotLoaded(const char* which);
  static Reply<> Answer(const RemotingResult& result);
  template <class Record, class Data>
  bool ReadCategory(std::string_view path, const char* which, StoredCategory<Data>& stored,
                    bool& unread, const std::function<RemotingResult()>& writeDefaults,
                    const std::function<void(const Record&)>& apply);
  void OnRetryTimer();
  void RetryLeaves();
  void RetryParticipants();
  bool ReadVoiceFlag();
  // Puts what the player chose (the stored local values, loopback as the
  // mic test has it) back over engine values a refused push brought back.
  void RestoreChosenSettings();
  void PublishSettings();
  // The account record as stored, with a push-to-talk key still to be
  // stored in place of the stored one.
  Api::AccountSettingsCategoryDataResource AccountValues() const;
  void ApplyAccountData(const Api::AccountSettingsCategoryDataResource& data);
  Reply<> WriteFirstExperience(const char* logText, std::optional<bool> inZeb,
                               std::optional<bool> inGame);

  // The service state, with the values it starts from.
  std::string lastPartyId_;
  std::string joinedChannelId_;
  std::string voiceChatCurrentDeviceHandle_;
  ParticipantList participantList_;
  Api::PartyDto currentParty_;
  // The game client's key; unknown until the game client reports it.
  std::optional<std::string> gameClientPttKey_;
  Api::AudioPropertiesResource micTestAudio_;
  WatchedResource<Api::Summoner> currentSummoner_;
  bool gameClientRunning_ = false;
  bool micTestInProgress_ = false;
  bool loginConnected_ = false;
  bool voiceEnabledInConfig_ = false;
  bool hasVoiceEntitlement_ = false;
  bool userDisconnected_ = false;
  WatchedResource<std::vector<Api::SessionResource>> voiceSessions_;
  WatchedResource<Api::SessionResource> currentSession_;
  ParticipantList participantRecords_;
  std::unordered_map<std::string, std::uint32_t> rememberedVolumes_;
  std::unordered_map<std::string, bool> rememberedMutes_;
  Api::SettingsResource currentSettings_;
  std::vector<Api::DeviceResource> captureDevices_;
  Api::VoiceAvailability availability_;
  Api::FirstExperience firstExperience_;
  Api::PushToTalkResource lastSentPushToTalk_;
  Api::GameflowPhase lastGameflowPhase_ = Api::GameflowPhase::None;

  // What the two stored settings categories hold, as far as we know.
  StoredCategory<Api::AccountSettingsCategoryDataResource> accountCategory_;
  StoredCategory<Api::LocalSettingsCategoryDataResource> localCategory_;

  // Whether the dynamic configuration flag's path is subscribed, so that a
  // repeated initial-configuration event does not subscribe it again.
  bool voiceFlagSubscribed_ = false;

  // The lobby's party as last reported, also while voice is disabled, so
  // that voice switched on again finds the party.
  std::optional<Api::PartyDto> lobbyParty_;

  // What another plugin refused and is tried again (RetryRefused).
  std::vector<std::string> pendingLeaves_;        // channels still to be left
  std::vector<std::string> unappliedChoices_;     // puuids whose choices voice-chat refused
  std::optional<std::string> pendingAccountKey_;  // a game client's key for the account
  std::optional<std::string> pendingGameKey_;     // an account key for the game client
  bool rejoinPending_ = false;                    // a rejoin after reconnect failed
  bool voiceFlagUnread_ = false;                  // the configuration flag could not be read
  bool accountUnread_ = false;                    // the account category could not be read
  bool localUnread_ = false;                      // the local category could not be read
  bool settingsPushPending_ = false;              // voice-chat refused our settings
  bool pushToTalkPending_ = false;                // voice-chat refused our push-to-talk state
  double retryDelay_ = 0;                         // the armed wait; 0 while the timer is off
  std::size_t settingsPublications_ = 0;
};

}  // namespace Kelp::Client

#endif  // KELP_PREMADE_VOICE_PREMADE_VOICE_PLUGIN_H_
