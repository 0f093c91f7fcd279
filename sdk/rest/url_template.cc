#include "sdk/rest/url_template.h"

#include <cstring>

namespace Kelp {
namespace {

constexpr std::string_view kEscaped = "^$.*+?()[]|\\";

bool InClass(PlaceholderKind kind, char c) {
  if (kind == PlaceholderKind::Segment) return c != '/';
  // "." of an ECMAScript pattern stops at line terminators.
  return c != '\n' && c != '\r';
}

// End of the longest run from `from` whose characters fit `kind`.
std::size_t RunEnd(PlaceholderKind kind, std::string_view path, std::size_t from) {
  if (kind == PlaceholderKind::Segment && from < path.size()) {
    const void* slash = std::memchr(path.data() + from, '/', path.size() - from);
    return slash == nullptr ? path.size() : static_cast<const char*>(slash) - path.data();
  }
  while (from < path.size() && InClass(kind, path[from])) ++from;
  return from;
}

bool LiteralAt(std::string_view path, std::size_t at, std::string_view literal) {
  return at <= path.size() && path.size() - at >= literal.size() &&
         std::memcmp(path.data() + at, literal.data(), literal.size()) == 0;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

UrlTemplate::UrlTemplate(std::string_view text) : text_(text) {
  templated_ = text.find('{') != std::string_view::npos;
  if (!templated_) return;
  std::string* literal = &head_;
  bool inPlaceholder = false;
  RoutePlaceholder open{PlaceholderKind::Segment, {}};
  for (char c : text) {
    if (c == '{') {
      inPlaceholder = true;
      open = {PlaceholderKind::Segment, {}};
      continue;
    }
    if (!inPlaceholder) {
      *literal += c;
      continue;
    }
    if (c == '}') {
      inPlaceholder = false;
      if (open.kind == PlaceholderKind::Fragment) *literal += '#';
      groups_.push_back({open.kind, {}});
      literal = &groups_.back().literalAfter;
      placeholders_.push_back(std::move(open));
      open = {PlaceholderKind::Segment, {}};
    } else if (open.name.empty() && c == '+') {
      open.kind = PlaceholderKind::Rest;
    } else if (open.name.empty() && c == '#') {
      open.kind = PlaceholderKind::Fragment;
    } else {
      open.name += c;
    }
  }
}

std::string UrlTemplate::EcmaScriptPattern() const {
  if (!templated_) return {};
  std::string pattern;
  auto appendLiteral = [&pattern](std::string_view literal) {
    for (char c : literal) {
      if (kEscaped.find(c) != std::string_view::npos) pattern += '\\';
      pattern += c;
    }
  };
  // A fragment's "#" already ends the literal before its group.
  appendLiteral(head_);
  for (const Group& group : groups_) {
    pattern += group.kind == PlaceholderKind::Segment ? "([^/]*)" : "(.*)";
    appendLiteral(group.literalAfter);
  }
  return pattern;
}

bool UrlTemplate::Match(std::string_view path, std::vector<std::string_view>& captures) const {
  captures.clear();
  if (!templated_) return path == text_;
  if (!LiteralAt(path, 0, head_)) return false;
  if (groups_.empty()) return path.size() == head_.size();
  if (groups_.size() == 1) return MatchOneGroup(path, captures);
  return MatchGroups(path, captures);
}

// With one group its end is fixed by the literal after it.
bool UrlTemplate::MatchOneGroup(std::string_view path,
                                std::vector<std::string_view>& captures) const {
  const Group& group = groups_[0];
  if (path.size() < head_.size() + group.literalAfter.size()) return false;
  const std::size_t end = path.size() - group.literalAfter.size();
  if (!LiteralAt(path, end, group.literalAfter)) return false;
  if (RunEnd(group.kind, path, head_.size()) < end) return false;
  captures.push_back(path.substr(head_.size(), end - head_.size()));
  return true;
}

// feasible[i][p]: groups i.. and their literals match path[p..] to the end.
// Computed from the last group backwards; then each group, front to back,
// takes the longest run that keeps the rest feasible, which is the first
// full match a backtracking matcher of the pattern would find.
bool UrlTemplate::MatchGroups(std::string_view path,
                              std::vector<std::string_view>& captures) const {
  const std::size_t n = groups_.size();
  const std::size_t width = path.size() + 1;
  std::vector<std::uint8_t> feasible(n * width, 0);
  auto rowAfter = [&](std::size_t i) -> const std::uint8_t* {
    return i + 1 < n ? &feasible[(i + 1) * width] : nullptr;
  };
  // Group i may end at e: its literal follows at e and the rest is feasible.
  auto canEndAt = [&](std::size_t i, std::size_t e) {
    const std::string_view literal = groups_[i].literalAfter;
    if (!LiteralAt(path, e, literal)) return false;
    const std::size_t next = e + literal.size();
    const std::uint8_t* after = rowAfter(i);
    return after == nullptr ? next == path.size() : after[next] != 0;
  };
  for (std::size_t i = n; i-- > 0;) {
    std::uint8_t* row = &feasible[i * width];
    std::size_t nextEnd = SIZE_MAX;  // smallest valid end at or after p
    std::size_t runEnd = path.size();
    for (std::size_t p = width; p-- > 0;) {
      if (p < path.size() && !InClass(groups_[i].kind, path[p])) runEnd = p;
      if (canEndAt(i, p)) nextEnd = p;
      row[p] = nextEnd <= runEnd;
    }
  }
  std::size_t at = head_.size();
  if (feasible[at] == 0) return false;
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t end = RunEnd(groups_[i].kind, path, at);
    while (!canEndAt(i, end)) --end;  // feasibility guarantees one at or after `at`
    captures.push_back(path.substr(at, end - at));
    at = end + groups_[i].literalAfter.size();
  }
  return true;
}

void PercentDecode(std::string_view in, std::string& out) {
  out.clear();
  // Most values hold nothing to decode: copy runs up to the next "+" or "%".
  for (std::size_t i = 0; i < in.size(); ++i) {
    std::size_t special = i;
    while (special < in.size() && in[special] != '+' && in[special] != '%') ++special;
    if (special != i) {
      out.append(in.data() + i, special - i);
      if (special == in.size()) break;
      i = special;
    }
    const char c = in[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && in.size() - i > 2 && HexDigit(in[i + 1]) >= 0 &&
               HexDigit(in[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(in[i + 1]) * 16 + HexDigit(in[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
}

}  // namespace Kelp
