// Steps that `plugin-host run` takes after init, in command-line order:
//
//   --call METHOD PATH [--json BODY]   a request to one of the plugin's routes
//   --advance SECONDS                  moves the virtual clock
//
// Each step prints what happened and what the plugin published meanwhile.
#ifndef KELP_HOST_RUN_STEPS_H_
#define KELP_HOST_RUN_STEPS_H_

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "host/reference_host.h"

namespace Kelp::Host {

struct RunStep {
  std::uint32_t method = 0;  // 0: advance the clock
  std::string path;
  std::optional<std::string> body;  // sent as application/json
  double seconds = 0;
};

// Reads the step option at argv[*index] into `steps` and moves *index to
// its last argument. Returns 1 when argv[*index] is a step option and was
// read, 0 when it is no step option, and -1 (after a message on `err`) when
// its arguments are wrong: a method other than DELETE to PUT, a path without
// a leading "/", a --json that follows no --call or a second --json, or
// seconds that are negative or not a number.
int ReadRunStep(int argc, const char* const* argv, int* index, std::vector<RunStep>& steps,
                std::FILE* err);

// Runs the steps in order and prints each to `out`. Returns false when a
// request found no route (the others still run).
bool RunSteps(ReferenceHost& host, const std::vector<RunStep>& steps, std::FILE* out);

// Prints the events the plugin published from index `from` on; returns the
// new count.
std::size_t PrintPublished(const ReferenceHost& host, std::size_t from, std::FILE* out);

}  // namespace Kelp::Host

#endif  // KELP_HOST_RUN_STEPS_H_
