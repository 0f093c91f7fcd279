#include "host/voice_demo.h"

#include <string>
#include <string_view>
#include <vector>

#include "host/http_method.h"
#include "host/standins/json_file.h"

namespace Kelp::Host {
namespace {

constexpr double kPause = 2.5;  // virtual seconds between two steps

// One participant as a person reads it: "Bram vol 75, muted, speaking (62)".
// Records carry no voice energy (always 0), so theirs is left out.
std::string DescribeParticipant(const HostValue& entry, bool withEnergy) {
  std::string text = StringOr(entry.Find("displayName"), "?") + " vol " +
                     std::to_string(UnsignedOr(entry.Find("volume"), 0));
  if (BoolOr(entry.Find("isMuted"), false)) text += ", muted";
  if (BoolOr(entry.Find("isSpeaking"), false)) {
    text += ", speaking";
    if (withEnergy) text += " (" + std::to_string(UnsignedOr(entry.Find("energy"), 0)) + ")";
  }
  return text;
}

std::string DescribeData(std::string_view uri, const HostValue& data) {
  if ((uri == "/tav-premade-voice/v1/participants" ||
       uri == "/tav-premade-voice/v1/participant-records") &&
      data.kind() == HostValue::Kind::Array) {
    if (data.AsArray().empty()) return "nobody";
    std::string text;
    for (const HostValue& entry : data.AsArray()) {
      text += (text.empty() ? "" : "; ") +
              DescribeParticipant(entry, uri == "/tav-premade-voice/v1/participants");
    }
    return text;
  }
  if (uri == "/tav-premade-voice/v1/availability" && data.kind() == HostValue::Kind::Object) {
    std::string text;
    for (const auto& [key, value] : data.AsObject()) {
      if (value.kind() == HostValue::Kind::Bool && value.AsBool()) {
        text += (text.empty() ? "" : ", ") + key;
      }
    }
    return text.empty() ? "all off" : text;
  }
  return Abridged(WriteJsonText(data));
}

class Transcript {
 public:
  Transcript(ClientWorld& world, std::FILE* out) : world_(world), host_(world.host()), out_(out) {}

  void Step(const char* title) {
    Flush();
    host_.AdvanceClock(kPause);
    std::fprintf(out_, "\n[%8.3fs] == %s ==\n", host_.NowSeconds(), title);
  }

  // Prints what happened since the last call, in the order it happened.
  void Flush() {
    const auto& calls = host_.calls();
    const auto& notes = world_.journal().notes();
    for (; callsShown_ <= calls.size(); ++callsShown_) {
      while (notesShown_ < notes.size() && notes[notesShown_].callIndex <= callsShown_) {
        const WorldNote& note = notes[notesShown_++];
        Line(note.seconds, note.who, (note.warning ? "warning: " : "") + note.text);
      }
      if (callsShown_ == calls.size()) break;
      const SlotCall& call = calls[callsShown_];
      if (call.slot == "sendRequest") {
        ShowRequest();
      } else if (call.slot == "publishEvent") {
        ShowPublication();
      } else if (call.slot == "log") {
        const LogLine& line = host_.logLines()[logsShown_++];
        static constexpr const char* kLevels[] = {"OKAY", "WARN", "ERROR", "ALWAYS"};
        const char* level = line.level >= 0 && line.level <= 3 ? kLevels[line.level] : "?";
        Line(host_.NowSeconds(), "plugin log", std::string(level) + ": " + line.text);
      }
    }
  }

  // A request of the user interface to the plugin, and its answer.
  void Ask(std::uint32_t method, const std::string& path,
           std::vector<HostArgument> arguments = {}) {
    Flush();
    Line(host_.NowSeconds(), "user interface", MethodText(method) + " " + path);
    const InvokeResult result = host_.Invoke(method, path, std::move(arguments));
    Flush();
    std::string answer;
    if (!result.delivered) {
      answer = "not delivered: " + result.error;
    } else if (result.failed) {
      answer = "failed " + std::to_string(result.status) + ": " + result.error;
    } else {
      answer = result.value.IsNull() ? "ok" : "ok " + DescribeData(path, result.value);
    }
    Line(host_.NowSeconds(), "  answer", answer);
    world_.Settle();
  }

 private:
  void Line(double seconds, std::string_view who, const std::string& text) {
    std::fprintf(out_, "[%8.3fs] %-15.*s %s\n", seconds, static_cast<int>(who.size()), who.data(),
                 text.c_str());
  }

  void ShowRequest() {
    const OutboundRequest& request = host_.sentRequests()[requestsShown_++];
    std::string text = "asks " + request.MethodText() + " " + request.path;
    // Only changes are worth their body; a session join carries a token.
    const HostValue* body = request.FirstArgument();
    if (body != nullptr &&
        (request.method == HTTP_METHOD_PUT || request.method == HTTP_METHOD_PATCH)) {
      text += " " + Abridged(WriteJsonText(*body));
    }
    Line(host_.NowSeconds(), "plugin", text);
  }

  void ShowPublication() {
    const PublishedEvent& event = host_.published()[publishedShown_++];
    // Each resource goes out on its own channel and again on the common one.
    if (event.name == "OnJsonApiEvent") return;
    const HostValue* uri = event.payload.Find("uri");
    const HostValue* data = event.payload.Find("data");
    if (uri == nullptr || data == nullptr || uri->kind() != HostValue::Kind::String) {
      Line(host_.NowSeconds(), "plugin", "publishes " + event.name);
      return;
    }
    Line(host_.NowSeconds(), "plugin",
         "publishes " + uri->AsString() + ": " + DescribeData(uri->AsString(), *data));
  }

  ClientWorld& world_;
  ReferenceHost& host_;
  std::FILE* out_;
  std::size_t callsShown_ = 0;
  std::size_t notesShown_ = 0;
  std::size_t logsShown_ = 0;
  std::size_t requestsShown_ = 0;
  std::size_t publishedShown_ = 0;
};

}  // namespace

std::size_t RunVoiceDemo(ClientWorld& world, std::FILE* out) {
  Transcript transcript(world, out);
  const std::string participants = "/tav-premade-voice/v1/participants";

  transcript.Step("Ava signs in; voice is switched on and the voice server connects");
  world.SignIn();
  transcript.Step("Ava forms a party with Bram and Cleo: the plugin joins the party's channel");
  world.FormParty(3);
  transcript.Step("Bram and Cleo join the voice channel");
  world.JoinVoice(1);
  world.JoinVoice(2);
  transcript.Step("Ava mutes Cleo and turns Bram down");
  transcript.Ask(HTTP_METHOD_PUT, participants + "/" + ClientWorld::Puuid(2) + "/mute",
                 {{"muted", 1}});
  transcript.Ask(HTTP_METHOD_PUT, participants + "/" + ClientWorld::Puuid(1) + "/volume",
                 {{"volume", 40}});
  transcript.Step("Bram speaks, then falls silent");
  world.Speak(1, 62);
  world.Speak(1, 0);
  transcript.Step("Cleo drops out of the channel and comes back: still muted");
  world.LeaveVoice(2);
  world.JoinVoice(2);
  transcript.Ask(HTTP_METHOD_GET, participants);
  transcript.Step("A game is played");
  world.StartGame();
  world.EndGame();
  transcript.Step("Ava leaves the channel, then joins again");
  transcript.Ask(HTTP_METHOD_DELETE, "/tav-premade-voice/v1/session");
  transcript.Ask(HTTP_METHOD_POST, "/tav-premade-voice/v1/session");
  transcript.Step("The voice server drops");
  world.DropVoiceServer();
  transcript.Flush();

  const ReferenceHost& host = world.host();
  std::fprintf(out,
               "\nsummary: %zu request(s) to other plugins, %zu publication(s), %zu log line(s), "
               "%zu telemetry event(s)\n",
               host.sentRequests().size(), host.published().size(), host.logLines().size(),
               world.telemetry().events().size());
  return host.problems().size();
}

}  // namespace Kelp::Host
