#include "sdk/codecs/tree_builder.h"

#include <algorithm>
#include <cstring>

namespace Kelp::detail {
namespace {

// Open structures up to this size find a repeated name by a scan.
constexpr std::size_t kScannedFields = 32;

}  // namespace

TreeBuilder::TreeBuilder(BindingProperty& root) : root_(root) {
  for (Shape& shape : shapes_) {
    shape.count = 0;
    shape.generation = 0;
  }
  for (ShapeAt& last : lastShapes_) last.slot = kNoShape;
}

void TreeBuilder::SetKeyOffShape(std::string_view key) {
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
    name = top().container->InternName(key);
    recentNames_[slot] = name;
  }
  key_ = name;
}

BindingProperty& TreeBuilder::StructureField(Frame& frame) {
  BindingProperty& structure = *frame.container;
  if (frame.fields == nullptr) {
    if (frame.shape != kNoShape) {
      // SetKey found the key off the shape: the structure no longer follows
      // it, and its fields go back to arrival order.
      structure.GatherFields(frame.position, frame.next);
      frame.shape = kNoShape;
    }
    if (frame.next == 0) {
      const std::size_t slot = ShapeSlot(key_);
      const Shape& shape = shapes_[slot];
      ++frame.next;
      if (shape.count != 0 && shape.names[0] == key_) {
        Follow(frame, static_cast<std::uint32_t>(slot));
        structure.ReserveFields(shape.count);
        return structure.PlaceField(frame.position[0], key_);
      }
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
  if (depth >= depth_ || frames_[depth].container != &structure) {
    return structure.Find(key);
  }
  const Frame& frame = frames_[depth];
  if (frame.shape != kNoShape) {
    const auto room = structure.FieldRoom();
    for (std::size_t i = 0; i < frame.next; ++i) {
      const BindingField& field = room[frame.position[i]];
      if (field.Name() == key) return &field.value;
    }
    return nullptr;
  }
  if (frame.fields != nullptr) {
    const auto it = frame.fields->find(key);
    return it != frame.fields->end() ? &structure.FieldAt(it->second) : nullptr;
  }
  for (const BindingField& field : structure.StoredFields()) {
    if (field.Name() == key) return &field.value;
  }
  return nullptr;
}

bool TreeBuilder::Open(BindingProperty& target, bool isStructure, bool append,
                       std::size_t expected) {
  if (depth_ >= static_cast<std::size_t>(kMaxNestingDepth)) return false;
  // Only a container of the same kind is kept, with what it holds; a
  // decoder mostly opens one in a value it has just added.
  const auto kind = isStructure ? BindingPropertyKind::Structure : BindingPropertyKind::Collection;
  const auto held = target.kind() == kind ? static_cast<std::uint32_t>(target.size()) : 0;
  std::uint32_t predicted = kNoShape;
  if (isStructure && held == 0 && depth_ < kPredictedDepths) {
    const ShapeAt& last = lastShapes_[depth_];
    if (last.slot != kNoShape && shapes_[last.slot].generation == last.generation) {
      predicted = last.slot;
      expected = std::max<std::size_t>(expected, shapes_[predicted].count);
    }
  }
  if (isStructure) {
    target.MakeStructure(expected);
  } else {
    target.MakeCollection(expected);
  }
  if (depth_ == frameCount_) {
    auto frames = std::make_unique<Frame[]>(frameCount_ * 2);
    std::move(frames_, frames_ + frameCount_, frames.get());
    heapFrames_ = std::move(frames);
    frames_ = heapFrames_.get();
    frameCount_ *= 2;
  }
  Frame& frame = frames_[depth_++];
  top_ = &frame;
  frame.container = &target;
  frame.next = isStructure ? held : 0;
  frame.held = held;
  frame.isStructure = isStructure;
  frame.append = append;
  frame.shape = kNoShape;
  if (predicted != kNoShape) Follow(frame, predicted);
  return true;  // frame.fields is null: Close left it so
}

void TreeBuilder::Follow(Frame& frame, std::uint32_t slot) {
  const Shape& shape = shapes_[slot];
  frame.shape = slot;
  frame.shapeGeneration = shape.generation;
  frame.shapeCount = shape.count;
  std::memcpy(frame.position, shape.position, shape.count);
}

void TreeBuilder::Close() {
  Frame& frame = top();
  if (frame.isStructure) CloseStructure(frame);
  frame.fields.reset();
  --depth_;
  top_ = depth_ != 0 ? &frames_[depth_ - 1] : nullptr;
}

void TreeBuilder::CloseStructure(Frame& frame) {
  BindingProperty& structure = *frame.container;
  const auto fields = structure.StoredFields();
  const std::size_t count = fields.size();
  const auto depth = static_cast<std::size_t>(&frame - frames_);
  if (frame.shape != kNoShape) {
    // Every name placed where name order puts it; or the input ended the
    // structure before its shape did.
    if (count == frame.shapeCount) {
      if (depth < kPredictedDepths) lastShapes_[depth] = {frame.shape, frame.shapeGeneration};
      return;
    }
    structure.GatherFields(frame.position, count);
  }
  if (count < 2 || count > kShapeFields) {
    structure.SortFields();
    return;
  }
  // A new shape: remember its names in arrival order and where each one
  // goes once sorted. The order comes from sorting the names' first eight
  // bytes, taken once per name, with whole names compared only on a tie.
  const std::size_t slot = ShapeSlot(fields[0].name);
  Shape& shape = shapes_[slot];
  shape.count = static_cast<std::uint32_t>(count);
  ++shape.generation;
  if (depth < kPredictedDepths) {
    lastShapes_[depth] = {static_cast<std::uint32_t>(slot), shape.generation};
  }
  struct Key {
    std::uint64_t prefix;
    const InternedString* name;
    std::uint8_t at;
  };
  const auto less = [](const Key& a, const Key& b) {
    return a.prefix != b.prefix ? a.prefix < b.prefix : a.name->view() < b.name->view();
  };
  Key keys[kShapeFields];
  for (std::size_t i = 0; i < count; ++i) {
    shape.names[i] = fields[i].name;
    const Key key{fields[i].name->OrderPrefix(), fields[i].name, static_cast<std::uint8_t>(i)};
    std::size_t at = i;
    for (; at > 0 && less(key, keys[at - 1]); --at) keys[at] = keys[at - 1];
    keys[at] = key;
  }
  std::uint8_t order[kShapeFields];
  bool sorted = true;
  for (std::size_t i = 0; i < count; ++i) {
    shape.position[keys[i].at] = static_cast<std::uint8_t>(i);
    order[i] = keys[i].at;
    sorted = sorted && keys[i].at == i;
  }
  if (!sorted) structure.GatherFields(order, count);
}

void TreeBuilder::CloseAll() {
  while (depth_ != 0) Close();
}

void TreeBuilder::Abandon() {
  for (; depth_ != 0; --depth_) {
    Frame& frame = frames_[depth_ - 1];
    // Releasing a structure walks its first size() fields: those placed in
    // name order go back there first.
    if (frame.isStructure && frame.shape != kNoShape) {
      frame.container->GatherFields(frame.position, frame.next);
    }
    frame.fields.reset();
  }
  top_ = nullptr;
}

std::size_t TreeBuilder::nextIndex() const { return top().container->size(); }

}  // namespace Kelp::detail
