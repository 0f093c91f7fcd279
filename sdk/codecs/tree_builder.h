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
#include <string_view>
#include <unordered_map>

#include "sdk/binding/binding_property.h"

namespace Kelp::detail {

class TreeBuilder {
 public:
  // How the items of an opened collection land in it: appended after what
  // it already holds, or written over its elements from index 0 up.
  enum class Elements : std::uint8_t { Append, Overwrite };

  // Builds into `root`, which must outlive the builder.
  explicit TreeBuilder(BindingProperty& root);
  ~TreeBuilder() { CloseAll(); }
  TreeBuilder(const TreeBuilder&) = delete;
  TreeBuilder& operator=(const TreeBuilder&) = delete;

  // The value the next item fills: the root while nothing is open, the next
  // element of the innermost open collection, or the field named by the
  // pending key of the innermost open structure (created when absent; the
  // key is then no longer pending). The reference stays valid until the
  // next call that changes the builder.
  // REQUIRES: when the innermost container is a structure, a key is pending.
  // Inline, as is SetKey's likeliest path: a decoder calls both for every
  // item it reads.
  [[gnu::always_inline]] BindingProperty& NextTarget() {
    if (depth_ == 0) return root_;
    Frame& frame = top();
    if (frame.isStructure) {
      keyPending_ = false;
      if (!keyFollowsShape_) return StructureField(frame);
      // SetKey found the key where the structure's shape expects it: the
      // field goes where name order puts it.
      keyFollowsShape_ = false;
      return frame.container->PlaceField(frame.position[frame.next++], key_);
    }
    // Overwriting: past the elements the collection held, the rest append.
    if (frame.append || frame.next++ >= frame.held) return frame.container->Append();
    return (*frame.container)[frame.next - 1];
  }

  // Turns `target` into a collection or structure (one already there is
  // kept, so a repeated key merges) and opens it. Returns false, changing
  // nothing, when kMaxNestingDepth containers are open already.
  // REQUIRES: `target` came from the latest NextTarget().
  // `expected` is the room made up front for elements or fields: a decoder
  // that reads a count passes what it trusts of it.
  [[nodiscard]] bool OpenCollection(BindingProperty& target, Elements elements,
                                    std::size_t expected = 0) {
    return Open(target, false, elements == Elements::Append, expected);
  }
  [[nodiscard]] bool OpenStructure(BindingProperty& target, std::size_t expected = 0) {
    return Open(target, true, false, expected);
  }
  // Closes the innermost open container. REQUIRES: one is open.
  void Close();
  // Closes every open container, innermost first: a decoder whose input
  // ends inside containers calls it, and so does the destructor, so that a
  // large structure is left in name order however its input ended.
  void CloseAll();
  // Forgets every open container without closing it (no sorting), leaving
  // each a plain field list: for a decoder about to replace the tree with an
  // error, which releases the containers, so that they must not be touched
  // after it.
  void Abandon();

  // Names the field that the next item of the open structure fills.
  // REQUIRES: inStructure().
  [[gnu::always_inline]] void SetKey(std::string_view key) {
    keyPending_ = true;
    const Frame& frame = top();
    if (frame.shape != kNoShape) {
      // A structure that has followed a known shape so far mostly goes on
      // with it: its next name is the likeliest key.
      const Shape& shape = shapes_[frame.shape];
      if (shape.generation == frame.shapeGeneration && frame.next < shape.count &&
          shape.names[frame.next]->Equals(key)) {
        key_ = shape.names[frame.next];
        keyFollowsShape_ = true;
        return;
      }
    }
    SetKeyOffShape(key);
  }
  bool keyPending() const { return keyPending_; }
  std::string_view key() const { return key_ != nullptr ? key_->view() : std::string_view(); }

  // The field `key` of `structure`, which lies `depth` containers below the
  // root and may be open in this builder; null when absent. Use this, not
  // the value's own lookups, while reading.
  const BindingProperty* FindField(const BindingProperty& structure, std::size_t depth,
                                   std::string_view key) const;

  // Open containers (0 while the root is being filled).
  int depth() const { return static_cast<int>(depth_); }
  bool inCollection() const { return depth_ != 0 && !top().isStructure; }
  bool inStructure() const { return depth_ != 0 && top().isStructure; }
  // Element count of the innermost open collection, which is the index the
  // next appended element gets. REQUIRES: inCollection().
  std::size_t nextIndex() const;

 private:
  // An open structure is filled in arrival order and sorted when it closes:
  // keeping name order on every insertion would let an input with its keys
  // in descending order cost quadratic time. Names are interned, so a field
  // is found again by comparing pointers while the structure is small, and
  // through this index of the stored names once it is large.
  using FieldIndex = std::unordered_map<std::string_view, std::uint32_t>;

  // Objects of one document mostly share a few shapes: the same names in
  // the same order. A shape remembers the names of a structure that closed
  // and where each goes in name order. A structure filled in a known shape
  // needs no search for repeated names (the names of a shape are distinct),
  // and its fields are placed in name order as they arrive, so it needs no
  // sorting when it closes. Shapes are found by their first name.
  static constexpr std::size_t kShapes = 32;
  static constexpr std::size_t kShapeFields = 24;
  static_assert(kShapeFields <= BindingProperty::kMaxGatheredFields);
  struct Shape {
    std::uint32_t count;
    std::uint64_t generation;  // changes whenever the slot is rewritten
    const InternedString* names[kShapeFields];
    std::uint8_t position[kShapeFields];  // of the i-th name, in name order
  };

  struct Frame {
    BindingProperty* container;
    // A collection's next element index when overwriting; a structure's
    // field count.
    std::uint32_t next;
    std::uint32_t held;  // the element or field count when opened
    bool isStructure;
    bool append;
    // The shape the structure has followed so far, with the generation it
    // had then; kNoShape when none. Its count and positions are copied, as
    // the slot may be rewritten while the structure is open: the fields
    // placed so far are found by them.
    std::uint32_t shape;
    std::uint64_t shapeGeneration;
    std::uint32_t shapeCount;
    std::uint8_t position[kShapeFields];
    std::unique_ptr<FieldIndex> fields;
  };
  static constexpr std::uint32_t kNoShape = ~std::uint32_t{0};

  void SetKeyOffShape(std::string_view key);
  // Makes `frame` follow the shape in `slot` from its first name on.
  void Follow(Frame& frame, std::uint32_t slot);
  // The field of the pending key when the structure does not follow a shape.
  BindingProperty& StructureField(Frame& frame);
  void CloseStructure(Frame& frame);
  static std::size_t ShapeSlot(const InternedString* first) {
    return (reinterpret_cast<std::uintptr_t>(first) >> 3) % kShapes;
  }

  bool Open(BindingProperty& target, bool isStructure, bool append, std::size_t expected);
  Frame& top() { return *top_; }
  const Frame& top() const { return *top_; }

  // Most inputs repeat a few member names many times: the names interned
  // last, by a cheap hash of the text, spare most lookups in the tree's
  // string set.
  static constexpr std::size_t kRecentNames = 64;

  BindingProperty& root_;
  // The open containers are the first depth_ frames. Frames past them are
  // kept for the next containers to open: a document opens and closes
  // thousands. The first ones are part of the builder, so that reading a
  // small document allocates none.
  static constexpr std::size_t kInlineFrames = 16;
  Frame inlineFrames_[kInlineFrames];
  std::unique_ptr<Frame[]> heapFrames_;
  Frame* frames_ = inlineFrames_;
  std::size_t frameCount_ = kInlineFrames;
  std::size_t depth_ = 0;
  Frame* top_ = nullptr;  // the innermost open frame; null while none is open
  const InternedString* recentNames_[kRecentNames] = {};
  Shape shapes_[kShapes];  // count 0 when unused
  // The shape that the last structure closed at each of the first depths
  // followed or recorded, with the slot's generation then. Siblings mostly
  // share a shape: a structure opened at that depth is taken to follow it
  // until its first name says otherwise, which spares the first name the
  // search for a shape.
  static constexpr std::size_t kPredictedDepths = 16;
  struct ShapeAt {
    std::uint32_t slot;  // kNoShape when none
    std::uint64_t generation;
  };
  ShapeAt lastShapes_[kPredictedDepths];
  const InternedString* key_ = nullptr;
  bool keyPending_ = false;
  // The pending key is the next name of the innermost structure's shape.
  bool keyFollowsShape_ = false;
};

}  // namespace Kelp::detail

#endif  // KELP_SDK_CODECS_TREE_BUILDER_H_
