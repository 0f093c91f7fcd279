// Identifiers of native types, as the type registry knows them.
#ifndef KELP_SDK_BINDING_STATIC_TYPE_H_
#define KELP_SDK_BINDING_STATIC_TYPE_H_

#include <cstdint>

namespace Kelp {

// One per native type, created once on first use and never freed. Identity is
// `id` alone; `name` serves diagnostics. Identifiers declared by number get
// the name "#%08X" generated into `generatedName`.
struct StaticType {
  std::uint32_t id;
  const char* name;
  char generatedName[12];
};

}  // namespace Kelp

#endif  // KELP_SDK_BINDING_STATIC_TYPE_H_
