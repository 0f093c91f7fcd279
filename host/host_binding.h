// BindingValue trees that the host builds from its own values, for requests
// and events it lends to the plugin and for responses it hands over.
//
// Every part of a built tree is allocated by the host with malloc and freed
// only by FreeBuiltBinding, whatever its tags say: the host frees what it
// allocated and never what the plugin allocated.
#ifndef KELP_HOST_HOST_BINDING_H_
#define KELP_HOST_HOST_BINDING_H_

#include "host/host_value.h"
#include "sdk/plugin/abi.h"

namespace Kelp::Host {

// How a built tree is tagged.
//  - Lent: strings and blobs carry the borrowed tags and keys `ownsKey` 0; for
//    values lent to the plugin for the duration of one call.
//  - HandedOver: the owned tags and `ownsKey` 1; for values that the host
//    hands over in a response and frees in the response's release function.
enum class BindingTagging { Lent, HandedOver };

// Builds a tree from `value`. Throws std::bad_alloc when malloc fails.
BindingValue BuildBinding(const HostValue& value, BindingTagging tagging);

// Frees a tree made by BuildBinding and leaves `value` empty (tag 0).
void FreeBuiltBinding(BindingValue& value);

// A lent tree that is freed with its holder.
class LentBinding {
 public:
  explicit LentBinding(const HostValue& value)
      : value_(BuildBinding(value, BindingTagging::Lent)) {}
  ~LentBinding() { FreeBuiltBinding(value_); }
  LentBinding(const LentBinding&) = delete;
  LentBinding& operator=(const LentBinding&) = delete;

  const BindingValue& value() const { return value_; }

 private:
  BindingValue value_;
};

}  // namespace Kelp::Host

#endif  // KELP_HOST_HOST_BINDING_H_
