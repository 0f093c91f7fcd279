// The microphone test (loopback through the voice-chat plugin for a while)
// and the list of capture devices.
#include <string>
#include <string_view>

#include "premade_voice/premade_voice_plugin.h"
#include "sdk/plugin/event_publisher.h"
#include "sdk/runtime/logger.h"

namespace Kelp::Client {
namespace {

constexpr std::string_view kMicTestPath = "/tav-premade-voice/v1/mic-test";
constexpr std::string_view kCaptureDevicesPath = "/tav-premade-voice/v1/capturedevices";
constexpr std::uint32_t kNotInProgressStatus = 404;

}  // namespace

Reply<> PremadeVoicePlugin::StartMicTest() {
  Log(LogLevel::Always, kLogDbg, "Starting mic test");
  const bool loopbackBefore = currentSettings_.loopbackEnabled;
  currentSettings_.loopbackEnabled = true;
  const RemotingResult pushed = PushSettingsToVoiceChat();
  if (!pushed.ok()) {
    // No test runs, so loopback must not reach the voice-chat plugin with
    // the next push (when voice connects), where nothing would end it.
    currentSettings_.loopbackEnabled = loopbackBefore;
    if (!pushed.message.empty()) return Answer(pushed);
    return Reply<>::Failure(pushed.statusCode,
                            availability_.connectedToVoiceServer
                                ? "The mic test cannot start: voice chat refused loopback"
                                : "The mic test cannot start while voice chat is not connected");
  }
  micTestInProgress_ = true;
  // A running test is started again: the timer restarts under its name.
  SetTimer(kMicTestTimer, kMicTestSeconds, [this] { (void)EndMicTest(); });
  return {};
}

Reply<> PremadeVoicePlugin::EndMicTest() {
  if (!micTestInProgress_) {
    return Reply<>::Failure(kNotInProgressStatus, "Mic test is not in progress");
  }
  Log(LogLevel::Always, kLogDbg, "Ending mic test");
  currentSettings_.loopbackEnabled = false;
  // The test ends whatever the voice-chat plugin answers; a refused push is
  // sent again (RetryRefused) with loopback off.
  micTestInProgress_ = false;
  (void)PushSettingsToVoiceChat();
  CancelTimer(kMicTestTimer);
  micTestAudio_ = Api::AudioPropertiesResource{};
  (void)PublishResourceEvent(*this, kMicTestPath, micTestAudio_);
  return {};
}

void PremadeVoicePlugin::OnAudioProperties(
    const ResourceEvent<Api::AudioPropertiesResource>& event) {
  if (!IsCreateOrUpdate(event.eventType) || !micTestInProgress_) return;
  micTestAudio_ = event.value;
  (void)PublishResourceEvent(*this, kMicTestPath, micTestAudio_);
}

void PremadeVoicePlugin::OnCaptureDevices(
    const ResourceEvent<std::vector<Api::DeviceResource>>& event) {
  captureDevices_ = event.value;
  if (voiceChatCurrentDeviceHandle_.empty()) {
    for (const Api::DeviceResource& device : captureDevices_) {
      if (!device.is_current_device) continue;
      voiceChatCurrentDeviceHandle_ = device.handle;
      break;
    }
  }
  (void)PublishResourceEvent(*this, kCaptureDevicesPath, captureDevices_);
}

Reply<> PremadeVoicePlugin::SetCaptureDevice(const std::string& handle) {
  if (!localCategory_.loaded() && !ReadLocalCategory()) return CategoryNotLoaded("Local");
  std::optional<Api::LocalSettingsCategoryResource> record = BuildLocalSettings();
  record->data->currentCaptureDeviceHandle = handle;
  // Answered once stored, without waiting for voice-chat to take it.
  return Answer(WriteLocalSettings(*record));
}

}  // namespace Kelp::Client
