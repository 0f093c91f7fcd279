// JSON text and files for the stand-ins that keep state on disk.
#ifndef KELP_HOST_STANDINS_JSON_FILE_H_
#define KELP_HOST_STANDINS_JSON_FILE_H_

#include <filesystem>
#include <string>
#include <string_view>

#include "host/host_value.h"

namespace Kelp::Host {

// JSON text of `value`. Blobs are written as arrays of byte values; NaN and
// the infinities, which JSON cannot hold, as null.
std::string WriteJsonText(const HostValue& value);

// `text` for a line a person reads (a transcript, a failed check): whole
// up to 4,000 bytes, which every payload of a voice session stays under;
// longer, its start (never a part of a UTF-8 sequence) and how many bytes
// were left out.
std::string Abridged(std::string text);

// Parses JSON text into a value. Nesting deeper than kMaxHostValueDepth,
// malformed text and trailing garbage are refused with an error naming the
// offset. Integers keep their sign class (Signed below 0, Unsigned otherwise).
HostValueResult ReadJsonText(std::string_view text);

// Replaces the file at `path` with `text` so that a reader sees either the
// old or the new file, never a part: the text goes to "<path>.tmp", is
// flushed to the disk, and the temporary file is renamed over `path`.
// Returns an empty string on success, else why it failed.
std::string ReplaceFile(const std::filesystem::path& path, std::string_view text);

// The whole file, or nothing when it cannot be read; `error` says why.
bool ReadWholeFile(const std::filesystem::path& path, std::string& text, std::string& error);

}  // namespace Kelp::Host

#endif  // KELP_HOST_STANDINS_JSON_FILE_H_
