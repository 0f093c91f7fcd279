// The help value that describes a plugin's exposed API (functions, types and
// events) in the "Full" format (trees of the builtin Binding*Help records) or
// the "Epytext" format (epytext texts), generated from a TypeRegistry.
#ifndef KELP_SDK_BINDING_API_HELP_H_
#define KELP_SDK_BINDING_API_HELP_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "sdk/binding/binding_property.h"
#include "sdk/binding/builtin_types.h"
#include "sdk/binding/type_registry.h"

namespace Kelp {

// A structure with the fields "functions", "types" and "events", each section
// sorted by name (byte-wise). Full (1): each section is a collection of the
// items' Binding*Help records (an element stays empty when its record cannot
// be serialised). Epytext (2): each section is a structure mapping an item's
// name to its epytext text. Any other format: the three fields are empty.
// Takes the registry's lock only while copying its snapshots.
BindingProperty HelpValue(std::int32_t format, const TypeRegistry& registry);

// {type, elementType} of a TypeRef: "vector"/"map" with the element's type
// text; an enum or struct's registered name ("enum"/"struct" without a
// record); otherwise the code's name and an empty element type.
BindingFullTypeIdentifier FullTypeIdentifier(const TypeRef& type);

// "-" at the very start becomes "E{-}", "{" "E{lb}", "}" "E{rb}".
std::string EpytextEscape(std::string_view text);
// "bool" ... "object", "bytearray", "callback", "list[...]", "dict[...]",
// "L{name}"; the empty text for anything else.
std::string EpytextTypeName(const TypeRef& type);

// The epytext texts, every line ending in "\r\n".
std::string FunctionEpytext(const FunctionRecord& function);
// Struct or enum, by the record's isEnum flag. Reads the record without the
// registry's lock: registration must be over.
std::string TypeEpytext(const TypeRecord& type);
std::string EventEpytext(const ExposedEvent& event);

}  // namespace Kelp

#endif  // KELP_SDK_BINDING_API_HELP_H_
