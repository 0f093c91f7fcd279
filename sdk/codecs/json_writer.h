// Writing a BindingProperty as JSON text.
#ifndef KELP_SDK_CODECS_JSON_WRITER_H_
#define KELP_SDK_CODECS_JSON_WRITER_H_

#include <string>
#include <string_view>

#include "sdk/binding/binding_property.h"
#include "sdk/binding/enum_namer.h"

namespace Kelp {

// Writes `value` as JSON. An empty root gives the empty text; inside a
// container an empty value is null. With an empty `lineBreak` the text is
// compact (no white space); otherwise it is indented by four spaces per
// level with each element and member on its own line, lines ending in
// `lineBreak` (such as "\n" or "\r\n").
//
// Fields appear in ascending byte-wise order of name. Floats take their
// shortest round-trip form ("0.0" for zero); a NaN or infinite float, which
// JSON cannot hold, is written as null. Strings escape the quotation mark,
// the reverse solidus and control characters and pass other bytes on
// unchanged. Blobs are standard base64 strings with "=" padding. An enum is
// written by name when `namer` knows a name for its number, otherwise as
// the number. Writing never fails and never recurses.
std::string WriteJson(const BindingProperty& value, const EnumNamer* namer = nullptr,
                      std::string_view lineBreak = {});

}  // namespace Kelp

#endif  // KELP_SDK_CODECS_JSON_WRITER_H_
