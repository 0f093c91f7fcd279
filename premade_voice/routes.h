// The plugin's REST routes under "/tav-premade-voice/v1/".
#ifndef KELP_PREMADE_VOICE_ROUTES_H_
#define KELP_PREMADE_VOICE_ROUTES_H_

namespace Kelp::Client {

class PremadeVoicePlugin;

// Registers every route of the service, in the order of its table, each
// bound to its handler on `plugin`. Call from RegisterEndpoints, after the
// voice types.
void RegisterVoiceRoutes(PremadeVoicePlugin& plugin);

}  // namespace Kelp::Client

#endif  // KELP_PREMADE_VOICE_ROUTES_H_
