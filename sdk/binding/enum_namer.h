// How values are written with enumerations by name: the type registry
// implements this interface, and the boundary mapping and the writers take
// it so that they need not know the registry.
#ifndef KELP_SDK_BINDING_ENUM_NAMER_H_
#define KELP_SDK_BINDING_ENUM_NAMER_H_

#include <cstdint>

#include "sdk/binding/static_type.h"

namespace Kelp {

class EnumNamer {
 public:
  // The name of the first value (in ascending name order) of enum `type`
  // with `number`; null when there is none or the type is unknown.
  // Safe to call from any thread.
  virtual const char* EnumValueName(const StaticType* type, std::int32_t number) const = 0;

 protected:
  ~EnumNamer() = default;
};

}  // namespace Kelp

#endif  // KELP_SDK_BINDING_ENUM_NAMER_H_
