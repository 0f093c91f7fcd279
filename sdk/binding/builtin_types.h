// The SDK's builtin types: the records the help formats are written in, and
// the generic and asynchronous event payloads. Every TypeRegistry registers
// them, in the order below, before any plugin type; their ids are declared
// by number.
#ifndef KELP_SDK_BINDING_BUILTIN_TYPES_H_
#define KELP_SDK_BINDING_BUILTIN_TYPES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "sdk/binding/binding_property.h"
#include "sdk/binding/type_id.h"

namespace Kelp {

class TypeRegistry;

enum class BindingHelpFormat : std::int32_t { Full = 1, Epytext = 2 };
template <>
struct DeclaredTypeId<BindingHelpFormat> {
  static constexpr std::uint32_t value = 0x2698AA94u;
};

enum class BindingAsyncState : std::int32_t {
  None = 0,
  Running = 1,
  Cancelling = 2,
  Cancelled = 3,
  Succeeded = 4,
  Failed = 5,
};
template <>
struct DeclaredTypeId<BindingAsyncState> {
  static constexpr std::uint32_t value = 0x4B896D21u;
};

struct BindingFullTypeIdentifier {
  static constexpr std::uint32_t kTypeId = 0x88B6D4CAu;
  std::string type;
  std::string elementType;
};

struct BindingFullArgumentHelp {
  static constexpr std::uint32_t kTypeId = 0x65FF9F6Fu;
  std::string name;
  std::string description;
  BindingFullTypeIdentifier type;
  bool optional = false;
};

struct BindingFullFunctionHelp {
  static constexpr std::uint32_t kTypeId = 0x835D167Au;
  std::string name;
  std::string nameSpace;
  std::vector<BindingFullArgumentHelp> arguments;
  BindingFullTypeIdentifier returns;
  std::string description;
  std::string help;
  bool threadSafe = false;
  std::string async;
  std::vector<std::string> tags;
};

struct BindingFullEnumValueHelp {
  static constexpr std::uint32_t kTypeId = 0xD0706E0Cu;
  std::string name;
  std::string description;
  std::int32_t value = 0;
};

struct BindingFullFieldHelp {
  static constexpr std::uint32_t kTypeId = 0x5E9DFDF6u;
  std::string name;
  std::string description;
  std::uint32_t offset = 0;
  BindingFullTypeIdentifier type;
  bool optional = false;
};

struct BindingFullTypeHelp {
  static constexpr std::uint32_t kTypeId = 0x7534AFEAu;
  std::string name;
  std::string nameSpace;
  std::uint32_t size = 0;
  std::string description;
  std::vector<std::string> tags;
  std::vector<BindingFullFieldHelp> fields;
  std::vector<BindingFullEnumValueHelp> values;
};

struct BindingFullEventHelp {
  static constexpr std::uint32_t kTypeId = 0x6178093Au;
  std::string name;
  std::string nameSpace;
  BindingFullTypeIdentifier type;
  std::string description;
  std::vector<std::string> tags;
};

struct BindingFullApiHelp {
  static constexpr std::uint32_t kTypeId = 0x7DFB1102u;
  std::vector<BindingFullFunctionHelp> functions;
  std::vector<BindingFullTypeHelp> types;
  std::vector<BindingFullEventHelp> events;
};

struct BindingGenericEvent {
  static constexpr std::uint32_t kTypeId = 0x2A500213u;
  BindingProperty data;
};

struct BindingCallbackEvent {
  static constexpr std::uint32_t kTypeId = 0x4B3E42BBu;
  std::uint32_t id = 0;
  std::vector<BindingProperty> parameters;
};

struct BindingGenericAsyncEvent {
  static constexpr std::uint32_t kTypeId = 0x78B7AC8Fu;
  std::uint32_t asyncToken = 0;
  BindingProperty data;
};

struct BindingAsyncFailureEvent {
  static constexpr std::uint32_t kTypeId = 0x2DB89656u;
  std::uint32_t asyncToken = 0;
  std::string error;
};

struct BindingAsyncCancelEvent {
  static constexpr std::uint32_t kTypeId = 0x96EAAF44u;
  std::uint32_t asyncToken = 0;
};

// Registers the builtin types and the event "OnCallback". The TypeRegistry
// constructor calls it; a second call changes nothing.
void RegisterBuiltinTypes(TypeRegistry& registry);

}  // namespace Kelp

#endif  // KELP_SDK_BINDING_BUILTIN_TYPES_H_
