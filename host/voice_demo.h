// The demo of `plugin-host run`: a short session of a player with a loaded
// voice plugin, played through the stand-ins of a ClientWorld and printed as
// a transcript on the virtual clock: what the other plugins did, what the
// plugin asked of them, what it published and what it logged.
#ifndef KELP_HOST_VOICE_DEMO_H_
#define KELP_HOST_VOICE_DEMO_H_

#include <cstdio>

#include "host/standins/client_world.h"

namespace Kelp::Host {

// REQUIRES: the world's host has loaded and initialised the plugin.
// Channel tokens never appear in the transcript. Returns the number of host
// problems seen (0 when the plugin kept the host's contract).
std::size_t RunVoiceDemo(ClientWorld& world, std::FILE* out);

}  // namespace Kelp::Host

#endif  // KELP_HOST_VOICE_DEMO_H_
