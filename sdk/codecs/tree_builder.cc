#include "sdk/codecs/tree_builder.h"

#include <cstring>

namespace Kelp::detail {
namespace {

// Open structures up to this size find a repeated name by a scan.
constexpr std::size_t kScannedFields = 32;

}  // namespace

TreeBuilder::TreeBuilder(BindingProperty& root) : root_(root) {
  frames_.reserve(16);
  for (Shape& shape : shapes_) {
    shape.count = 0;
    shape.generation = 0;
  }
}

void TreeBuilder::SetKey(std::string_view key) {
  keyPending_ = true;
  const Frame& top = frames_.back();
  if (top.shape != kNoShape) {
    // A structure that has followed a known shape so far mostly goes on
    // with it: its next name is the likeliest key.
    const Shape& shape = shapes_[top.shape];
    if (shape.generation == top.shapeGeneration && top.next < shape.count &&
        shape.names[top.next]->Equals(key)) {
      key_ = shape.names[top.next];
      keyFollowsShape_ = true;
      return;
    }
  }
  keyFollowsShape_ = false;
  const std::size_t length = key.size();
  std::size_t slot = length;
  if (length != 0) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(key.data());
    slot = length * 31 + bytes[0] * 7 + bytes[length / 2] * 3 + bytes[length - 1];
  }
  slot &= kRecentNames - 1;
  const InternedString* name = recentNames_[slot];
  if (name == nullptr || !name->Equals(key)) {
    name = top.container->InternName(key);
    recentNames_[slot] = name;
  }
  key_ = name;
}

BindingProperty& TreeBuilder::NextTarget() {
  if (frames_.empty()) return root_;
  Frame& top = frames_.back();
  if (top.isStructure) {
    keyPending_ = false;
    return StructureField(top);
  }
  if (top.append) return top.container->Append();
  // Overwriting: past the elements the collection held, the rest append.
  if (top.next++ >= top.held) return top.container->Append();
  return (*top.container)[top.next - 1];
}

BindingProperty& TreeBuilder::StructureField(Frame& frame) {
  BindingProperty& structure = *frame.container;
  if (keyFollowsShape_) {
    // SetKey found the key where the structure's shape expects it.
    keyFollowsShape_ = false;
    ++frame.next;
    return structure.AppendField(key_);
  }
  if (frame.fields == nullptr) {
    if (frame.shape != kNoShape) {
      // SetKey found the key off the shape: the structure no longer follows it.
      frame.shape = kNoShape;
    } else if (frame.next == 0) {
      const std::size_t slot = ShapeSlot(key_);
      const Shape& shape = shapes_[slot];
      if (shape.count != 0 && shape.names[0] == key_) {
        frame.shape = static_cast<std::uint32_t>(slot);
        frame.shapeGeneration = shape.generation;
        structure.ReserveFields(shape.count);
      }
      ++frame.next;
      return structure.AppendField(key_);
    }
    const auto fields = structure.StoredFields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (fields[i].name == key_) return structure.FieldAt(i);
    }
    if (fields.size() < kScannedFields) {
      ++frame.next;
      return structure.AppendField(key_);
    }
    frame.fields = std::make_unique<FieldIndex>();
    frame.fields->reserve(fields.size() * 2);
    std::uint32_t at = 0;
    for (const BindingField& field : fields) frame.fields->emplace(field.Name(), at++);
  }
  const auto [it, added] = frame.fields->try_emplace(key_->view(), frame.next);
  if (!added) return structure.FieldAt(it->second);
  ++frame.next;
  return structure.AppendField(key_);
}

const BindingProperty* TreeBuilder::FindField(const BindingProperty& structure, std::size_t depth,
                                              std::string_view key) const {
  // The open containers are the chain from the root down: one open at
  // `depth` is that frame's.
  if (depth >= frames_.size() || frames_[depth].container != &structure) {
    return structure.Find(key);
  }
  const Frame& frame = frames_[depth];
  if (frame.fields != nullptr) {
    const auto it = frame.fields->find(key);
    return it != frame.fields->end() ? &structure.FieldAt(it->second) : nullptr;
  }
  for (const BindingField& field : structure.StoredFields()) {
    if (field.Name() == key) return &field.value;
  }
  return nullptr;
}

bool TreeBuilder::Open(BindingProperty& target, bool isStructure, bool append) {
  if (frames_.size() >= static_cast<std::size_t>(kMaxNestingDepth)) return false;
  if (isStructure) {
    target.MakeStructure();
  } else {
    target.MakeCollection();
  }
  const auto held = static_cast<std::uint32_t>(target.size());
  frames_.push_back(
      Frame{&target, isStructure ? held : 0, held, isStructure, append, kNoShape, 0, nullptr});
  return true;
}

bool TreeBuilder::OpenCollection(BindingProperty& target, Elements elements) {
  return Open(target, false, elements == Elements::Append);
}

bool TreeBuilder::OpenStructure(BindingProperty& target) { return Open(target, true, false); }

void TreeBuilder::Close() {
  if (frames_.back().isStructure) CloseStructure(frames_.back());
  frames_.pop_back();
}

void TreeBuilder::CloseStructure(Frame& frame) {
  BindingProperty& structure = *frame.container;
  const auto fields = structure.StoredFields();
  const std::size_t count = fields.size();
  if (frame.shape != kNoShape) {
    const Shape& shape = shapes_[frame.shape];
    if (shape.generation == frame.shapeGeneration && shape.count == count) {
      if (!shape.sorted) structure.ReorderFields(shape.order);
      return;
    }
  }
  if (count < 2 || count > kShapeFields) {
    structure.SortFields();
    return;
  }
  // A new shape: remember its names in arrival order and where each one
  // goes once sorted.
  Shape& shape = shapes_[ShapeSlot(fields[0].name)];
  shape.count = static_cast<std::uint32_t>(count);
  ++shape.generation;
  for (std::size_t i = 0; i < count; ++i) shape.names[i] = fields[i].name;
  structure.SortFields();
  const auto sorted = structure.StoredFields();
  shape.sorted = true;
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t from = 0;
    while (shape.names[from] != sorted[i].name) ++from;
    shape.order[i] = static_cast<std::uint8_t>(from);
    shape.sorted = shape.sorted && from == i;
  }
}

void TreeBuilder::CloseAll() {
  while (!frames_.empty()) Close();
}

std::size_t TreeBuilder::nextIndex() const { return frames_.back().container->size(); }

}  // namespace Kelp::detail
