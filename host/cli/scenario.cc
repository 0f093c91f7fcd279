#include "host/cli/scenario.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

#include "host/http_method.h"
#include "host/server/web_api.h"
#include "host/server/world_actions.h"
#include "host/standins/json_file.h"
#include "sdk/codecs/json_writer.h"
#include "sdk/codecs/yaml_reader.h"

namespace Kelp::Host {
namespace {

const std::string* TextOf(const HostValue* value) {
  return value != nullptr && value->kind() == HostValue::Kind::String ? &value->AsString()
                                                                      : nullptr;
}

std::optional<double> NumberOf(const HostValue& value) {
  switch (value.kind()) {
    case HostValue::Kind::Signed:
      return static_cast<double>(value.AsSigned());
    case HostValue::Kind::Unsigned:
      return static_cast<double>(value.AsUnsigned());
    case HostValue::Kind::Double:
      return value.AsDouble();
    default:
      return std::nullopt;
  }
}

// The file as a value: YAML through the SDK's reader, then into the host's
// own value model by way of JSON text.
bool LoadScenario(const std::string& path, HostValue& scenario, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const ConversionResult yaml = ReadYaml(text);
  if (!yaml.ok()) {
    error = path + " is not YAML: " + std::string(yaml.error());
    // The parser's own errors count lines and columns from 0 (the reader's
    // other messages from 1): say where that is as an editor counts.
    unsigned line = 0;
    unsigned column = 0;
    const std::size_t at = error.rfind(". At line: ");
    if (error.find("YAML parser error: ") != std::string::npos && at != std::string::npos &&
        std::sscanf(error.c_str() + at, ". At line: %u col: %u", &line, &column) == 2) {
      error += " (line " + std::to_string(line + 1) + ", column " + std::to_string(column + 1) +
               " of the file)";
    }
    return false;
  }
  HostValueResult value = ReadJsonText(WriteJson(yaml.value()));
  if (!value.ok()) {
    error = path + ": " + value.error;
    return false;
  }
  scenario = std::move(value.value);
  return true;
}

enum class StepKind { World, Request, Advance, Expect };

struct Step {
  StepKind kind;
  const HostValue* value;
};

// Checks the shape of every step before anything runs.
bool ReadSteps(const HostValue& scenario, std::vector<Step>& steps, std::string& error) {
  const HostValue* list = scenario.Find("steps");
  if (scenario.kind() != HostValue::Kind::Object || list == nullptr ||
      list->kind() != HostValue::Kind::Array) {
    error = "a scenario is a mapping with a list of 'steps'";
    return false;
  }
  const struct {
    const char* key;
    StepKind kind;
    std::set<std::string> allowed;
  } kKinds[] = {
      {"world", StepKind::World, {"world", "with"}},
      {"request", StepKind::Request, {"request", "body", "expect"}},
      {"advance", StepKind::Advance, {"advance"}},
      {"expect", StepKind::Expect, {"expect"}},
  };
  for (std::size_t i = 0; i < list->AsArray().size(); ++i) {
    const HostValue& step = list->AsArray()[i];
    const std::string where = "step " + std::to_string(i + 1) + ": ";
    if (step.kind() != HostValue::Kind::Object) {
      error = where + "a step is a mapping";
      return false;
    }
    const auto* kind = std::find_if(std::begin(kKinds), std::end(kKinds),
                                    [&](const auto& k) { return step.Find(k.key) != nullptr; });
    if (kind == std::end(kKinds)) {
      error = where + "a step needs one of 'world', 'request', 'advance' or 'expect'";
      return false;
    }
    for (const auto& [key, value] : step.AsObject()) {
      if (!kind->allowed.contains(key)) {
        error = where + "'" + key + "' does not belong in a '" + kind->key + "' step";
        return false;
      }
    }
    if (kind->kind == StepKind::World &&
        (TextOf(step.Find("world")) == nullptr || !FindWorldAction(*TextOf(step.Find("world"))))) {
      std::string names;
      for (const WorldAction& action : WorldActions()) names += std::string(" ") + action.name;
      error = where + "'world' names one of:" + names;
      return false;
    }
    if (kind->kind == StepKind::Request) {
      const std::string* request = TextOf(step.Find("request"));
      if (request == nullptr || request->find(" /") == std::string::npos) {
        error = where + "'request' is \"METHOD /path\"";
        return false;
      }
      // The methods `call` takes, written as they travel.
      static const std::set<std::string> kMethods = {"GET",   "PUT",  "POST",   "DELETE",
                                                     "PATCH", "HEAD", "OPTIONS"};
      if (!kMethods.contains(request->substr(0, request->find(' ')))) {
        error = where + "unknown method in '" + *request +
                "'; use GET, PUT, POST, DELETE, PATCH, HEAD or OPTIONS";
        return false;
      }
    }
    if (kind->kind == StepKind::Advance) {
      const std::optional<double> seconds = NumberOf(*step.Find("advance"));
      if (!seconds || !(*seconds >= 0 && *seconds <= 3600)) {
        error = where + "'advance' is a number of seconds from 0 to 3600";
        return false;
      }
    }
    const HostValue* expect = step.Find("expect");
    if (expect != nullptr && expect->kind() != HostValue::Kind::Object) {
      error = where + "'expect' is a mapping";
      return false;
    }
    steps.push_back({kind->kind, &step});
  }
  return true;
}

// Counts of what the host had seen when the last action started.
struct Mark {
  std::size_t published = 0;
  std::size_t logs = 0;
  std::size_t sent = 0;
  std::size_t notes = 0;
};

class ScenarioRun {
 public:
  ScenarioRun(PluginSession& session, std::FILE* out)
      : host_(session.host()), world_(session.world()), api_(host_, ""), out_(out) {}

  void Play(const std::vector<Step>& steps) {
    for (const Step& step : steps) {
      switch (step.kind) {
        case StepKind::World:
          World(*step.value);
          break;
        case StepKind::Request:
          Request(*step.value);
          break;
        case StepKind::Advance:
          Advance(*step.value);
          break;
        case StepKind::Expect:
          Expect(*step.value->Find("expect"));
          break;
      }
    }
    Flush();
  }

  int failures() const { return failures_; }
  int checks() const { return checks_; }

 private:
  void Line(std::string_view who, const std::string& text) {
    std::fprintf(out_, "[%8.3fs] %-16.*s %s\n", host_.NowSeconds(), static_cast<int>(who.size()),
                 who.data(), text.c_str());
  }

  void StartAction(const std::string& title) {
    Flush();
    std::fprintf(out_, "[%8.3fs] == %s\n", host_.NowSeconds(), title.c_str());
    mark_ = {host_.published().size(), host_.logLines().size(), host_.sentRequests().size(),
             world_.journal().notes().size()};
  }

  void World(const HostValue& step) {
    const WorldAction& action = *FindWorldAction(*TextOf(step.Find("world")));
    const HostValue* with = step.Find("with");
    const HostValue arguments = with != nullptr ? *with : HostValue(HostObject{});
    StartAction(std::string("world ") + action.name +
                (with != nullptr ? " " + WriteJsonText(*with) : ""));
    const std::string error = action.run(world_, arguments);
    if (!error.empty()) Fail(std::string(action.name) + ": " + error);
  }

  void Advance(const HostValue& step) {
    const HostValue arguments = MakeObject({{"seconds", *step.Find("advance")}});
    StartAction("advance " + WriteJsonText(*step.Find("advance")) + " s");
    const std::string error = FindWorldAction("advance-clock")->run(world_, arguments);
    if (!error.empty()) Fail("advance: " + error);
  }

  void Request(const HostValue& step) {
    const std::string& request = *TextOf(step.Find("request"));
    const std::size_t space = request.find(' ');
    const HostValue* body = step.Find("body");
    StartAction("request " + request +
                (body != nullptr ? " " + Abridged(WriteJsonText(*body)) : ""));
    const WebAnswer answer = api_.Handle({request.substr(0, space), request.substr(space + 1),
                                          body != nullptr ? WriteJsonText(*body) : "",
                                          body != nullptr ? "application/json" : ""});
    Flush();
    Line("  answer", std::to_string(answer.status) + " " + Abridged(answer.body));
    const HostValue* expect = step.Find("expect");
    if (expect == nullptr) return;
    const HostValueResult parsed = ReadJsonText(answer.body.empty() ? "null" : answer.body);
    for (const auto& [key, expected] : expect->AsObject()) {
      if (key == "status") {
        Check("status " + WriteJsonText(expected),
              NumberOf(expected) == static_cast<double>(answer.status)
                  ? ""
                  : "the status is " + std::to_string(answer.status));
      } else if (key == "body") {
        Check("body " + Abridged(WriteJsonText(expected)),
              parsed.ok() ? MatchPartially(expected, parsed.value) : "the answer is no JSON");
      } else if (key == "message") {
        const std::string* message = parsed.ok() ? TextOf(parsed.value.Find("message")) : nullptr;
        const std::string* wanted = TextOf(&expected);
        Check("message " + WriteJsonText(expected),
              message != nullptr && wanted != nullptr && message->find(*wanted) != std::string::npos
                  ? ""
                  : "the answer has no such message");
      } else {
        Check(key, "unknown expectation '" + key + "'; a request expects status, body or message");
      }
    }
  }

  void Expect(const HostValue& expect) {
    Flush();
    const HostValue* data = expect.Find("data");
    const HostValue* sentBody = expect.Find("sent-body");
    for (const auto& [key, expected] : expect.AsObject()) {
      const std::string* text = TextOf(&expected);
      const std::string title = key + " " + Abridged(WriteJsonText(expected));
      if (key == "data" || key == "sent-body") continue;
      if (text == nullptr) {
        Check(title, "'" + key + "' takes a text");
      } else if (key == "event") {
        Check(title + (data ? " with data " + Abridged(WriteJsonText(*data)) : ""),
              Event(*text, data));
      } else if (key == "log" || key == "no-log") {
        const bool found = Logged(*text);
        Check(title, found == (key == "log") ? "" : (found ? "it was logged" : "no such log line"));
      } else if (key == "sent") {
        Check(title + (sentBody ? " with " + Abridged(WriteJsonText(*sentBody)) : ""),
              Sent(*text, sentBody));
      } else if (key == "note") {
        Check(title, Noted(*text) ? "" : "no stand-in noted that");
      } else {
        Check(key, "unknown expectation '" + key +
                       "'; use event (with data), log, no-log, sent (with sent-body) or note");
      }
    }
  }

  // The last event on `uri` since the mark, matched against `data`.
  std::string Event(const std::string& uri, const HostValue* data) {
    const auto& published = host_.published();
    for (std::size_t i = published.size(); i > mark_.published; --i) {
      const PublishedEvent& event = published[i - 1];
      const std::string* eventUri = TextOf(event.payload.Find("uri"));
      if (event.name == "OnJsonApiEvent" || eventUri == nullptr || *eventUri != uri) continue;
      if (data == nullptr) return "";
      const HostValue* actual = event.payload.Find("data");
      return MatchPartially(*data, actual != nullptr ? *actual : HostValue());
    }
    return "no event on " + uri + " since the last action";
  }

  bool Logged(const std::string& text) const {
    const auto& lines = host_.logLines();
    for (std::size_t i = mark_.logs; i < lines.size(); ++i) {
      if (lines[i].text.find(text) != std::string::npos) return true;
    }
    return false;
  }

  bool Noted(const std::string& text) const {
    const auto& notes = world_.journal().notes();
    for (std::size_t i = mark_.notes; i < notes.size(); ++i) {
      if ((notes[i].who + ": " + notes[i].text).find(text) != std::string::npos) return true;
    }
    return false;
  }

  std::string Sent(const std::string& request, const HostValue* body) const {
    const std::size_t space = request.find(' ');
    const std::string method = space == std::string::npos ? "" : request.substr(0, space);
    const std::string prefix = space == std::string::npos ? request : request.substr(space + 1);
    const auto& sent = host_.sentRequests();
    std::string mismatch = "the plugin sent no such request since the last action";
    for (std::size_t i = sent.size(); i > mark_.sent; --i) {
      const OutboundRequest& candidate = sent[i - 1];
      if (candidate.path.rfind(prefix, 0) != 0) continue;
      if (!method.empty() && candidate.MethodText() != method) continue;
      if (body == nullptr) return "";
      const HostValue* argument = candidate.FirstArgument();
      mismatch = MatchPartially(*body, argument != nullptr ? *argument : HostValue());
      if (mismatch.empty()) return "";
    }
    return mismatch;
  }

  void Check(const std::string& title, const std::string& problem) {
    ++checks_;
    if (problem.empty()) {
      Line("  expect", title + ": ok");
    } else {
      Fail(title + ": " + problem);
    }
  }

  void Fail(const std::string& text) {
    ++failures_;
    Line("  FAILED", text);
  }

  // Prints what the host saw since the last flush, in the order it happened.
  void Flush() {
    const auto& calls = host_.calls();
    const auto& notes = world_.journal().notes();
    for (; shownCalls_ <= calls.size(); ++shownCalls_) {
      while (shownNotes_ < notes.size() && notes[shownNotes_].callIndex <= shownCalls_) {
        const WorldNote& note = notes[shownNotes_++];
        Line("  " + note.who, (note.warning ? "warning: " : "") + note.text);
      }
      if (shownCalls_ == calls.size()) break;
      const std::string& slot = calls[shownCalls_].slot;
      if (slot == "sendRequest" && shownSent_ < host_.sentRequests().size()) {
        ShowRequest(host_.sentRequests()[shownSent_++]);
      } else if (slot == "publishEvent" && shownPublished_ < host_.published().size()) {
        const PublishedEvent& event = host_.published()[shownPublished_++];
        const HostValue* uri = event.payload.Find("uri");
        const HostValue* data = event.payload.Find("data");
        if (event.name == "OnJsonApiEvent") continue;
        Line("  plugin event", (TextOf(uri) ? *TextOf(uri) : event.name) + " " +
                                   Abridged(data != nullptr ? WriteJsonText(*data) : ""));
      } else if (slot == "log" && shownLogs_ < host_.logLines().size()) {
        const LogLine& line = host_.logLines()[shownLogs_++];
        Line("  plugin log", std::string(LogLevelText(line.level)) + " " + line.text);
      }
    }
  }

  void ShowRequest(const OutboundRequest& request) {
    std::string text = request.MethodText() + " " + request.path;
    // Only changes are worth their body; a session join carries a token.
    const HostValue* body = request.FirstArgument();
    if (body != nullptr &&
        (request.method == HTTP_METHOD_PUT || request.method == HTTP_METHOD_PATCH)) {
      text += " " + Abridged(WriteJsonText(*body));
    }
    Line("  plugin asks", text);
  }

  ReferenceHost& host_;
  ClientWorld& world_;
  WebApi api_;
  std::FILE* out_;
  Mark mark_;
  int failures_ = 0;
  int checks_ = 0;
  std::size_t shownCalls_ = 0;
  std::size_t shownNotes_ = 0;
  std::size_t shownSent_ = 0;
  std::size_t shownPublished_ = 0;
  std::size_t shownLogs_ = 0;
};

}  // namespace

std::string MatchPartially(const HostValue& expected, const HostValue& actual,
                           const std::string& where) {
  const std::string at = where.empty() ? "" : where + ": ";
  if (expected.kind() == HostValue::Kind::Object) {
    if (actual.kind() != HostValue::Kind::Object) {
      return at + "expected an object, got " + Abridged(WriteJsonText(actual));
    }
    for (const auto& [key, value] : expected.AsObject()) {
      const HostValue* member = actual.Find(key);
      const std::string path = where.empty() ? key : where + "." + key;
      if (member == nullptr) return path + ": missing";
      std::string problem = MatchPartially(value, *member, path);
      if (!problem.empty()) return problem;
    }
    return "";
  }
  if (expected.kind() == HostValue::Kind::Array) {
    if (actual.kind() != HostValue::Kind::Array) {
      return at + "expected a list, got " + Abridged(WriteJsonText(actual));
    }
    if (expected.AsArray().size() != actual.AsArray().size()) {
      return at + "expected " + std::to_string(expected.AsArray().size()) + " element(s), got " +
             std::to_string(actual.AsArray().size());
    }
    for (std::size_t i = 0; i < expected.AsArray().size(); ++i) {
      std::string problem = MatchPartially(expected.AsArray()[i], actual.AsArray()[i],
                                           where + "[" + std::to_string(i) + "]");
      if (!problem.empty()) return problem;
    }
    return "";
  }
  const auto expectedNumber = NumberOf(expected);
  const auto actualNumber = NumberOf(actual);
  const bool same =
      expectedNumber && actualNumber ? *expectedNumber == *actualNumber : expected == actual;
  return same ? ""
              : at + "expected " + WriteJsonText(expected) + ", got " +
                    Abridged(WriteJsonText(actual));
}

int RunScenarioFile(const std::string& path, const SessionOptions& options, std::FILE* out,
                    std::FILE* err) {
  HostValue scenario;
  std::vector<Step> steps;
  std::string error;
  if (!LoadScenario(path, scenario, error) || !ReadSteps(scenario, steps, error)) {
    std::fprintf(err, "plugin-host run: %s\n", error.c_str());
    return 2;
  }
  SessionOptions sessionOptions = options;
  sessionOptions.signIn = false;  // a scenario signs in as one of its steps
  auto session = PluginSession::Start(sessionOptions, error);
  if (!session) {
    std::fprintf(err, "plugin-host run: %s\n", error.c_str());
    return 1;
  }
  const std::string* name = TextOf(scenario.Find("name"));
  std::fprintf(out, "scenario: %s\n", name != nullptr ? name->c_str() : path.c_str());
  if (const std::string* description = TextOf(scenario.Find("description"))) {
    std::fprintf(out, "  %s\n", description->c_str());
  }
  ScenarioRun run(*session, out);
  run.Play(steps);
  const auto& problems = session->host().problems();
  for (const std::string& problem : problems)
    std::fprintf(out, "host problem: %s\n", problem.c_str());
  std::fprintf(out, "result: %zu step(s), %d expectation(s), %d failed%s\n", steps.size(),
               run.checks(), run.failures(), problems.empty() ? "" : ", host problems");
  return run.failures() == 0 && problems.empty() ? 0 : 1;
}

}  // namespace Kelp::Host
