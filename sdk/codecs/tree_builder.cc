#include "sdk/codecs/tree_builder.h"

namespace Kelp::detail {
namespace {

// Structures up to this size keep name order as they grow.
constexpr std::size_t kOrderedFields = 64;

}  // namespace

TreeBuilder::TreeBuilder(BindingProperty& root) : root_(root) { frames_.reserve(16); }

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
    if (structure.size() < kOrderedFields) return structure[std::string_view(key_)];
    frame.fields = std::make_unique<FieldIndex>();
    unordered_.emplace(&structure, frame.fields.get());
    std::uint32_t at = 0;
    for (const auto& field : structure.Fields()) frame.fields->emplace(field.first, at++);
  }
  const auto [it, added] =
      frame.fields->try_emplace(key_, static_cast<std::uint32_t>(structure.size()));
  return added ? structure.AppendField(key_) : structure.FieldAt(it->second);
}

const BindingProperty* TreeBuilder::FindField(const BindingProperty& structure,
                                              std::string_view key) const {
  const auto open = unordered_.find(&structure);
  if (open == unordered_.end()) return structure.Find(key);
  const auto it = open->second->find(std::string(key));
  return it != open->second->end() ? &structure.FieldAt(it->second) : nullptr;
}

bool TreeBuilder::Open(BindingProperty& target, bool isStructure, bool append) {
  if (frames_.size() >= static_cast<std::size_t>(kMaxNestingDepth)) return false;
  if (isStructure) {
    target.MakeStructure();
  } else {
    target.MakeCollection();
  }
  frames_.push_back(Frame{&target, 0, isStructure, append, nullptr});
  return true;
}

bool TreeBuilder::OpenCollection(BindingProperty& target, Elements elements) {
  return Open(target, false, elements == Elements::Append);
}

bool TreeBuilder::OpenStructure(BindingProperty& target) { return Open(target, true, false); }

void TreeBuilder::Close() {
  if (frames_.back().fields != nullptr) {
    unordered_.erase(frames_.back().container);
    frames_.back().container->SortFields();
  }
  frames_.pop_back();
}

std::size_t TreeBuilder::nextIndex() const { return frames_.back().container->size(); }

}  // namespace Kelp::detail
