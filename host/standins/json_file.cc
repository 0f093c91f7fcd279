#include "host/standins/json_file.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
// <windows.h> maps ReplaceFile to its own API; ours is the one declared in json_file.h.
#undef ReplaceFile

#include <system_error>
#else
#include <unistd.h>
#endif

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace Kelp::Host {
namespace {

using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;

void Write(const HostValue& value, JsonWriter& writer) {
  switch (value.kind()) {
    case HostValue::Kind::Null:
      writer.Null();
      return;
    case HostValue::Kind::Bool:
      writer.Bool(value.AsBool());
      return;
    case HostValue::Kind::Signed:
      writer.Int64(value.AsSigned());
      return;
    case HostValue::Kind::Unsigned:
      writer.Uint64(value.AsUnsigned());
      return;
    case HostValue::Kind::Double:
      if (std::isfinite(value.AsDouble())) {
        writer.Double(value.AsDouble());
      } else {
        writer.Null();
      }
      return;
    case HostValue::Kind::String:
      writer.String(value.AsString().data(),
                    static_cast<rapidjson::SizeType>(value.AsString().size()));
      return;
    case HostValue::Kind::Blob:
      writer.StartArray();
      for (std::uint8_t byte : value.AsBlob()) writer.Uint(byte);
      writer.EndArray();
      return;
    case HostValue::Kind::Array:
      writer.StartArray();
      for (const HostValue& element : value.AsArray()) Write(element, writer);
      writer.EndArray();
      return;
    case HostValue::Kind::Object:
      writer.StartObject();
      for (const auto& [key, member] : value.AsObject()) {
        writer.Key(key.data(), static_cast<rapidjson::SizeType>(key.size()));
        Write(member, writer);
      }
      writer.EndObject();
      return;
  }
}

// `depth` counts the containers around `json`; the parser itself is
// iterative, so only this copy needs the bound.
bool Copy(const rapidjson::Value& json, int depth, HostValue& out) {
  if (json.IsArray() || json.IsObject()) {
    if (depth >= kMaxHostValueDepth) return false;
  }
  if (json.IsNull()) {
    out = HostValue();
  } else if (json.IsBool()) {
    out = json.GetBool();
  } else if (json.IsUint64()) {
    out = json.GetUint64();
  } else if (json.IsInt64()) {
    out = json.GetInt64();
  } else if (json.IsNumber()) {
    out = json.GetDouble();
  } else if (json.IsString()) {
    out = std::string(json.GetString(), json.GetStringLength());
  } else if (json.IsArray()) {
    HostArray array;
    array.reserve(json.Size());
    for (const auto& element : json.GetArray()) {
      if (!Copy(element, depth + 1, array.emplace_back())) return false;
    }
    out = std::move(array);
  } else {
    HostObject object;
    for (const auto& member : json.GetObject()) {
      object.emplace_back(std::string(member.name.GetString(), member.name.GetStringLength()),
                          HostValue());
      if (!Copy(member.value, depth + 1, object.back().second)) return false;
    }
    out = std::move(object);
  }
  return true;
}

std::string ErrnoText(const char* step) { return std::string(step) + ": " + std::strerror(errno); }

}  // namespace

std::string WriteJsonText(const HostValue& value) {
  rapidjson::StringBuffer buffer;
  JsonWriter writer(buffer);
  Write(value, writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

std::string Abridged(std::string text) {
  constexpr std::size_t kMaxShown = 4000;
  if (text.size() <= kMaxShown) return text;
  std::size_t cut = kMaxShown;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  const std::size_t left = text.size() - cut;
  text.resize(cut);
  return text + "... (" + std::to_string(left) + " more bytes)";
}

HostValueResult ReadJsonText(std::string_view text) {
  rapidjson::Document document;
  document.Parse<rapidjson::kParseIterativeFlag>(text.data(), text.size());
  HostValueResult result;
  if (document.HasParseError()) {
    result.error = std::string(rapidjson::GetParseError_En(document.GetParseError())) +
                   " at offset " + std::to_string(document.GetErrorOffset());
    return result;
  }
  if (!Copy(document, 0, result.value)) {
    result.value = HostValue();
    result.error = "nesting deeper than " + std::to_string(kMaxHostValueDepth);
  }
  return result;
}

#ifdef _WIN32
// Windows: rename cannot replace an existing file, so the finished copy is
// moved over the old one with MoveFileExW; _commit flushes it to disk first.
std::string ReplaceFile(const std::filesystem::path& path, std::string_view text) {
  const std::filesystem::path temporary = path.native() + L".tmp";
  const int fd = ::_wopen(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY |
                                                 _O_NOINHERIT, _S_IREAD | _S_IWRITE);
  if (fd < 0) return ErrnoText("open");
  const auto fail = [&](const char* step, bool open) {
    const std::string error = ErrnoText(step);
    if (open) ::_close(fd);
    ::_wunlink(temporary.c_str());
    return error;
  };
  std::size_t written = 0;
  while (written < text.size()) {
    const std::size_t left = text.size() - written;
    const std::size_t chunk = left < (1u << 30) ? left : (1u << 30);
    const int n = ::_write(fd, text.data() + written, static_cast<unsigned>(chunk));
    if (n <= 0) return fail("write", true);
    written += static_cast<std::size_t>(n);
  }
  if (::_commit(fd) != 0) return fail("fsync", true);
  if (::_close(fd) != 0) return fail("close", false);
  if (!::MoveFileExW(temporary.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD code = ::GetLastError();
    ::_wunlink(temporary.c_str());
    return "rename: " + std::system_category().message(static_cast<int>(code));
  }
  return {};
}
#else
std::string ReplaceFile(const std::filesystem::path& path, std::string_view text) {
  const std::filesystem::path temporary = path.string() + ".tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return ErrnoText("open");
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const std::string error = ErrnoText("write");
      ::close(fd);
      ::unlink(temporary.c_str());
      return error;
    }
    written += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) {
    const std::string error = ErrnoText("fsync");
    ::close(fd);
    ::unlink(temporary.c_str());
    return error;
  }
  if (::close(fd) != 0) {
    const std::string error = ErrnoText("close");
    ::unlink(temporary.c_str());
    return error;
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string error = ErrnoText("rename");
    ::unlink(temporary.c_str());
    return error;
  }
  return {};
}
#endif

bool ReadWholeFile(const std::filesystem::path& path, std::string& text, std::string& error) {
#ifdef _WIN32
  std::FILE* file = ::_wfopen(path.c_str(), L"rb");
#else
  std::FILE* file = std::fopen(path.c_str(), "rb");
#endif
  if (file == nullptr) {
    error = ErrnoText("open");
    return false;
  }
  text.clear();
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    error = "read failed";
    return false;
  }
  return true;
}

}  // namespace Kelp::Host
