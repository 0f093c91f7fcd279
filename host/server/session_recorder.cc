#include "host/server/session_recorder.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <system_error>
#include <vector>

#include "host/server/world_actions.h"
#include "host/standins/json_file.h"

namespace Kelp::Host {
namespace {

constexpr std::string_view kWorldPrefix = "/host/world/";
constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
// The longest advance a scenario step takes.
constexpr std::int64_t kLongestAdvance = 3600 * kNanosecondsPerSecond;

// `value` in YAML flow style. JSON's own text would do for most of it, but
// YAML wants a space after the colon of a key; strings and numbers keep
// their JSON spelling, which YAML reads alike.
std::string Flow(const HostValue& value) {
  std::string text;
  if (value.kind() == HostValue::Kind::Object) {
    for (const auto& [key, member] : value.AsObject()) {
      text += (text.empty() ? "{" : ", ") + WriteJsonText(HostValue(key)) + ": " + Flow(member);
    }
    return text.empty() ? "{}" : text + "}";
  }
  if (value.kind() == HostValue::Kind::Array) {
    for (const HostValue& element : value.AsArray()) {
      text += (text.empty() ? "[" : ", ") + Flow(element);
    }
    return text.empty() ? "[]" : text + "]";
  }
  return WriteJsonText(value);
}

// Seconds from nanoseconds, exactly: "2.5", "10", "0.000000001".
std::string Seconds(std::int64_t nanoseconds) {
  char text[48];
  std::snprintf(text, sizeof text, "%" PRId64 ".%09" PRId64, nanoseconds / kNanosecondsPerSecond,
                nanoseconds % kNanosecondsPerSecond);
  std::string seconds(text);
  while (seconds.back() == '0') seconds.pop_back();
  if (seconds.back() == '.') seconds.pop_back();
  return seconds;
}

bool IsJsonContentType(const std::string& contentType) {
  const std::string_view type(contentType);
  return type.empty() || type.substr(0, type.find(';')) == "application/json";
}

std::string UtcNow(const char* format) {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &now);
#else
  gmtime_r(&now, &utc);
#endif
  char text[64];
  std::strftime(text, sizeof text, format, &utc);
  return text;
}

}  // namespace

SessionRecorder::SessionRecorder(WebApi& api, ReferenceHost& host, std::filesystem::path folder,
                                 bool signedIn, std::size_t byteLimit)
    : api_(api), host_(host), folder_(std::move(folder)), byteLimit_(byteLimit) {
  published_ = host_.published().size();
  if (signedIn) Add({"  - world: sign-in\n", "", 0});
  api_.set_observer(this);
  api_.AddControlRoute("POST", "/host/record/start",
                       "starts recording what is done here as a scenario for plugin-host run",
                       [this](const HostValue&) { return Start(); });
  api_.AddControlRoute("POST", "/host/record/stop",
                       "stops the recording and writes it under the data folder",
                       [this](const HostValue&) { return Stop(); });
  api_.AddControlRoute("GET", "/host/record",
                       "whether a recording runs, its steps and expectations, its file",
                       [this](const HostValue&) { return Status(); });
  api_.AddControlRoute("GET", "/host/record/scenario.yaml",
                       "the last recording as a scenario file (the current one while it runs)",
                       [this](const HostValue&) {
                         const std::string text = recording_ ? Scenario() : scenario_;
                         if (text.empty()) return ErrorAnswer(404, "nothing was recorded yet");
                         return WebAnswer{200, "application/yaml; charset=utf-8", text};
                       });
}

SessionRecorder::~SessionRecorder() { api_.set_observer(nullptr); }

void SessionRecorder::Before(const WebRequest&) {
  clockBefore_ = host_.NowNanoseconds();
  publishedBefore_ = host_.published().size();
}

void SessionRecorder::After(const WebRequest& request, WebRoute route, const WebAnswer& answer) {
  Step step;
  if (!StepOf(request, route, answer, step)) return;
  // The clock's move before the request and the request itself each
  // expect what they caused.
  AddClockMove(clockBefore_, publishedBefore_);
  ExpectPublications(publishedBefore_, host_.published().size(), step);
  Add(std::move(step));
  clock_ = host_.NowNanoseconds();
  published_ = host_.published().size();
}

bool SessionRecorder::StepOf(const WebRequest& request, WebRoute route, const WebAnswer& answer,
                             Step& step) const {
  const std::string path = request.target.substr(0, request.target.find('?'));
  HostValue body;
  if (!request.body.empty()) {
    HostValueResult parsed = ReadJsonText(request.body);
    // A scenario's body is JSON; anything else could not be played alike.
    if (!parsed.ok() || !IsJsonContentType(request.contentType)) return false;
    body = std::move(parsed.value);
  }
  if (route == WebRoute::Control) {
    if (request.method != "POST" || path.rfind(kWorldPrefix, 0) != 0 || answer.status != 200) {
      return false;
    }
    const std::string name = path.substr(kWorldPrefix.size());
    if (FindWorldAction(name) == nullptr) return false;
    if (const HostValue* seconds = body.Find("seconds"); name == "advance-clock" && seconds) {
      step.text = "  - advance: " + Flow(*seconds) + "\n";
      return true;
    }
    step.text = "  - world: " + name + "\n";
    const bool noArguments =
        body.IsNull() || (body.kind() == HostValue::Kind::Object && body.AsObject().empty());
    if (!noArguments) step.text += "    with: " + Flow(body) + "\n";
    return true;
  }
  if (route != WebRoute::Plugin) return false;
  step.text =
      "  - request: " + WriteJsonText(HostValue(request.method + " " + request.target)) + "\n";
  if (!request.body.empty()) step.text += "    body: " + Flow(body) + "\n";
  HostValue expected = MakeObject({{"status", answer.status}});
  step.checks = 1;
  if (!answer.body.empty()) {
    HostValueResult answered = ReadJsonText(answer.body);
    if (answered.ok()) {
      expected.Set("body", std::move(answered.value));
      ++step.checks;
    }
  }
  step.expectation = "    expect: " + Flow(expected) + "\n";
  return true;
}

void SessionRecorder::AddClockMove(std::int64_t now, std::size_t publishedThen) {
  std::int64_t left = now - clock_;
  while (left > 0) {
    const std::int64_t part = std::min(left, kLongestAdvance);
    left -= part;
    Step step{"  - advance: " + Seconds(part) + "\n", "", 0};
    // What came due while the clock moved belongs to its last part.
    if (left == 0) ExpectPublications(published_, publishedThen, step);
    Add(std::move(step));
  }
  clock_ = now;
  published_ = publishedThen;
}

void SessionRecorder::ExpectPublications(std::size_t from, std::size_t to, Step& step) const {
  const auto& published = host_.published();
  // The last publication of each resource, in the order of those.
  std::vector<std::pair<std::string, const HostValue*>> last;
  for (std::size_t i = std::max(from, published.first()); i < to; ++i) {
    const PublishedEvent& event = published[i];
    const HostValue* uri = event.payload.Find("uri");
    // Each resource also goes out on the common channel; the runner looks
    // at the resource's own.
    if (event.name == "OnJsonApiEvent" || uri == nullptr ||
        uri->kind() != HostValue::Kind::String) {
      continue;
    }
    std::erase_if(last, [&](const auto& entry) { return entry.first == uri->AsString(); });
    last.emplace_back(uri->AsString(), event.payload.Find("data"));
  }
  for (const auto& [uri, data] : last) {
    step.expectation += "  - expect:\n      event: " + WriteJsonText(HostValue(uri)) + "\n" +
                        "      data: " + Flow(data != nullptr ? *data : HostValue()) + "\n";
    ++step.checks;
  }
}

void SessionRecorder::Add(Step step) {
  if (!historyLost_) {
    history_ += step.text;
    ++historySteps_;
    if (history_.size() > byteLimit_) {
      historyLost_ = true;
      history_.clear();
      history_.shrink_to_fit();
    }
  }
  if (!recording_) return;
  recorded_ += step.text + step.expectation;
  ++recordedSteps_;
  checks_ += step.checks;
  if (prelude_.size() + recorded_.size() > byteLimit_) {
    limitReached_ = true;
    Stop();
  }
}

WebAnswer SessionRecorder::Start() {
  if (recording_) return ErrorAnswer(409, "a recording runs already");
  if (historyLost_) {
    return ErrorAnswer(409,
                       "this session has grown past what a recording can replay from its start (" +
                           std::to_string(byteLimit_) +
                           " bytes of steps); restart plugin-host serve to record");
  }
  // The clock's move up to now belongs to the history, without expectations.
  AddClockMove(host_.NowNanoseconds(), host_.published().size());
  prelude_ = history_;
  preludeSteps_ = historySteps_;
  recorded_.clear();
  recordedSteps_ = 0;
  checks_ = 0;
  limitReached_ = false;
  title_ = UtcNow("%Y-%m-%d %H:%M:%S UTC");
  recording_ = true;
  return Status();
}

WebAnswer SessionRecorder::Stop() {
  if (!recording_) return ErrorAnswer(409, "no recording runs");
  // What came due since the last step is part of what was seen.
  AddClockMove(host_.NowNanoseconds(), host_.published().size());
  scenario_ = Scenario();
  recording_ = false;
  const std::string error = WriteRecording(scenario_);
  if (!error.empty()) {
    file_.clear();
    return ErrorAnswer(500, "the recording is kept for download but was not written: " + error);
  }
  return Status();
}

WebAnswer SessionRecorder::Status() const {
  return JsonAnswer(MakeObject(
      {{"recording", recording_},
       {"steps", recordedSteps_},
       {"expectations", checks_},
       {"stepsBefore", preludeSteps_},
       {"limitReached", limitReached_},
       {"file", file_},
       {"download", scenario_.empty() && !recording_ ? HostValue()
                                                     : HostValue("/host/record/scenario.yaml")}}));
}

std::string SessionRecorder::Scenario() const {
  return "# Recorded by plugin-host serve: play it with plugin-host run FILE.\n"
         "name: " +
         WriteJsonText(HostValue("Recorded session " + title_)) + "\n" + "description: " +
         WriteJsonText(HostValue(std::to_string(preludeSteps_) +
                                 " step(s) bring a fresh client to where the recording started; " +
                                 std::to_string(recordedSteps_) + " recorded step(s) expect what " +
                                 "they caused")) +
         "\nsteps:\n  # the session before the recording\n" + prelude_ + "  # the recording\n" +
         recorded_;
}

std::string SessionRecorder::WriteRecording(const std::string& text) {
  std::error_code error;
  std::filesystem::create_directories(folder_, error);
  if (error) return "cannot create " + folder_.string() + ": " + error.message();
  const std::string stem = "session-" + UtcNow("%Y%m%d-%H%M%S");
  std::filesystem::path path = folder_ / (stem + ".yaml");
  for (int i = 2; std::filesystem::exists(path, error); ++i) {
    path = folder_ / (stem + "-" + std::to_string(i) + ".yaml");
  }
  const std::filesystem::path partial = path.string() + ".tmp";
  {
    std::ofstream file(partial, std::ios::binary | std::ios::trunc);
    file << text;
    file.flush();
    if (!file) return "cannot write " + partial.string();
  }
  std::filesystem::rename(partial, path, error);
  if (error) return "cannot rename " + partial.string() + ": " + error.message();
  file_ = path.string();
  return "";
}

}  // namespace Kelp::Host
