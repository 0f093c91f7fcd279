// `decode json|msgpack|yaml FILE`: reads a file with one of the SDK's
// decoders and prints the value as indented JSON, or the decoder's error.
#ifndef KELP_HOST_DECODE_COMMAND_H_
#define KELP_HOST_DECODE_COMMAND_H_

#include <cstdio>

namespace Kelp::Host {

// Decodes the bytes of the file at `path` as `format` ("json", "msgpack"
// or "yaml"). On success prints the value as JSON indented by four spaces,
// followed by a line feed, to `out` and returns 0. When the decoder fails
// prints its message and a line feed to `err` and returns 1. An unknown
// format or an unreadable file is a usage error: a message on `err` and 2.
// MessagePack bytes after the first value are an error.
int RunDecodeCommand(const char* format, const char* path, std::FILE* out, std::FILE* err);

}  // namespace Kelp::Host

#endif  // KELP_HOST_DECODE_COMMAND_H_
