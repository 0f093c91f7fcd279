#include "premade_voice/voice_chat_calls.h"

#include "sdk/rest/http_method.h"
#include "sdk/rest/outbound_request.h"
#include "sdk/rest/typed_request.h"

namespace Kelp::Client::VoiceChat {
namespace {

RemotingResult Refused() {
  RemotingResult result;
  result.SetFailure(400, std::string(kInvalidIdMessage));
  return result;
}

}  // namespace

bool IsSafePathSegment(std::string_view id) {
  // "." and ".." name the segment itself or its parent once a path is
  // normalised, and some hosts read "\\" as a separator.
  if (id.empty() || id == "." || id == "..") return false;
  for (const char c : id) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '/' || c == '\\' || c == '?' || c == '#' || c == '%') {
      return false;
    }
  }
  return true;
}

std::string SessionPath(std::string_view channelId) {
  std::string path(kSessionsPath);
  path += '/';
  path += channelId;
  return path;
}

std::string ParticipantPath(std::string_view channelId, std::string_view participantId) {
  std::string path = SessionPath(channelId);
  path += "/participants/";
  path += participantId;
  return path;
}

RemotingResult JoinSession(PluginBase& plugin, std::string_view channelId,
                           const std::string& token) {
  if (!IsSafePathSegment(channelId)) return Refused();
  return SendRequest(plugin, HttpMethod::Post, SessionPath(channelId), token);
}

RemotingResult LeaveSession(PluginBase& plugin, std::string_view channelId) {
  if (!IsSafePathSegment(channelId)) return Refused();
  return SendRequest(plugin, HttpMethod::Delete, SessionPath(channelId));
}

RemotingResult UpdateParticipant(PluginBase& plugin, std::string_view channelId,
                                 std::string_view participantId, std::uint32_t volume,
                                 bool muted) {
  if (!IsSafePathSegment(channelId) || !IsSafePathSegment(participantId)) return Refused();
  Api::ParticipantResource update;
  update.volume = volume;
  update.isMuted = muted;
  return SendRequest(plugin, HttpMethod::Put, ParticipantPath(channelId, participantId), update);
}

RemotingResult PutSettings(PluginBase& plugin, const Api::SettingsResource& settings) {
  return SendRequest(plugin, HttpMethod::Put, kSettingsPath, settings);
}

TypedRemotingResult<Api::SettingsResource> GetSettings(PluginBase& plugin) {
  return SendTypedRequest<Api::SettingsResource>(plugin, HttpMethod::Get, kSettingsPath);
}

RemotingResult PutPushToTalk(PluginBase& plugin, const Api::PushToTalkResource& pushToTalk) {
  return SendRequest(plugin, HttpMethod::Put, kPushToTalkPath, pushToTalk);
}

}  // namespace Kelp::Client::VoiceChat
