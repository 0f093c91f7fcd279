// The one tree builder behind the JSON, MessagePack and YAML readers: it
// keeps the stack of open containers and hands out the value that the next
// decoded item fills.
//
// The stack is explicit and capped at kMaxNestingDepth open containers, so
// that a decoder driving it never recurses and a deeply nested input is
// refused instead of exhausting the call stack.
#ifndef KELP_SDK_CODECS_TREE_BUILDER_H_
#define KELP_SDK_CODECS_TREE_BUILDER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <string_view>
#include <vector>

#include "sdk/binding/binding_property.h"

namespace Kelp::detail {

class TreeBuilder {
 public:
  // How the items of an opened collection land in it: appended after what
  // it already holds, or written over its elements from index 0 up.
  enum class Elements : std::uint8_t { Append, Overwrite };

  // Builds into `root`, which must outlive the builder.
  explicit TreeBuilder(BindingProperty& root);

  // The value the next item fills: the root while nothing is open, the next
  // element of the innermost open collection, or the field named by the
  // pending key of the innermost open structure (created when absent; the
  // key is then no longer pending). The reference stays valid until the
  // next call that changes the builder.
  // REQUIRES: when the innermost container is a structure, a key is pending.
  BindingProperty& NextTarget();

  // Turns `target` into a collection or structure (one already there is
  // kept, so a repeated key merges) and opens it. Returns false, changing
  // nothing, when kMaxNestingDepth containers are open already.
  // REQUIRES: `target` came from the latest NextTarget().
  [[nodiscard]] bool OpenCollection(BindingProperty& target, Elements elements);
  [[nodiscard]] bool OpenStructure(BindingProperty& target);
  // Closes the innermost open container. REQUIRES: one is open.
  void Close();

  // Names the field that the next item of the open structure fills.
  void SetKey(std::string_view key) {
    key_.assign(key.data(), key.size());
    keyPending_ = true;
  }
  bool keyPending() const { return keyPending_; }
  const std::string& key() const { return key_; }

  // The field `key` of `structure`, which may be open in this builder;
  // null when absent. Use this, not the value's own lookups, while reading.
  const BindingProperty* FindField(const BindingProperty& structure, std::string_view key) const;

  // Open containers (0 while the root is being filled).
  int depth() const { return static_cast<int>(frames_.size()); }
  bool inCollection() const { return !frames_.empty() && !frames_.back().isStructure; }
  bool inStructure() const { return !frames_.empty() && frames_.back().isStructure; }
  // Element count of the innermost open collection, which is the index the
  // next appended element gets. REQUIRES: inCollection().
  std::size_t nextIndex() const;

 private:
  // A structure with many fields is filled in arrival order, its fields
  // found through this index by name, and sorted when it closes: keeping
  // name order on every insertion would let an input with its keys in
  // descending order cost quadratic time.
  using FieldIndex = std::unordered_map<std::string, std::uint32_t>;

  struct Frame {
    BindingProperty* container;
    std::uint32_t next;  // next element index when overwriting
    bool isStructure;
    bool append;
    std::unique_ptr<FieldIndex> fields;
  };

  BindingProperty& StructureField(Frame& frame);

  bool Open(BindingProperty& target, bool isStructure, bool append);

  BindingProperty& root_;
  std::vector<Frame> frames_;
  // The open structures that are filled in arrival order.
  std::unordered_map<const BindingProperty*, const FieldIndex*> unordered_;
  std::string key_;
  bool keyPending_ = false;
};

}  // namespace Kelp::detail

#endif  // KELP_SDK_CODECS_TREE_BUILDER_H_
