#include "tests/integration/voice_scenario.h"

#include <ranges>
#include <string_view>

#include "host/standins/stand_in.h"

namespace Kelp::Host::Scenario {

void VoiceScenarioTest::End() {
  if (host_ == nullptr) return;
  host_->Shutdown();
  EXPECT_TRUE(host_->problems().empty()) << host_->problems().front();
  for (const std::string& token : world_->lobby().tokens()) {
    // Header, claims and signature, each on its own; pieces too short to
    // tell apart from other text are left out.
    for (const auto piece : std::views::split(token, '.')) {
      const std::string_view part(piece.begin(), piece.end());
      if (part.size() < 8) continue;
      for (const LogLine& line : host_->logLines()) {
        EXPECT_EQ(line.text.find(part), std::string::npos) << "token in log line: " << line.text;
      }
    }
  }
  world_.reset();
  host_.reset();
}

std::vector<std::string> VoiceScenarioTest::RequestsSince(const Mark& mark) const {
  std::vector<std::string> texts;
  const auto& sent = host_->sentRequests();
  for (std::size_t i = mark.requests; i < sent.size(); ++i) {
    texts.push_back(sent[i].MethodText() + " " + sent[i].path);
  }
  return texts;
}

std::vector<OutboundRequest> VoiceScenarioTest::SentSince(const Mark& mark, std::uint32_t method,
                                                          std::string_view path) const {
  std::vector<OutboundRequest> found;
  const auto& sent = host_->sentRequests();
  for (std::size_t i = mark.requests; i < sent.size(); ++i) {
    if (sent[i].method == method && sent[i].path == path) found.push_back(sent[i]);
  }
  return found;
}

std::vector<HostValue> VoiceScenarioTest::PublishedSince(const Mark& mark,
                                                         std::string_view path) const {
  std::vector<HostValue> data;
  const auto& published = host_->published();
  const std::string channel = EventChannelOf(path);
  for (std::size_t i = mark.published; i < published.size(); ++i) {
    const PublishedEvent& event = published[i];
    const HostValue* uri = event.payload.Find("uri");
    if (event.name != channel || uri == nullptr || uri->kind() != HostValue::Kind::String ||
        uri->AsString() != path) {
      continue;
    }
    EXPECT_EQ(StringOr(event.payload.Find("eventType"), ""), "Update") << path;
    const bool twin = i + 1 < published.size() && published[i + 1].name == "OnJsonApiEvent" &&
                      published[i + 1].payload == event.payload;
    EXPECT_TRUE(twin) << "no OnJsonApiEvent copy of publication " << i << " of " << path;
    const HostValue* value = event.payload.Find("data");
    data.push_back(value == nullptr ? HostValue() : *value);
  }
  return data;
}

std::vector<std::string> VoiceScenarioTest::LogsSince(const Mark& mark) const {
  std::vector<std::string> texts;
  const auto& lines = host_->logLines();
  for (std::size_t i = mark.logLines; i < lines.size(); ++i) texts.push_back(lines[i].text);
  return texts;
}

bool VoiceScenarioTest::LoggedSince(const Mark& mark, std::string_view text, int level) const {
  const auto& lines = host_->logLines();
  for (std::size_t i = mark.logLines; i < lines.size(); ++i) {
    if ((level < 0 || lines[i].level == level) && lines[i].text.find(text) != std::string::npos) {
      return true;
    }
  }
  return false;
}

std::vector<std::string> VoiceScenarioTest::Roster(const HostValue& list) {
  std::vector<std::string> roster;
  if (list.kind() != HostValue::Kind::Array) return {"<not a list: " + list.ToJson() + ">"};
  for (const HostValue& entry : list.AsArray()) {
    roster.push_back(StringOr(entry.Find("displayName"), "?") + ":" +
                     std::to_string(UnsignedOr(entry.Find("volume"), 999999)) + ":" +
                     (BoolOr(entry.Find("isMuted"), false) ? "muted" : "-"));
  }
  return roster;
}

InvokeResult VoiceScenarioTest::Call(std::uint32_t method, std::string path,
                                     std::vector<HostArgument> arguments) {
  InvokeResult result = host_->Invoke(method, std::move(path), std::move(arguments));
  world_->Settle();
  return result;
}

}  // namespace Kelp::Host::Scenario
