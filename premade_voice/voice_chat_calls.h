// The exchanges with the voice-chat plugin, which owns the audio engine and
// the voice-server connection: the resources it publishes and the requests
// this service sends it. Every request is synchronous.
//
// Ids from other plugins go into request paths as they stand, so an id that
// could change the path's meaning (empty, or holding "/", "?", "#", "%" or
// a control character) is refused here: no request is sent and the result
// fails with status 400.
#ifndef KELP_PREMADE_VOICE_VOICE_CHAT_CALLS_H_
#define KELP_PREMADE_VOICE_VOICE_CHAT_CALLS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "premade_voice/voice_records.h"
#include "sdk/plugin/plugin_base.h"
#include "sdk/rest/remoting_result.h"

namespace Kelp::Client::VoiceChat {

// Resources the service follows.
inline constexpr std::string_view kStatePath = "/voice-chat/v2/state";
inline constexpr std::string_view kSessionsPath = "/voice-chat/v2/sessions";
inline constexpr std::string_view kSettingsPath = "/voice-chat/v2/settings";
inline constexpr std::string_view kAudioPropertiesPath = "/voice-chat/v1/audio-properties";
inline constexpr std::string_view kCaptureDevicesPath = "/voice-chat/v2/devices/capture";
inline constexpr std::string_view kPushToTalkPath = "/voice-chat/v1/push-to-talk";

// The failure text of a refused id.
inline constexpr std::string_view kInvalidIdMessage = "invalid_id";

// True when `id` can stand as one path segment unchanged.
bool IsSafePathSegment(std::string_view id);

// "/voice-chat/v2/sessions/<channelId>".
std::string SessionPath(std::string_view channelId);
// "/voice-chat/v2/sessions/<channelId>/participants/<participantId>".
std::string ParticipantPath(std::string_view channelId, std::string_view participantId);

// POST of the channel token to the session of `channelId`.
RemotingResult JoinSession(PluginBase& plugin, std::string_view channelId,
                           const std::string& token);
// DELETE of the session of `channelId`.
RemotingResult LeaveSession(PluginBase& plugin, std::string_view channelId);
// PUT of a whole participant built fresh: no id or name, the volume and
// mute to apply, no energy, not speaking.
RemotingResult UpdateParticipant(PluginBase& plugin, std::string_view channelId,
                                 std::string_view participantId, std::uint32_t volume,
                                 bool muted);
// PUT of the whole settings record, and GET of the plugin's own.
RemotingResult PutSettings(PluginBase& plugin, const Api::SettingsResource& settings);
TypedRemotingResult<Api::SettingsResource> GetSettings(PluginBase& plugin);
// PUT of the push-to-talk state.
RemotingResult PutPushToTalk(PluginBase& plugin, const Api::PushToTalkResource& pushToTalk);

}  // namespace Kelp::Client::VoiceChat

#endif  // KELP_PREMADE_VOICE_VOICE_CHAT_CALLS_H_
