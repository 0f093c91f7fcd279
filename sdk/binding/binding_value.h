// Operations on the boundary value BindingValue, and the two mappings between
// it and BindingProperty.
//
// Every owned payload comes from the plugin's memory functions, so a value
// built here can be destroyed by the host and the other way round.
#ifndef KELP_SDK_BINDING_BINDING_VALUE_H_
#define KELP_SDK_BINDING_BINDING_VALUE_H_

#include <cstdint>
#include <string_view>

#include "sdk/binding/binding_property.h"
#include "sdk/binding/enum_namer.h"
#include "sdk/plugin/abi.h"

namespace Kelp {

// The display name of a tag: "", "bool", "signed", "unsigned", "float",
// "string", "blob", "collection", "structure"; the empty text above 10.
const char* BindingValueKindName(std::uint32_t kind);

// Each setter first destroys what the value held.
void SetBool(BindingValue& value, bool b);
void SetSigned(BindingValue& value, std::int64_t i);
void SetUnsigned(BindingValue& value, std::uint64_t u);
void SetFloat(BindingValue& value, double f);
// Duplicates `text` (tag 6). Returns false when the memory functions fail;
// the value is then empty.
bool SetString(BindingValue& value, std::string_view text);
// Copies the bytes (tag 8). Returns false when the memory functions fail.
bool SetBlob(BindingValue& value, const std::uint8_t* bytes, std::uint32_t count);
// Take over a zero-filled array from Allocate (tags 9 and 10).
void AdoptCollection(BindingValue& value, BindingValue* elements, std::uint32_t count);
void AdoptStructure(BindingValue& value, BindingStructEntry* entries, std::uint32_t count);
// Releases what the value owns and zeroes all its bytes. Tags 0 to 5, 7 and
// unknown tags free nothing.
void Destroy(BindingValue& value);

// Stores `message` in `result` (value cleared, error duplicated, failed = 1).
void SetResultError(BindingResult& result, std::string_view message);
// Frees the error text and destroys the value.
void DestroyResult(BindingResult& result);

// Boundary value to tree. `fieldName` labels messages. On failure returns
// false and fills `failure`; siblings converted before the failure stay in
// `target`, which the caller discards. Refuses unknown tags, nesting deeper
// than kMaxNestingDepth, and collections or structures whose claimed count
// cannot be honoured (a null array, more than 0x0FFFFFFF items), and texts
// or blobs whose pointer is null while their count is not zero.
bool ToBindingProperty(const BindingValue& value, std::string_view fieldName,
                       BindingProperty& target, BindingResult& failure);

// Tree to boundary value; `value` must be empty. With a namer, an enum
// whose number has a named value travels as that name (tag 6), otherwise as
// its number (tag 2). Returns false when memory runs out; what was built is
// destroyed.
bool ToBindingValue(const BindingProperty& property, const EnumNamer* namer,
                    BindingValue& value);

}  // namespace Kelp

#endif  // KELP_SDK_BINDING_BINDING_VALUE_H_
