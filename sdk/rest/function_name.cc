#include "sdk/rest/function_name.h"

namespace Kelp {
namespace {

char ToUpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char ToLowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

void AppendIdentifier(std::string_view text, bool& capitalize, std::string& out) {
  for (char c : text) {
    switch (c) {
      case '!':
      case '+':
      case '-':
      case '.':
      case '/':
      case '_':
        capitalize = true;
        break;
      case '{':
        out += "By";
        capitalize = true;
        break;
      case '}':
        break;
      default:
        out += capitalize ? ToUpperAscii(c) : c;
        capitalize = false;
    }
  }
}

}  // namespace

std::string MakeIdentifier(std::string_view text) {
  std::string out;
  bool capitalize = true;
  AppendIdentifier(text, capitalize, out);
  return out;
}

std::string FunctionName(HttpMethod method, std::string_view pathTemplate) {
  const std::string_view methodText = HttpMethodText(method);
  std::string prefix;
  if (!methodText.empty()) {
    prefix += methodText.front();
    for (char c : methodText.substr(1)) prefix += ToLowerAscii(c);
    prefix += '/';
  }
  std::string out;
  bool capitalize = true;
  AppendIdentifier(prefix, capitalize, out);
  AppendIdentifier(pathTemplate, capitalize, out);
  return out;
}

std::string_view NormalizePath(std::string_view pathTemplate) {
  if (pathTemplate.size() > 1 && pathTemplate.back() == '/') pathTemplate.remove_suffix(1);
  return pathTemplate;
}

}  // namespace Kelp
