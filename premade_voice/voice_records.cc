#include "premade_voice/voice_records.h"

#include <string>

#include "sdk/binding/type_builder.h"

namespace Kelp::Client::Api {
namespace {

// Starts a type with the stem, namespace and tags every voice type carries.
template <class T>
TypeBuilder<T> Begin(TypeRegistry& registry, std::string_view stem, std::string_view name,
                     const std::vector<std::string>& tags) {
  TypeBuilder<T> builder(registry, std::string(stem) + std::string(name));
  builder.NameSpace(kVoiceNameSpace);
  for (const std::string& tag : tags) builder.Tag(tag);
  return builder;
}

}  // namespace

void RegisterVoiceRecords(TypeRegistry& registry, std::string_view stem,
                          const std::vector<std::string>& tags) {
  using Role = PartyMemberRoleEnum;
  Begin<Role>(registry, stem, "PartyMemberRoleEnum", tags)
      .Value("LEADER", Role::LEADER)
      .Value("MEMBER", Role::MEMBER)
      .Value("INVITED", Role::INVITED)
      .Value("HOLD", Role::HOLD)
      .Value("KICKED", Role::KICKED)
      .Value("DECLINED", Role::DECLINED);

  using Availability = VoiceAvailability;
  Begin<Availability>(registry, stem, "VoiceAvailability", tags)
      .Field("enabled", &Availability::enabled)
      .Field("connectedToVoiceServer", &Availability::connectedToVoiceServer)
      .Field("voiceChannelAvailable", &Availability::voiceChannelAvailable)
      .Field("disabledAfterLogin", &Availability::disabledAfterLogin)
      .Field("showUI", &Availability::showUI)
      .Field("showDisconnectedState", &Availability::showDisconnectedState);

  Begin<FirstExperience>(registry, stem, "FirstExperience", tags)
      .Field("showFirstExperienceInZEB", &FirstExperience::showFirstExperienceInZEB)
      .Field("showFirstExperienceInGame", &FirstExperience::showFirstExperienceInGame);

  Begin<DeviceResource>(registry, stem, "DeviceResource", tags)
      .Field("handle", &DeviceResource::handle)
      .Field("name", &DeviceResource::name)
      .Field("usable", &DeviceResource::usable)
      .Field("is_current_device", &DeviceResource::is_current_device)
      .Field("is_default", &DeviceResource::is_default);

  Begin<InputMode>(registry, stem, "InputMode", tags)
      .Value("voiceActivity", InputMode::voiceActivity)
      .Value("pushToTalk", InputMode::pushToTalk);

  // Optional fields travel only while they hold a value; an empty text
  // still travels.
  using Settings = SettingsResource;
  Begin<Settings>(registry, stem, "SettingsResource", tags)
      .Field("currentCaptureDeviceHandle", &Settings::currentCaptureDeviceHandle)
      .Field("vadHangoverTime", &Settings::vadHangoverTime)
      .Field("vadSensitivity", &Settings::vadSensitivity)
      .Field("micLevel", &Settings::micLevel)
      .Field("localMicMuted", &Settings::localMicMuted)
      .Field("loopbackEnabled", &Settings::loopbackEnabled)
      .Field("autoJoin", &Settings::autoJoin)
      .Field("muteOnConnect", &Settings::muteOnConnect)
      .Field("vadActive", &Settings::vadActive)
      .Field("pttActive", &Settings::pttActive)
      .Field("inputMode", &Settings::inputMode)
      .Field("pttKey", &Settings::pttKey, {}, {}, kFieldOmitWhenAbsent);

  Begin<SessionStatus>(registry, stem, "SessionStatus", tags)
      .Value("active", SessionStatus::active)
      .Value("onHold", SessionStatus::onHold);

  using Participant = ParticipantResource;
  Begin<Participant>(registry, stem, "ParticipantResource", tags)
      .Field("id", &Participant::id)
      .Field("name", &Participant::name)
      .Field("volume", &Participant::volume)
      .Field("energy", &Participant::energy)
      .Field("isMuted", &Participant::isMuted)
      .Field("isSpeaking", &Participant::isSpeaking);

  using Entry = PremadeVoiceParticipantDto;
  Begin<Entry>(registry, stem, "PremadeVoiceParticipantDto", tags)
      .Field("participantId", &Entry::participantId)
      .Field("summonerId", &Entry::summonerId)
      .Field("puuid", &Entry::puuid)
      .Field("displayName", &Entry::displayName)
      .Field("volume", &Entry::volume)
      .Field("energy", &Entry::energy)
      .Field("isMuted", &Entry::isMuted)
      .Field("isSpeaking", &Entry::isSpeaking);

  using Session = SessionResource;
  Begin<Session>(registry, stem, "SessionResource", tags)
      .Field("id", &Session::id)
      .Field("status", &Session::status)
      .Field("participants", &Session::participants)
      .Field("volume", &Session::volume)
      .Field("isMuted", &Session::isMuted)
      .Field("isTransmitEnabled", &Session::isTransmitEnabled);

  Begin<StateResource>(registry, stem, "StateResource", tags)
      .Field("connected", &StateResource::connected);

  using Audio = AudioPropertiesResource;
  Begin<Audio>(registry, stem, "AudioPropertiesResource", tags)
      .Field("isLoopbackEnabled", &Audio::isLoopbackEnabled)
      .Field("micEnergy", &Audio::micEnergy);

  using LocalData = LocalSettingsCategoryDataResource;
  Begin<LocalData>(registry, stem, "LocalSettingsCategoryDataResource", tags)
      .Field("currentCaptureDeviceHandle", &LocalData::currentCaptureDeviceHandle)
      .Field("inputVolume", &LocalData::inputVolume)
      .Field("vadSensitivity", &LocalData::vadSensitivity);

  using Local = LocalSettingsCategoryResource;
  Begin<Local>(registry, stem, "LocalSettingsCategoryResource", tags)
      .Field("data", &Local::data, {}, {}, kFieldOmitWhenAbsent)
      .Field("schemaVersion", &Local::schemaVersion);

  using AccountData = AccountSettingsCategoryDataResource;
  Begin<AccountData>(registry, stem, "AccountSettingsCategoryDataResource", tags)
      .Field("autoJoin", &AccountData::autoJoin)
      .Field("muteOnConnect", &AccountData::muteOnConnect)
      .Field("inputMode", &AccountData::inputMode)
      .Field("pushToTalkKey", &AccountData::pushToTalkKey)
      .Field("showFirstExperienceInZEB", &AccountData::showFirstExperienceInZEB)
      .Field("showFirstExperienceInGame", &AccountData::showFirstExperienceInGame);

  using Account = AccountSettingsCategoryResource;
  Begin<Account>(registry, stem, "AccountSettingsCategoryResource", tags)
      .Field("data", &Account::data, {}, {}, kFieldOmitWhenAbsent)
      .Field("schemaVersion", &Account::schemaVersion);

  Begin<PlayerDto>(registry, stem, "PlayerDto", tags)
      .Field("displayName", &PlayerDto::displayName)
      .Field("puuid", &PlayerDto::puuid)
      .Field("partyId", &PlayerDto::partyId)
      .Field("summonerId", &PlayerDto::summonerId)
      .Field("role", &PlayerDto::role);

  Begin<PartyDto>(registry, stem, "PartyDto", tags)
      .Field("partyId", &PartyDto::partyId)
      .Field("players", &PartyDto::players);

  Begin<GameEventHotkeys>(registry, stem, "GameEventHotkeys", tags)
      .Field("evtPushToTalk", &GameEventHotkeys::evtPushToTalk, {}, {}, kFieldOmitWhenAbsent);

  Begin<GameInputSettings>(registry, stem, "GameInputSettings", tags)
      .Field("GameEvents", &GameInputSettings::GameEvents);

  using Phase = GameflowPhase;
  Begin<Phase>(registry, stem, "GameflowPhase", tags)
      .Value("None", Phase::None)
      .Value("Lobby", Phase::Lobby)
      .Value("Matchmaking", Phase::Matchmaking)
      .Value("CheckedIntoTournament", Phase::CheckedIntoTournament)
      .Value("ReadyCheck", Phase::ReadyCheck)
      .Value("ChampSelect", Phase::ChampSelect)
      .Value("GameStart", Phase::GameStart)
      .Value("FailedToLaunch", Phase::FailedToLaunch)
      .Value("InProgress", Phase::InProgress)
      .Value("Reconnect", Phase::Reconnect)
      .Value("WaitingForStats", Phase::WaitingForStats)
      .Value("PreEndOfGame", Phase::PreEndOfGame)
      .Value("EndOfGame", Phase::EndOfGame)
      .Value("TerminatedInError", Phase::TerminatedInError);

  Begin<GameflowGameClient>(registry, stem, "GameflowGameClient", tags)
      .Field("running", &GameflowGameClient::running);

  Begin<GameflowSession>(registry, stem, "GameflowSession", tags)
      .Field("phase", &GameflowSession::phase)
      .Field("gameClient", &GameflowSession::gameClient);

  Begin<LoginSession>(registry, stem, "LoginSession", tags)
      .Field("connected", &LoginSession::connected);

  Begin<EntitlementsTokenResource>(registry, stem, "EntitlementsToken", tags)
      .Field("entitlements", &EntitlementsTokenResource::entitlements);

  Begin<PushToTalkResource>(registry, stem, "PushToTalkResource", tags)
      .Field("pttEnabled", &PushToTalkResource::pttEnabled)
      .Field("pttKeyBinding", &PushToTalkResource::pttKeyBinding, {}, {},
              kFieldOmitWhenAbsent);

  Begin<Summoner>(registry, stem, "Summoner", tags)
      .Field("accountId", &Summoner::accountId)
      .Field("puuid", &Summoner::puuid);
}

}  // namespace Kelp::Client::Api
