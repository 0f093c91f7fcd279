// Records what a person does through the web API as a scenario file that
// `plugin-host run` plays back (the format of host/cli/scenario.h).
//
// The recorder watches every request WebApi handles and keeps as steps:
//   - each stand-in action that succeeded (POST /host/world/ACTION), the
//     clock action as an `advance` step;
//   - each request to the plugin whose body is JSON or absent;
//   - the moves of the virtual clock between them (the server moves it with
//     real time), as `advance` steps.
// While a recording runs, each step carries what it caused as expectations:
// a request its answer's status and body, every step the last publication
// of each resource it caused. The host's clock and the stand-ins' ids are
// deterministic, so a fresh host that plays the same steps from the start
// sees the same outcomes.
//
// A scenario starts from a fresh host, so a recording begins with the steps
// taken since the server started (with no expectations) that bring the
// world to where the recording started. Those are kept in a bounded amount
// (`byteLimit`); once the session has outgrown it, a recording can no
// longer start. A recording that outgrows it stops by itself.
//
// Routes (listed by GET /host/routes):
//   POST /host/record/start          starts a recording
//   POST /host/record/stop           stops it and writes the file into `folder`
//   GET  /host/record                {recording, steps, expectations, stepsBefore,
//                                    limitReached, file, download}
//   GET  /host/record/scenario.yaml  the last recording (the current one while
//                                    it runs)
//
// Single-threaded, like the WebApi it observes.
#ifndef KELP_HOST_SERVER_SESSION_RECORDER_H_
#define KELP_HOST_SERVER_SESSION_RECORDER_H_

#include <cstdint>
#include <filesystem>
#include <string>

#include "host/reference_host.h"
#include "host/server/web_api.h"

namespace Kelp::Host {

inline constexpr std::size_t kDefaultRecordingBytes = 1 << 20;

class SessionRecorder : public WebObserver {
 public:
  // Adds the record routes to `api` and observes it. `signedIn`: the session
  // was started with the player's sign-in at the clock's start (as serve
  // starts it), which the scenario plays as its first step. Recordings are
  // written into `folder` (made when missing). `api` and `host` must
  // outlive the recorder.
  SessionRecorder(WebApi& api, ReferenceHost& host, std::filesystem::path folder, bool signedIn,
                  std::size_t byteLimit = kDefaultRecordingBytes);
  ~SessionRecorder() override;
  SessionRecorder(const SessionRecorder&) = delete;
  SessionRecorder& operator=(const SessionRecorder&) = delete;

  void Before(const WebRequest& request) override;
  void After(const WebRequest& request, WebRoute route, const WebAnswer& answer) override;

 private:
  struct Step {
    std::string text;         // the step's lines, without expectations
    std::string expectation;  // the lines that expect what it caused
    int checks = 0;           // how many expectations those are
  };

  WebAnswer Start();
  WebAnswer Stop();
  WebAnswer Status() const;
  // The step of a request the recorder keeps; false for one it leaves out.
  bool StepOf(const WebRequest& request, WebRoute route, const WebAnswer& answer, Step& step) const;
  // The clock's move since the last step up to `now`, as advance steps that
  // expect the publications up to position `publishedThen`.
  void AddClockMove(std::int64_t now, std::size_t publishedThen);
  // Expectations of the publications at positions [from, to), the last one
  // per resource.
  void ExpectPublications(std::size_t from, std::size_t to, Step& step) const;
  void Add(Step step);
  std::string Scenario() const;
  std::string WriteRecording(const std::string& text);

  WebApi& api_;
  ReferenceHost& host_;
  std::filesystem::path folder_;
  std::size_t byteLimit_;

  // Every step since the server started, while they fit in byteLimit_.
  std::string history_;
  std::size_t historySteps_ = 0;
  bool historyLost_ = false;
  // The clock and the publications at the end of the last step.
  std::int64_t clock_ = 0;
  std::size_t published_ = 0;
  // Seen in Before, for the request being handled.
  std::int64_t clockBefore_ = 0;
  std::size_t publishedBefore_ = 0;

  bool recording_ = false;
  bool limitReached_ = false;
  std::string prelude_;  // the history a recording starts with
  std::size_t preludeSteps_ = 0;
  std::string recorded_;  // the steps recorded since, with expectations
  std::size_t recordedSteps_ = 0;
  int checks_ = 0;
  std::string title_;
  std::string scenario_;  // the last finished recording
  std::string file_;      // where it was written
};

}  // namespace Kelp::Host

#endif  // KELP_HOST_SERVER_SESSION_RECORDER_H_
