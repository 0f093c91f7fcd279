// The host's matcher of endpoint path templates, used to route an inbound
// request to the endpoint function whose template fits its path.
//
// Template forms: "{name}" takes one segment (any run of characters without
// "/", the empty run included); "{+name}" takes the rest, "/" included;
// "{#name}" takes a "#" followed by the rest. Everything else must match
// literally, byte for byte. A template with an unclosed "{" matches nothing.
// Placeholders are greedy, leftmost first, as a regular expression would be.
#ifndef KELP_HOST_PATH_TEMPLATE_H_
#define KELP_HOST_PATH_TEMPLATE_H_

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Kelp::Host {

// Placeholder name and the text it took, undecoded, in template order.
using PathCaptures = std::vector<std::pair<std::string, std::string>>;

// The captures when `path` fits `pathTemplate` as a whole; nullopt otherwise.
std::optional<PathCaptures> MatchPathTemplate(std::string_view pathTemplate, std::string_view path);

}  // namespace Kelp::Host

#endif  // KELP_HOST_PATH_TEMPLATE_H_
