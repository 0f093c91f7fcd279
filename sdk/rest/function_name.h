// How an endpoint's method and path template become its function name, and
// how a template is normalised before it is registered.
#ifndef KELP_SDK_REST_FUNCTION_NAME_H_
#define KELP_SDK_REST_FUNCTION_NAME_H_

#include <string>
#include <string_view>

#include "sdk/rest/http_method.h"

namespace Kelp {

// Turns `text` into an identifier, character by character, with a
// capitalise-next flag that starts set: "!", "+", "-", ".", "/" and "_" are
// dropped and set the flag; "{" appends "By" and sets it; "}" is dropped;
// any other character is appended, upper-cased (ASCII only) when the flag is
// set, which clears it. "tav-premade-voice" gives "TavPremadeVoice".
std::string MakeIdentifier(std::string_view text);

// The identifier of the method text with its first character kept, the rest
// lower-cased and a "/" after it (no prefix for an empty method text),
// followed by `pathTemplate`. GET of "/x/{id}" gives "GetXById".
std::string FunctionName(HttpMethod method, std::string_view pathTemplate);

// Drops the final "/" of a template longer than one character; "/" stays.
std::string_view NormalizePath(std::string_view pathTemplate);

}  // namespace Kelp

#endif  // KELP_SDK_REST_FUNCTION_NAME_H_
