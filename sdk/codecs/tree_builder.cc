#include "sdk/codecs/tree_builder.h"

namespace Kelp::detail {

TreeBuilder::TreeBuilder(BindingProperty& root) : root_(root) { frames_.reserve(16); }

BindingProperty& TreeBuilder::NextTarget() {
  if (frames_.empty()) return root_;
  Frame& top = frames_.back();
  if (top.isStructure) {
    keyPending_ = false;
    return (*top.container)[std::string_view(key_)];
  }
  if (top.append) return top.container->Append();
  return (*top.container)[top.next++];
}

bool TreeBuilder::Open(BindingProperty& target, bool isStructure, bool append) {
  if (frames_.size() >= static_cast<std::size_t>(kMaxNestingDepth)) return false;
  if (isStructure) {
    target.MakeStructure();
  } else {
    target.MakeCollection();
  }
  frames_.push_back(Frame{&target, 0, isStructure, append});
  return true;
}

bool TreeBuilder::OpenCollection(BindingProperty& target, Elements elements) {
  return Open(target, false, elements == Elements::Append);
}

bool TreeBuilder::OpenStructure(BindingProperty& target) { return Open(target, true, false); }

void TreeBuilder::Close() { frames_.pop_back(); }

std::size_t TreeBuilder::nextIndex() const { return frames_.back().container->size(); }

}  // namespace Kelp::detail
