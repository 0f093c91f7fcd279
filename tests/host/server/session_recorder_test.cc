// Sessions recorded through the web API layer, as serve records them, and
// played back by the scenario runner, as `plugin-host run` plays them.
#include "host/server/session_recorder.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/cli/plugin_session.h"
#include "host/cli/scenario.h"
#include "host/server/world_actions.h"
#include "host/standins/json_file.h"

namespace Kelp::Host {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

const std::string kVoice = "/tav-premade-voice/v1";

std::string ReadAll(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char buffer[4096];
  std::size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, count);
  std::fclose(file);
  return text;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

struct Played {
  int status;
  std::string out;
};

Played Play(const std::filesystem::path& path) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const int status = RunScenarioFile(path.string(), {}, out, err);
  Played played{status, ReadAll(out)};
  played.out += ReadAll(err);
  return played;
}

// The plugin with its stand-ins and the recorder, as serve sets them up,
// without the sockets.
class SessionRecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("recorder-test-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::string error;
    session_ = PluginSession::Start({}, error);
    ASSERT_NE(session_, nullptr) << error;
    api_ = std::make_unique<WebApi>(session_->host(), "");
    AddWorldRoutes(*api_, session_->world());
  }
  void TearDown() override {
    recorder_.reset();
    std::filesystem::remove_all(folder_);
  }

  void Record(std::size_t byteLimit = kDefaultRecordingBytes) {
    recorder_ = std::make_unique<SessionRecorder>(*api_, session_->host(), folder_ / "recordings",
                                                  true, byteLimit);
  }

  WebAnswer Call(const std::string& method, const std::string& target, const std::string& body = "",
                 const std::string& contentType = "application/json") {
    return api_->Handle({method, target, body, body.empty() ? "" : contentType});
  }
  HostValue Json(const WebAnswer& answer) { return ReadJsonText(answer.body).value; }

  std::filesystem::path folder_;
  std::unique_ptr<PluginSession> session_;
  std::unique_ptr<WebApi> api_;
  std::unique_ptr<SessionRecorder> recorder_;
};

TEST_F(SessionRecorderTest, ARecordedSessionPlaysBackWithEveryExpectationMet) {
  Record();
  ReferenceHost& host = session_->host();
  // Before the recording: the scenario must bring a fresh client here.
  ASSERT_EQ(Call("POST", "/host/world/form-party", R"({"size": 3})").status, 200u);
  host.AdvanceClock(1.25);  // the server's clock follows real time
  ASSERT_EQ(Call("POST", "/host/world/join-voice", R"({"player": 1})").status, 200u);

  ASSERT_EQ(Call("POST", "/host/record/start").status, 200u);
  host.AdvanceClock(0.5);
  EXPECT_EQ(Call("PUT", kVoice + "/participants/puuid-1/volume", "30").status, 200u);
  EXPECT_EQ(Call("PUT", kVoice + "/participants/puuid-1/mute?muted=1").status, 200u);
  EXPECT_EQ(Call("POST", "/host/world/speak", R"({"player": 1, "energy": 40})").status, 200u);
  // Left out: an action that changed nothing, a body no scenario can hold,
  // the host's own documents.
  EXPECT_EQ(Call("POST", "/host/world/speak", R"({"player": 0})").status, 400u);
  Call("PUT", kVoice + "/self/micLevel", "55", "text/plain");
  EXPECT_EQ(Call("GET", "/host/world").status, 200u);
  EXPECT_EQ(Call("GET", "/help?format=full").status, 200u);
  EXPECT_EQ(Call("POST", "/host/world/advance-clock", R"({"seconds": 10})").status, 200u);
  // A client mistake replays as one too.
  const WebAnswer refused = Call("PUT", kVoice + "/self/micLevel", R"("loud")");
  EXPECT_GE(refused.status, 400u);
  EXPECT_EQ(Call("PUT", kVoice + "/self/micLevel", "20").status, 200u);
  EXPECT_EQ(Call("GET", kVoice + "/participants").status, 200u);
  host.AdvanceClock(3600 + 2.000000001);
  const WebAnswer stopped = Call("POST", "/host/record/stop");
  ASSERT_EQ(stopped.status, 200u) << stopped.body;

  const HostValue status = Json(stopped);
  const std::filesystem::path file = status.Find("file")->AsString();
  EXPECT_EQ(file.parent_path(), folder_ / "recordings");
  const std::string yaml = ReadFile(file);
  const WebAnswer download = Call("GET", "/host/record/scenario.yaml");
  EXPECT_EQ(download.status, 200u);
  EXPECT_EQ(download.contentType, "application/yaml; charset=utf-8");
  EXPECT_EQ(download.body, yaml);

  // The session before the recording, without expectations, then what was
  // recorded; the long wait split at the longest advance a step takes.
  const std::size_t recordingStarts = yaml.find("  # the recording\n");
  ASSERT_NE(recordingStarts, std::string::npos) << yaml;
  const std::string before = yaml.substr(0, recordingStarts);
  const std::string recorded = yaml.substr(recordingStarts);
  EXPECT_THAT(before, HasSubstr("steps:\n  # the session before the recording\n"
                                "  - world: sign-in\n"
                                "  - world: form-party\n    with: {\"size\": 3}\n"
                                "  - advance: 1.25\n"
                                "  - world: join-voice\n    with: {\"player\": 1}\n"));
  EXPECT_THAT(before, Not(HasSubstr("expect:")));
  for (const char* step : {
           "  - advance: 0.5\n  - request: \"PUT /tav-premade-voice/v1/participants/puuid-1/"
           "volume\"\n    body: 30\n    expect: {\"status\": 200, \"body\": null}\n",
           "  - request: \"PUT /tav-premade-voice/v1/participants/puuid-1/mute?muted=1\"\n",
           "  - world: speak\n    with: {\"player\": 1, \"energy\": 40}\n",
           "  - advance: 10\n",
           "  - request: \"PUT /tav-premade-voice/v1/self/micLevel\"\n    body: \"loud\"\n"
           "    expect: {\"status\": ",
           "  - request: \"PUT /tav-premade-voice/v1/self/micLevel\"\n    body: 20\n",
           "  - advance: 3600\n  - advance: 2.000000001\n",
           "      event: \"/tav-premade-voice/v1/participants\"\n",
           "      event: \"/tav-premade-voice/v1/settings\"\n",
       }) {
    EXPECT_THAT(recorded, HasSubstr(step));
  }
  for (const char* left : {"\"player\": 0", "body: 55", "/host/world\"", "/help", "/host/record"}) {
    EXPECT_THAT(yaml, Not(HasSubstr(left)));
  }

  const Played played = Play(file);
  EXPECT_EQ(played.status, 0) << played.out;
  EXPECT_THAT(played.out,
              HasSubstr(WriteJsonText(*status.Find("expectations")) + " expectation(s), 0 failed"))
      << yaml;

  // The expectations are the outcomes: one volume other than the one seen
  // fails the playback.
  std::string changed = yaml;
  for (std::size_t at = changed.find("\"volume\": 30"); at != std::string::npos;
       at = changed.find("\"volume\": 30", at)) {
    changed.replace(at, 12, "\"volume\": 31");
  }
  ASSERT_NE(changed, yaml);
  const std::filesystem::path tampered = folder_ / "tampered.yaml";
  std::ofstream(tampered) << changed;
  const Played failed = Play(tampered);
  EXPECT_EQ(failed.status, 1);
  EXPECT_THAT(failed.out, HasSubstr("volume: expected 31, got 30"));
}

TEST_F(SessionRecorderTest, RoutesAnswerWhatTheRecordingStateAllows) {
  Record();
  const struct {
    const char* method;
    const char* path;
    unsigned status;
    const char* text;
  } kRows[] = {
      {"GET", "/host/record/scenario.yaml", 404, "nothing was recorded yet"},
      {"POST", "/host/record/stop", 409, "no recording runs"},
      {"POST", "/host/record/start", 200, "\"recording\":true"},
      {"POST", "/host/record/start", 409, "a recording runs already"},
      {"GET", "/host/record/scenario.yaml", 200, "  # the recording\n"},
      {"POST", "/host/record/stop", 200, "\"recording\":false"},
      {"POST", "/host/record/stop", 409, "no recording runs"},
      {"GET", "/host/record", 200, "\"download\":\"/host/record/scenario.yaml\""},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(std::string(row.method) + " " + row.path);
    const WebAnswer answer = Call(row.method, row.path);
    EXPECT_EQ(answer.status, row.status);
    EXPECT_THAT(answer.body, HasSubstr(row.text));
  }
  const HostValue routes = Json(Call("GET", "/host/routes"));
  int listed = 0;
  for (const HostValue& route : routes.AsArray()) {
    listed += route.Find("path")->AsString().rfind("/host/record", 0) == 0;
  }
  EXPECT_EQ(listed, 4);
}

// A long session keeps a bounded history: past it a recording cannot
// start, and a recording that grows past it stops by itself and still
// plays back.
TEST_F(SessionRecorderTest, HistoryAndRecordingsAreBounded) {
  Record(4096);
  ASSERT_EQ(Call("POST", "/host/record/start").status, 200u);
  HostValue status;
  int puts = 0;
  for (; puts < 1000; ++puts) {
    Call("PUT", kVoice + "/self/micLevel", std::to_string(puts % 100));
    status = Json(Call("GET", "/host/record"));
    if (*status.Find("recording") == HostValue(false)) break;
  }
  EXPECT_LT(puts, 1000);
  EXPECT_EQ(*status.Find("limitReached"), HostValue(true));
  const std::string yaml = ReadFile(status.Find("file")->AsString());
  EXPECT_LE(yaml.size(), 4096u + 1024u);
  const Played played = Play(status.Find("file")->AsString());
  EXPECT_EQ(played.status, 0) << played.out;

  for (int i = 0; i < 100; ++i) Call("PUT", kVoice + "/self/micLevel", std::to_string(i));
  const WebAnswer refused = Call("POST", "/host/record/start");
  EXPECT_EQ(refused.status, 409u);
  EXPECT_THAT(refused.body, HasSubstr("restart plugin-host serve to record"));
}

}  // namespace
}  // namespace Kelp::Host
