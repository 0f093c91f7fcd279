// Indented JSON for people to read (the call command, transcripts); compact
// JSON and parsing come from host/standins/json_file.h.
#ifndef KELP_HOST_SERVER_JSON_TEXT_H_
#define KELP_HOST_SERVER_JSON_TEXT_H_

#include <string>

#include "host/host_value.h"

namespace Kelp::Host {

// `value` as JSON indented by `indent` spaces per level.
std::string WriteIndentedJson(const HostValue& value, int indent = 4);

}  // namespace Kelp::Host

#endif  // KELP_HOST_SERVER_JSON_TEXT_H_
