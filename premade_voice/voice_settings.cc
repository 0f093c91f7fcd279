// The local player's voice settings: the stored account and local
// categories, the record served to the user interface, and the whole record
// pushed to the voice-chat plugin.
//
// Values reach `currentSettings_` only through the settings plugin's reports
// (category GET and change events) and the voice-chat plugin's settings;
// setters write the stored category and wait for its change event. Writes
// start from what the category holds (StoredCategory), never from
// `currentSettings_`, which lags behind our own writes.
#include <functional>
#include <string>
#include <string_view>

#include "premade_voice/premade_voice_plugin.h"
#include "premade_voice/voice_chat_calls.h"
#include "sdk/binding/conversion.h"
#include "sdk/codecs/json_writer.h"
#include "sdk/plugin/event_publisher.h"
#include "sdk/rest/http_method.h"
#include "sdk/rest/typed_request.h"
#include "sdk/runtime/logger.h"

namespace Kelp::Client {
namespace {

constexpr std::string_view kSettingsPath = "/tav-premade-voice/v1/settings";
constexpr std::string_view kAccountPath =
    "/tav-settings/v2/account/ZEBPreferences/tav-premade-voice";
constexpr std::string_view kLocalPath = "/tav-settings/v2/local/tav-premade-voice";
constexpr std::uint32_t kSchemaVersion = 1;
constexpr std::uint32_t kNotLoadedStatus = 503;

const char* InputModeName(Api::InputMode mode) {
  return mode == Api::InputMode::pushToTalk ? "pushToTalk" : "voiceActivity";
}

// The record as JSON text, for log lines.
template <class T>
std::string JsonText(const T& record, const TypeRegistry& registry) {
  const ConversionResult tree = ToProperty(record, registry);
  return tree.ok() ? WriteJson(tree.value(), &registry) : std::string(tree.error());
}

// A whole category record around `data`, as every write sends it.
template <class Record, class Data>
Record MakeCategory(const Data& data) {
  Record record;
  record.schemaVersion = kSchemaVersion;
  record.data = data;
  return record;
}

Api::AccountSettingsCategoryResource Category(
    const Api::AccountSettingsCategoryDataResource& data) {
  return MakeCategory<Api::AccountSettingsCategoryResource>(data);
}

Api::LocalSettingsCategoryResource Category(const Api::LocalSettingsCategoryDataResource& data) {
  return MakeCategory<Api::LocalSettingsCategoryResource>(data);
}

}  // namespace

Reply<> PremadeVoicePlugin::CategoryNotLoaded(const char* which) {
  return Reply<>::Failure(kNotLoadedStatus,
                          std::string(which) + " settings are not loaded yet; try again later");
}

Reply<> PremadeVoicePlugin::Answer(const RemotingResult& result) {
  if (result.ok()) return {};
  return Reply<>::Failure(result.statusCode, result.message);
}

void PremadeVoicePlugin::PublishSettings() {
  ++settingsPublications_;
  (void)PublishResourceEvent(*this, kSettingsPath, currentSettings_);
}

// ---- Loading ---------------------------------------------------------------

void PremadeVoicePlugin::LoadSettingsOnReady(const ResourceEvent<BindingProperty>& event) {
  if (event.eventType != PluginResourceEventType::Update) return;
  // Every ready event reads both categories again; a failure is told anew.
  accountUnread_ = false;
  localUnread_ = false;
  (void)ReadAccountCategory();
  (void)ReadLocalCategory();
}

// A category that cannot be read keeps the values known so far and is read
// again later (RetryRefused, or a setter that needs it): only a category
// that answers and holds nothing gets the defaults. `which` is "Account" or
// "Local"; `unread` says whether the last read failed.
template <class Record, class Data>
bool PremadeVoicePlugin::ReadCategory(std::string_view path, const char* which,
                                      StoredCategory<Data>& stored, bool& unread,
                                      const std::function<RemotingResult()>& writeDefaults,
                                      const std::function<void(const Record&)>& apply) {
  const auto read = SendTypedRequest<Record>(*this, HttpMethod::Get, path);
  if (!read.ok()) {
    if (!unread) {
      Log(LogLevel::Error, kLogDbg,
          "premade-voice: %s settings fetch failed on settings ready, keeping current values: %s",
          which, read.message.c_str());
    }
    unread = true;
    ScheduleRetry();
    return false;
  }
  if (!read.value.data.has_value()) {
    Log(LogLevel::Error, kLogDbg,
        "premade-voice: %s settings fetch failed on settings ready, using defaults.", which);
    // A refused write of the defaults leaves the category unknown: it is
    // read (and written) again later.
    unread = !writeDefaults().ok();
    if (unread) ScheduleRetry();
    return !unread;
  }
  unread = false;
  stored.Reported(*read.value.data);
  apply(read.value);
  return true;
}

bool PremadeVoicePlugin::ReadAccountCategory() {
  return ReadCategory<Api::AccountSettingsCategoryResource>(
      kAccountPath, "Account", accountCategory_, accountUnread_,
      [this] { return SetDefaultAccountSettings(true); },
      [this](const Api::AccountSettingsCategoryResource& record) {
        (void)ApplyAccountSettings(record);
      });
}

bool PremadeVoicePlugin::ReadLocalCategory() {
  return ReadCategory<Api::LocalSettingsCategoryResource>(
      kLocalPath, "Local", localCategory_, localUnread_,
      [this] { return SetDefaultLocalSettings(); },
      [this](const Api::LocalSettingsCategoryResource& record) { ApplyLocalSettings(record); });
}

void PremadeVoicePlugin::OnAccountSettingsEvent(
    const ResourceEvent<Api::AccountSettingsCategoryResource>& event) {
  if (!IsCreateOrUpdate(event.eventType)) return;
  if (event.value.data.has_value()) accountCategory_.Reported(*event.value.data);
  if (!ApplyAccountSettings(event.value)) {
    Log(LogLevel::Error, kLogDbg, "Account settings without data, nothing applied");
  }
}

void PremadeVoicePlugin::OnLocalSettingsEvent(
    const ResourceEvent<Api::LocalSettingsCategoryResource>& event) {
  if (!IsCreateOrUpdate(event.eventType)) return;
  if (event.value.data.has_value()) localCategory_.Reported(*event.value.data);
  ApplyLocalSettings(event.value);
}

void PremadeVoicePlugin::OnVoiceChatSettingsEvent(
    const ResourceEvent<Api::SettingsResource>& event) {
  if (!IsCreateOrUpdate(event.eventType) || !availability_.connectedToVoiceServer) return;
  ApplyVoiceChatSettings(event.value);
}

// ---- Defaults --------------------------------------------------------------

RemotingResult PremadeVoicePlugin::SetDefaultAccountSettings(bool forceFirstExperience) {
  Api::AccountSettingsCategoryDataResource data;
  data.autoJoin = true;
  data.muteOnConnect = false;
  data.inputMode = Api::InputMode::voiceActivity;
  data.pushToTalkKey = kUnboundKey;
  // Without forcing, the introductions keep what the category holds, which
  // may be ahead of `firstExperience_` while a write is on its way.
  Api::FirstExperience shown = firstExperience_;
  if (accountCategory_.loaded()) {
    shown.showFirstExperienceInZEB = accountCategory_.values().showFirstExperienceInZEB;
    shown.showFirstExperienceInGame = accountCategory_.values().showFirstExperienceInGame;
  }
  data.showFirstExperienceInZEB = forceFirstExperience || shown.showFirstExperienceInZEB;
  data.showFirstExperienceInGame = forceFirstExperience || shown.showFirstExperienceInGame;
  const auto record = Category(data);
  RemotingResult written = SendRequest(*this, HttpMethod::Patch, kAccountPath, record);
  if (!written.ok()) {
    Log(LogLevel::Error, kLogDbg, "Failed to set default account settings: %s %s",
        written.message.c_str(), JsonText(record, registry()).c_str());
    return written;
  }
  accountCategory_.Wrote(data);
  // The stored key is the placeholder now; the game client's key is
  // settled against it afresh.
  pendingAccountKey_.reset();
  (void)ApplyAccountSettings(record);
  return written;
}

RemotingResult PremadeVoicePlugin::SetDefaultLocalSettings() {
  Api::LocalSettingsCategoryDataResource data;
  data.currentCaptureDeviceHandle = voiceChatCurrentDeviceHandle_;
  data.inputVolume = 50;
  data.vadSensitivity = 65;
  const auto record = Category(data);
  RemotingResult written = SendRequest(*this, HttpMethod::Patch, kLocalPath, record);
  if (!written.ok()) {
    Log(LogLevel::Error, kLogDbg, "Failed to set default local settings: %s %s",
        written.message.c_str(), JsonText(record, registry()).c_str());
    return written;
  }
  localCategory_.Wrote(data);
  ApplyLocalSettings(record);
  return written;
}

// ---- Writing ---------------------------------------------------------------

Api::AccountSettingsCategoryDataResource PremadeVoicePlugin::AccountValues() const {
  Api::AccountSettingsCategoryDataResource data = accountCategory_.values();
  // A game client's key whose write was refused goes with the next write.
  if (pendingAccountKey_) data.pushToTalkKey = *pendingAccountKey_;
  return data;
}

std::optional<Api::AccountSettingsCategoryResource> PremadeVoicePlugin::BuildAccountSettings()
    const {
  if (!accountCategory_.loaded()) return std::nullopt;
  return Category(AccountValues());
}

std::optional<Api::LocalSettingsCategoryResource> PremadeVoicePlugin::BuildLocalSettings() const {
  if (!localCategory_.loaded()) return std::nullopt;
  return Category(localCategory_.values());
}

RemotingResult PremadeVoicePlugin::WriteAccountSettings(
    const Api::AccountSettingsCategoryResource& record) {
  RemotingResult written = SendRequest(*this, HttpMethod::Patch, kAccountPath, record);
  if (!written.ok()) {
    Log(LogLevel::Error, kLogDbg, "Could not update account settings: %s %s",
        written.message.c_str(), JsonText(record, registry()).c_str());
    return written;
  }
  if (record.data.has_value()) {
    accountCategory_.Wrote(*record.data);
    if (pendingAccountKey_ == record.data->pushToTalkKey) pendingAccountKey_.reset();
  }
  return written;
}

RemotingResult PremadeVoicePlugin::WriteLocalSettings(
    const Api::LocalSettingsCategoryResource& record) {
  RemotingResult written = SendRequest(*this, HttpMethod::Patch, kLocalPath, record);
  if (!written.ok()) {
    Log(LogLevel::Error, kLogDbg, "Could not update local settings: %s %s", written.message.c_str(),
        JsonText(record, registry()).c_str());
    return written;
  }
  if (record.data.has_value()) localCategory_.Wrote(*record.data);
  return written;
}

// ---- Applying --------------------------------------------------------------

bool PremadeVoicePlugin::ApplyAccountSettings(const Api::AccountSettingsCategoryResource& record) {
  const bool applied = record.data.has_value();
  if (applied) ApplyAccountData(*record.data);
  // The voice-chat plugin hears about the mode and key on every way out.
  PushPushToTalkToVoiceChat();
  return applied;
}

void PremadeVoicePlugin::ApplyAccountData(const Api::AccountSettingsCategoryDataResource& data) {
  currentSettings_.autoJoin = data.autoJoin;
  currentSettings_.muteOnConnect = data.muteOnConnect;
  currentSettings_.inputMode = data.inputMode;
  // While a game client's key waits to be stored, the category still holds
  // the key it replaces: that one must not come back.
  const std::string& key = pendingAccountKey_ ? *pendingAccountKey_ : data.pushToTalkKey;
  if (currentSettings_.pttKey != key) {
    currentSettings_.pttKey = key;
    (void)SyncPushToTalkKey();
  }
  ApplyFirstExperience(data);
  currentSettings_.vadActive = data.inputMode == Api::InputMode::voiceActivity;
  currentSettings_.pttActive = data.inputMode == Api::InputMode::pushToTalk;
  PublishSettings();
}

void PremadeVoicePlugin::ApplyLocalSettings(const Api::LocalSettingsCategoryResource& record) {
  Api::SettingsResource next = currentSettings_;
  if (record.data.has_value()) {
    next.currentCaptureDeviceHandle = record.data->currentCaptureDeviceHandle;
    next.micLevel = record.data->inputVolume;
    next.vadSensitivity = record.data->vadSensitivity;
  }
  // Only the stored and engine fields count; the derived flags and the key
  // do not come from this category.
  const Api::SettingsResource& now = currentSettings_;
  if (next.currentCaptureDeviceHandle == now.currentCaptureDeviceHandle &&
      next.vadHangoverTime == now.vadHangoverTime && next.vadSensitivity == now.vadSensitivity &&
      next.micLevel == now.micLevel && next.localMicMuted == now.localMicMuted &&
      next.loopbackEnabled == now.loopbackEnabled && next.autoJoin == now.autoJoin &&
      next.muteOnConnect == now.muteOnConnect && next.inputMode == now.inputMode) {
    return;
  }
  currentSettings_ = std::move(next);
  // Shown once the voice-chat plugin reports its settings back; when it
  // does not (not connected, or the push refused and the settings not read
  // back), shown at once.
  const std::size_t published = settingsPublications_;
  if (!PushSettingsToVoiceChat().ok() && settingsPublications_ == published) PublishSettings();
}

void PremadeVoicePlugin::ApplyVoiceChatSettings(const Api::SettingsResource& record) {
  currentSettings_.currentCaptureDeviceHandle = record.currentCaptureDeviceHandle;
  currentSettings_.vadHangoverTime = record.vadHangoverTime;
  currentSettings_.vadSensitivity = record.vadSensitivity;
  currentSettings_.micLevel = record.micLevel;
  currentSettings_.localMicMuted = record.localMicMuted;
  currentSettings_.loopbackEnabled = record.loopbackEnabled;
  PublishSettings();
}

void PremadeVoicePlugin::RestoreChosenSettings() {
  if (localCategory_.loaded()) {
    const Api::LocalSettingsCategoryDataResource& stored = localCategory_.values();
    currentSettings_.currentCaptureDeviceHandle = stored.currentCaptureDeviceHandle;
    currentSettings_.micLevel = stored.inputVolume;
    currentSettings_.vadSensitivity = stored.vadSensitivity;
  }
  // Loopback belongs to the mic test alone.
  currentSettings_.loopbackEnabled = micTestInProgress_;
}

RemotingResult PremadeVoicePlugin::PushSettingsToVoiceChat() {
  if (!availability_.connectedToVoiceServer) {
    Log(LogLevel::Okay, kLogGen, "Not updating voice-chat settings while not connected");
    RemotingResult notConnected;
    notConnected.SetFailure(400, "");
    return notConnected;
  }
  Log(LogLevel::Always, kLogDbg, "Updating voice-chat settings");
  RemotingResult put = VoiceChat::PutSettings(*this, currentSettings_);
  if (put.ok()) {
    settingsPushPending_ = false;
    return put;
  }
  Log(LogLevel::Error, kLogDbg, "Failed to update voice chat plugin with current settings: %s %s",
      put.message.c_str(), JsonText(currentSettings_, registry()).c_str());
  // The engine keeps what it had: what the player chose is sent again.
  settingsPushPending_ = true;
  ScheduleRetry();
  const TypedRemotingResult<Api::SettingsResource> fetched = VoiceChat::GetSettings(*this);
  if (!fetched.ok()) {
    Log(LogLevel::Error, kLogDbg, "Failed to fetch settings from voice chat plugin: %s",
        fetched.message.c_str());
    return fetched;
  }
  ApplyVoiceChatSettings(fetched.value);
  return put;
}

// ---- Routes ----------------------------------------------------------------

Reply<> PremadeVoicePlugin::ResetSettings() {
  // Before the account category is known, its introduction flags are not:
  // a reset then would bring back introductions the player has dismissed.
  if (!accountCategory_.loaded() && !ReadAccountCategory()) return CategoryNotLoaded("Account");
  const RemotingResult account = SetDefaultAccountSettings(false);
  const RemotingResult local = SetDefaultLocalSettings();
  return Answer(account.ok() ? local : account);
}

Reply<> PremadeVoicePlugin::SetMicLevel(std::int32_t level) {
  Log(LogLevel::Always, kLogDbg, "Changing current player mic level to %d", level);
  if (!localCategory_.loaded() && !ReadLocalCategory()) return CategoryNotLoaded("Local");
  std::optional<Api::LocalSettingsCategoryResource> record = BuildLocalSettings();
  // Stored bit for bit: the voice-chat plugin bounds the level.
  record->data->inputVolume = static_cast<std::uint32_t>(level);
  return Answer(WriteLocalSettings(*record));
}

Reply<> PremadeVoicePlugin::SetActivationSensitivity(std::int32_t sensitivity) {
  Log(LogLevel::Always, kLogDbg, "Changing vad sensitivity to %d", sensitivity);
  if (!localCategory_.loaded() && !ReadLocalCategory()) return CategoryNotLoaded("Local");
  std::optional<Api::LocalSettingsCategoryResource> record = BuildLocalSettings();
  record->data->vadSensitivity = static_cast<std::uint32_t>(sensitivity);
  return Answer(WriteLocalSettings(*record));
}

Reply<> PremadeVoicePlugin::SetInputMode(Api::InputMode mode) {
  Log(LogLevel::Always, kLogDbg, "Changing inputMode to %s", InputModeName(mode));
  Reply<> reply;
  if (accountCategory_.loaded() || ReadAccountCategory()) {
    std::optional<Api::AccountSettingsCategoryResource> record = BuildAccountSettings();
    record->data->inputMode = mode;
    reply = Answer(WriteAccountSettings(*record));
  } else {
    reply = CategoryNotLoaded("Account");
  }
  // Still the old mode here; it runs again when the change event arrives.
  PushPushToTalkToVoiceChat();
  return reply;
}

}  // namespace Kelp::Client
