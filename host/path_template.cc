#include "host/path_template.h"

namespace Kelp::Host {
namespace {

enum class TokenKind { Literal, Segment, Rest, Fragment };

struct Token {
  TokenKind kind;
  std::string text;  // the literal, or the placeholder's name
};

std::optional<std::vector<Token>> Parse(std::string_view pathTemplate) {
  std::vector<Token> tokens;
  std::size_t at = 0;
  while (at < pathTemplate.size()) {
    const std::size_t open = pathTemplate.find('{', at);
    if (open != at) {
      tokens.push_back({TokenKind::Literal, std::string(pathTemplate.substr(at, open - at))});
      if (open == std::string_view::npos) break;
    }
    const std::size_t close = pathTemplate.find('}', open);
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view name = pathTemplate.substr(open + 1, close - open - 1);
    TokenKind kind = TokenKind::Segment;
    if (!name.empty() && name.front() == '+') kind = TokenKind::Rest;
    if (!name.empty() && name.front() == '#') kind = TokenKind::Fragment;
    if (kind != TokenKind::Segment) name.remove_prefix(1);
    tokens.push_back({kind, std::string(name)});
    at = close + 1;
  }
  return tokens;
}

class Matcher {
 public:
  Matcher(const std::vector<Token>& tokens, std::string_view path) : tokens_(tokens), path_(path) {}

  bool Match(std::size_t token, std::size_t at) {
    if (token == tokens_.size()) return at == path_.size();
    const Token& current = tokens_[token];
    switch (current.kind) {
      case TokenKind::Literal:
        return path_.substr(at).starts_with(current.text) &&
               Match(token + 1, at + current.text.size());
      case TokenKind::Segment: {
        std::size_t end = path_.find('/', at);
        if (end == std::string_view::npos) end = path_.size();
        return TryLengths(token, at, end - at);
      }
      case TokenKind::Rest:
        return TryLengths(token, at, path_.size() - at);
      case TokenKind::Fragment:
        return at < path_.size() && path_[at] == '#' &&
               TryLengths(token, at + 1, path_.size() - at - 1);
    }
    return false;
  }

  PathCaptures TakeCaptures() { return std::move(captures_); }

 private:
  // Tries the placeholder `token` with every length from `longest` down,
  // starting at `at`; keeps the capture of the first that lets the rest fit.
  bool TryLengths(std::size_t token, std::size_t at, std::size_t longest) {
    for (std::size_t length = longest + 1; length-- > 0;) {
      captures_.emplace_back(tokens_[token].text, std::string(path_.substr(at, length)));
      if (Match(token + 1, at + length)) return true;
      captures_.pop_back();
    }
    return false;
  }

  const std::vector<Token>& tokens_;
  std::string_view path_;
  PathCaptures captures_;
};

}  // namespace

std::optional<PathCaptures> MatchPathTemplate(std::string_view pathTemplate,
                                              std::string_view path) {
  const auto tokens = Parse(pathTemplate);
  if (!tokens) return std::nullopt;
  Matcher matcher(*tokens, path);
  if (!matcher.Match(0, 0)) return std::nullopt;
  return matcher.TakeCaptures();
}

}  // namespace Kelp::Host
