// Scenario files: a situation of the client scripted in YAML, played against
// the plugin with every stand-in, printed as a transcript on the virtual
// clock, with expectations that make the run fail.
//
//   name: Party night
//   steps:
//     - world: sign-in                   # a world action (see world_actions.h)
//     - world: form-party
//       with: {size: 3}
//     - request: PUT /tav-premade-voice/v1/participants/puuid-1/volume
//       body: 30                         # any JSON value; none: no body
//       expect: {status: 200}            # and/or body: (partial), message:
//     - advance: 10                      # virtual seconds
//     - expect:                          # about what the last action caused
//         event: /tav-premade-voice/v1/participants
//         data: [{puuid: puuid-0}, {volume: 30}]
//         log: Joined channel party-1    # a log line containing this
//         sent: PUT /voice-chat/v2/sessions/party-1   # a request, by prefix
//         note: joined channel            # a stand-in note containing this
//         no-log: Failed                 # no such log line
//
// Partial matching: an expected object needs only the keys it names, an
// expected list needs the same length and each element to match, numbers
// compare by value, anything else must be equal.
#ifndef KELP_HOST_CLI_SCENARIO_H_
#define KELP_HOST_CLI_SCENARIO_H_

#include <cstdio>
#include <string>

#include "host/cli/plugin_session.h"
#include "host/host_value.h"

namespace Kelp::Host {

// Plays the scenario in the file at `path` and prints its transcript to
// `out`. Returns 0 when every expectation held, 1 when one failed or the
// plugin broke the host's contract, 2 when the file cannot be read or is no
// scenario (the reason goes to `err`, naming the step).
int RunScenarioFile(const std::string& path, const SessionOptions& options, std::FILE* out,
                    std::FILE* err);

// Partial match of `actual` against `expected` as described above; on a
// mismatch returns where and why ("[1].volume: expected 30, got 75").
std::string MatchPartially(const HostValue& expected, const HostValue& actual,
                           const std::string& where = "");

}  // namespace Kelp::Host

#endif  // KELP_HOST_CLI_SCENARIO_H_
