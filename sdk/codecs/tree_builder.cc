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
  const std::size_t length = key.size();
  std::size_t slot = length;
  if (length != 0) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(key.data());
    slot = length * 31 + bytes[0] * 7 + bytes[length / 2] * 3 + bytes[length - 1];
  }
  slot &= kRecentNames - 1;
  const InternedString* name = recentNames_[slot];
  if (name == nullptr || name->length != length ||
      (length != 0 && std::memcmp(name->text, key.data(), length) != 0)) {
    name = frames_.back().container->InternName(key);
    recentNames_[slot] = name;
  }
  key_ = name;
  keyPending_ = true;
}

BindingProperty& TreeBuilder::NextTarget() {
  if (frames_.empty()) return root_;
  Frame& top = frames_.back();
  if (top.isStructure) {
    keyPending_ = false;
    return StructureField(top);
  }
  if (top.append) return top.container->Append();
  return (*top.container)[top.next++];
}

BindingProperty& TreeBuilder::StructureField(Frame& frame) {
  BindingProperty& structure = *frame.container;
  if (frame.fields == nullptr) {
    const auto fields = structure.StoredFields();
    if (frame.shape != kNoShape) {
      const Shape& shape = shapes_[frame.shape];
      if (shape.generation == frame.shapeGeneration && fields.size() < shape.count &&
          shape.names[fields.size()] == key_) {
        return structure.AppendField(key_);
      }
      frame.shape = kNoShape;
    } else if (fields.empty()) {
      const std::size_t slot = ShapeSlot(key_);
      const Shape& shape = shapes_[slot];
      if (shape.count != 0 && shape.names[0] == key_) {
        frame.shape = static_cast<std::uint32_t>(slot);
        frame.shapeGeneration = shape.generation;
      }
      return structure.AppendField(key_);
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (fields[i].name == key_) return structure.FieldAt(i);
    }
    if (fields.size() < kScannedFields) return structure.AppendField(key_);
    frame.fields = std::make_unique<FieldIndex>();
    frame.fields->reserve(fields.size() * 2);
    std::uint32_t at = 0;
    for (const BindingField& field : fields) frame.fields->emplace(field.Name(), at++);
  }
  const auto [it, added] =
      frame.fields->try_emplace(key_->view(), static_cast<std::uint32_t>(structure.size()));
  return added ? structure.AppendField(key_) : structure.FieldAt(it->second);
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
  frames_.push_back(Frame{&target, 0, isStructure, append, kNoShape, 0, nullptr});
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
      structure.ReorderFields(shape.order);
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
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t from = 0;
    while (shape.names[from] != sorted[i].name) ++from;
    shape.order[i] = static_cast<std::uint8_t>(from);
  }
}

void TreeBuilder::CloseAll() {
  while (!frames_.empty()) Close();
}

std::size_t TreeBuilder::nextIndex() const { return frames_.back().container->size(); }

}  // namespace Kelp::detail
