// Indented JSON for people to read (the call command, transcripts), and the
// repair of JSON text before it travels; compact JSON and parsing come from
// host/standins/json_file.h.
#ifndef KELP_HOST_SERVER_JSON_TEXT_H_
#define KELP_HOST_SERVER_JSON_TEXT_H_

#include <string>

#include "host/host_value.h"

namespace Kelp::Host {

// `value` as JSON indented by `indent` spaces per level.
std::string WriteIndentedJson(const HostValue& value, int indent = 4);

// `text` with every byte that is not part of a well-formed UTF-8 sequence
// (a stray continuation byte, a cut or overlong sequence, a surrogate, a
// code point past U+10FFFF) replaced by U+FFFD. Texts from outside (a
// request's path, a plugin's message) reach JSON strings byte for byte, and
// JSON, like a WebSocket text message, must be UTF-8.
std::string ReplaceInvalidUtf8(std::string text);

}  // namespace Kelp::Host

#endif  // KELP_HOST_SERVER_JSON_TEXT_H_
