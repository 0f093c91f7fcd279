#include "sdk/binding/message_format.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace Kelp {
namespace {

constexpr std::size_t kMaxSpecLength = 60;

struct Spec {
  std::string flags;           // from "-+ #0"
  std::string widthPrecision;  // width, "." precision
  char letter = 0;
};

// Reads a printf-style specification at `at` (after "%" or "%N$"). Returns
// false when it is longer than the limit or runs off the end.
bool ReadSpec(std::string_view format, std::size_t& at, Spec& spec) {
  const std::size_t start = at;
  auto take = [&](const char* set) {
    while (at < format.size() && std::strchr(set, format[at]) != nullptr && format[at] != 0) ++at;
  };
  take("-+ #0");
  spec.flags.assign(format.substr(start, at - start));
  // Widths and precisions above the output limit could only make printf pad
  // for a long time; they are capped, which changes nothing visible.
  auto number = [&] {
    std::size_t value = 0;
    while (at < format.size() && format[at] >= '0' && format[at] <= '9') {
      value = std::min<std::size_t>(value * 10 + static_cast<std::size_t>(format[at] - '0'),
                                    kMaxMessageSize);
      ++at;
    }
    return value;
  };
  const std::size_t widthStart = at;
  const std::size_t width = number();
  if (at > widthStart) spec.widthPrecision = std::to_string(width);
  if (at < format.size() && format[at] == '.') {
    ++at;
    spec.widthPrecision += "." + std::to_string(number());
  }
  // Length modifiers are accepted and dropped: the argument's own type fixes
  // the length used.
  take("hlLjtz");
  if (at >= format.size() || at - start >= kMaxSpecLength) return false;
  spec.letter = format[at++];
  return true;
}

void Append(std::string& out, const std::string& printfFormat, const MessageArg& arg) {
  char buffer[kMaxMessageSize];
  int n = 0;
  switch (arg.type()) {
    case MessageArg::Type::Int32:
      n = std::snprintf(buffer, sizeof buffer, printfFormat.c_str(), static_cast<int>(arg.i64()));
      break;
    case MessageArg::Type::Int64:
      n = std::snprintf(buffer, sizeof buffer, printfFormat.c_str(),
                        static_cast<long long>(arg.i64()));
      break;
    case MessageArg::Type::UInt64:
      n = std::snprintf(buffer, sizeof buffer, printfFormat.c_str(),
                        static_cast<unsigned long long>(arg.u64()));
      break;
    case MessageArg::Type::Double:
      n = std::snprintf(buffer, sizeof buffer, printfFormat.c_str(), arg.f64());
      break;
    case MessageArg::Type::Text: {
      const std::string text(arg.text());
      n = std::snprintf(buffer, sizeof buffer, printfFormat.c_str(), text.c_str());
      break;
    }
  }
  if (n > 0)
    out.append(buffer, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buffer - 1));
}

// Builds the printf format for `arg` from the specification, replacing a
// letter the argument's type does not accept by its default.
std::string PrintfFormat(const Spec& spec, const MessageArg& arg) {
  const char* accepted = "";
  char fallback = 's';
  const char* length = "";
  switch (arg.type()) {
    case MessageArg::Type::Int32:
      accepted = "dciouxX";
      fallback = 'd';
      break;
    case MessageArg::Type::Int64:
      accepted = "dciouxX";
      fallback = 'd';
      length = "ll";
      break;
    case MessageArg::Type::UInt64:
      accepted = "ucdioxX";
      fallback = 'u';
      length = "ll";
      break;
    case MessageArg::Type::Double:
      accepted = "gaefGAEF";
      fallback = 'g';
      break;
    case MessageArg::Type::Text:
      break;
  }
  char letter =
      spec.letter != 0 && std::strchr(accepted, spec.letter) != nullptr ? spec.letter : fallback;
  // "%c" of a 64-bit value would need an int; print it as a number instead.
  if (letter == 'c' && arg.type() != MessageArg::Type::Int32) letter = fallback;
  if (arg.type() != MessageArg::Type::Text) {
    return "%" + spec.flags + spec.widthPrecision + length + letter;
  }
  // Only "-" has a defined meaning for "%s".
  const bool leftAlign = spec.flags.find('-') != std::string::npos;
  std::string format = leftAlign ? "%-" : "%";
  format += spec.widthPrecision;
  return format + 's';
}

}  // namespace

std::string FormatMessage(std::string_view format, std::initializer_list<MessageArg> args) {
  std::string out;
  const MessageArg* argv = args.begin();
  const std::size_t argc = args.size();
  std::size_t nextArg = 0;
  std::size_t at = 0;
  while (at < format.size() && out.size() < kMaxMessageSize - 1) {
    const char c = format[at];
    if (c != '%') {
      out.push_back(c);
      ++at;
      continue;
    }
    ++at;
    if (at < format.size() && format[at] == '%') {
      out.push_back('%');
      ++at;
      continue;
    }
    std::size_t index = 0;
    Spec spec;
    if (at < format.size() && format[at] >= '1' && format[at] <= '9') {
      std::size_t number = 0;
      while (at < format.size() && format[at] >= '0' && format[at] <= '9' && number < 1000) {
        number = number * 10 + static_cast<std::size_t>(format[at] - '0');
        ++at;
      }
      index = number - 1;
      if (at < format.size() && format[at] == '$') {
        ++at;
        if (!ReadSpec(format, at, spec)) break;
      }
    } else {
      if (!ReadSpec(format, at, spec)) break;
      index = nextArg++;
    }
    if (index < argc) Append(out, PrintfFormat(spec, argv[index]), argv[index]);
  }
  if (out.size() > kMaxMessageSize - 1) out.resize(kMaxMessageSize - 1);
  return out;
}

}  // namespace Kelp
