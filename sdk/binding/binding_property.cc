#include "sdk/binding/binding_property.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

namespace Kelp {

// An immutable string stored once per tree, with its FNV-1a hash.
struct InternedString {
  std::uint32_t hash;
  std::uint32_t length;
  char text[1];  // `length` bytes and a NUL

  std::string_view view() const { return {text, length}; }
};

struct BindingCollectionRecord {
  std::vector<BindingProperty> elements;
};

// Fields kept sorted by byte-wise name.
struct BindingStructureRecord {
  BindingPropertyPool* pool = nullptr;
  std::vector<BindingField> fields;
};

std::string_view BindingField::Name() const { return name->view(); }

namespace {

constexpr std::size_t kMaxCollectionSize = 0x0FFFFFFF;
constexpr std::size_t kArenaChunk = 8192;

}  // namespace

// Per-tree storage: an arena of interned strings with an open-addressing
// index, and free lists of the out-of-line records so that a tree that is
// rebuilt reuses them.
class BindingPropertyPool {
 public:
  BindingPropertyPool() = default;
  BindingPropertyPool(const BindingPropertyPool&) = delete;
  BindingPropertyPool& operator=(const BindingPropertyPool&) = delete;
  ~BindingPropertyPool() {
    for (auto* c : freeCollections_) delete c;
    for (auto* s : freeStructures_) delete s;
    for (auto* b : freeBlobs_) delete b;
    for (auto* e : freeEnums_) delete e;
  }

  const InternedString* Intern(std::string_view text) {
    const std::uint32_t hash = Fnv1a(text);
    if ((count_ + 1) * 2 > slots_.size()) Grow();
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      const InternedString* slot = slots_[i];
      if (slot == nullptr) {
        const InternedString* stored = Store(text, hash);
        slots_[i] = stored;
        ++count_;
        return stored;
      }
      if (slot->hash == hash && slot->view() == text) return slot;
    }
  }

  BindingCollectionRecord* NewCollection() { return Take(freeCollections_); }
  BindingStructureRecord* NewStructure() {
    BindingStructureRecord* record = Take(freeStructures_);
    record->pool = this;
    return record;
  }
  std::vector<std::uint8_t>* NewBlob() { return Take(freeBlobs_); }
  BindingEnum* NewEnum() { return Take(freeEnums_); }

  void Release(BindingCollectionRecord* record) {
    record->elements.clear();
    freeCollections_.push_back(record);
  }
  void Release(BindingStructureRecord* record) {
    record->fields.clear();
    freeStructures_.push_back(record);
  }
  void Release(std::vector<std::uint8_t>* blob) {
    blob->clear();
    freeBlobs_.push_back(blob);
  }
  void Release(BindingEnum* record) { freeEnums_.push_back(record); }

 private:
  template <typename T>
  static T* Take(std::vector<T*>& freeList) {
    if (freeList.empty()) return new T();
    T* record = freeList.back();
    freeList.pop_back();
    return record;
  }

  const InternedString* Store(std::string_view text, std::uint32_t hash) {
    const std::size_t need = offsetof(InternedString, text) + text.size() + 1;
    const std::size_t aligned = (need + alignof(InternedString) - 1) & ~(alignof(InternedString) - 1);
    if (aligned > chunkLeft_) {
      const std::size_t chunk = std::max(kArenaChunk, aligned);
      chunks_.push_back(std::make_unique<char[]>(chunk));
      chunkAt_ = chunks_.back().get();
      chunkLeft_ = chunk;
    }
    auto* stored = reinterpret_cast<InternedString*>(chunkAt_);
    chunkAt_ += aligned;
    chunkLeft_ -= aligned;
    stored->hash = hash;
    stored->length = static_cast<std::uint32_t>(text.size());
    if (!text.empty()) std::memcpy(stored->text, text.data(), text.size());
    stored->text[text.size()] = '\0';
    return stored;
  }

  void Grow() {
    std::vector<const InternedString*> old(std::max<std::size_t>(16, slots_.size() * 2), nullptr);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const InternedString* s : old) {
      if (s == nullptr) continue;
      std::size_t i = s->hash & mask;
      while (slots_[i] != nullptr) i = (i + 1) & mask;
      slots_[i] = s;
    }
  }

  std::vector<std::unique_ptr<char[]>> chunks_;
  char* chunkAt_ = nullptr;
  std::size_t chunkLeft_ = 0;
  std::vector<const InternedString*> slots_;
  std::size_t count_ = 0;

  std::vector<BindingCollectionRecord*> freeCollections_;
  std::vector<BindingStructureRecord*> freeStructures_;
  std::vector<std::vector<std::uint8_t>*> freeBlobs_;
  std::vector<BindingEnum*> freeEnums_;
};

const char* KindName(BindingPropertyKind kind) {
  static const char* const kNames[] = {"empty",  "bool", "signed", "unsigned",   "float",
                                       "string", "blob", "enum",   "collection", "structure"};
  const auto index = static_cast<std::size_t>(kind);
  return index < std::size(kNames) ? kNames[index] : "";
}

const BindingProperty& BindingProperty::EmptyValue() {
  static const BindingProperty* const kEmpty = new BindingProperty();
  return *kEmpty;
}

BindingProperty::~BindingProperty() {
  ReleasePayload();
  if (ownsPool_) delete pool_;
}

BindingProperty::BindingProperty(const BindingProperty& other) { CopyFrom(other); }

BindingProperty& BindingProperty::operator=(const BindingProperty& other) {
  if (this == &other) return *this;
  if (pool_ != nullptr && other.pool_ == pool_) {
    // `other` may live inside this value: copy it aside before releasing.
    BindingProperty copy;
    copy.AdoptChildOf(pool_);
    copy.CopyFrom(other);
    return *this = std::move(copy);
  }
  ReleasePayload();
  CopyFrom(other);
  return *this;
}

BindingProperty::BindingProperty(BindingProperty&& other) noexcept
    : payload_(other.payload_), pool_(other.pool_), kind_(other.kind_), ownsPool_(other.ownsPool_) {
  other.kind_ = BindingPropertyKind::Empty;
  other.payload_.u64 = 0;
  if (other.ownsPool_) {
    other.pool_ = nullptr;
    other.ownsPool_ = 0;
  }
}

BindingProperty& BindingProperty::operator=(BindingProperty&& other) noexcept {
  if (this == &other) return *this;
  const bool sameTree = pool_ != nullptr && other.pool_ == pool_;
  const bool takeWholeTree = other.ownsPool_ && (ownsPool_ || pool_ == nullptr);
  if (sameTree || takeWholeTree || other.pool_ == nullptr) {
    // Detach the payload first: `other` may live inside this value.
    const Payload payload = other.payload_;
    const BindingPropertyKind kind = other.kind_;
    other.kind_ = BindingPropertyKind::Empty;
    other.payload_.u64 = 0;
    BindingPropertyPool* otherPool = nullptr;
    if (takeWholeTree && !sameTree) {
      otherPool = other.pool_;
      other.pool_ = nullptr;
      other.ownsPool_ = 0;
    }
    ReleasePayload();
    if (otherPool != nullptr) {
      if (ownsPool_) delete pool_;
      pool_ = otherPool;
      ownsPool_ = 1;
    }
    payload_ = payload;
    kind_ = kind;
    return *this;
  }
  // A value of another tree: its strings live in that tree's pool.
  ReleasePayload();
  CopyFrom(other);
  return *this;
}

BindingPropertyPool* BindingProperty::EnsurePool() {
  if (pool_ == nullptr) {
    pool_ = new BindingPropertyPool();
    ownsPool_ = 1;
  }
  return pool_;
}

void BindingProperty::AdoptChildOf(BindingPropertyPool* pool) {
  pool_ = pool;
  ownsPool_ = 0;
}

BindingCollectionRecord* BindingProperty::collection() const {
  return kind_ == BindingPropertyKind::Collection
             ? static_cast<BindingCollectionRecord*>(payload_.record)
             : nullptr;
}

BindingStructureRecord* BindingProperty::structure() const {
  return kind_ == BindingPropertyKind::Structure
             ? static_cast<BindingStructureRecord*>(payload_.record)
             : nullptr;
}

void BindingProperty::ReleasePayload() {
  switch (kind_) {
    case BindingPropertyKind::Blob:
      pool_->Release(static_cast<std::vector<std::uint8_t>*>(payload_.record));
      break;
    case BindingPropertyKind::Enum:
      pool_->Release(static_cast<BindingEnum*>(payload_.record));
      break;
    case BindingPropertyKind::Collection:
      pool_->Release(collection());  // clearing the vector resets the children
      break;
    case BindingPropertyKind::Structure:
      pool_->Release(structure());
      break;
    default:
      break;  // inline payloads and interned strings hold nothing to release
  }
  kind_ = BindingPropertyKind::Empty;
  payload_.u64 = 0;
}

void BindingProperty::Reset() { ReleasePayload(); }

void BindingProperty::SetBool(bool value) {
  ReleasePayload();
  payload_.boolean = value;
  kind_ = BindingPropertyKind::Bool;
}

void BindingProperty::SetSigned(std::int64_t value) {
  ReleasePayload();
  payload_.i64 = value;
  kind_ = BindingPropertyKind::Signed;
}

void BindingProperty::SetUnsigned(std::uint64_t value) {
  ReleasePayload();
  payload_.u64 = value;
  kind_ = BindingPropertyKind::Unsigned;
}

void BindingProperty::SetFloat(double value) {
  ReleasePayload();
  payload_.f64 = value;
  kind_ = BindingPropertyKind::Float;
}

void BindingProperty::SetString(std::string_view text) {
  // Intern before releasing: `text` may point into this tree's pool.
  const InternedString* interned = EnsurePool()->Intern(text);
  ReleasePayload();
  payload_.record = const_cast<InternedString*>(interned);
  kind_ = BindingPropertyKind::String;
}

void BindingProperty::SetBlob(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t>* blob = EnsurePool()->NewBlob();
  blob->assign(bytes.begin(), bytes.end());
  ReleasePayload();
  payload_.record = blob;
  kind_ = BindingPropertyKind::Blob;
}

void BindingProperty::SetEnum(std::int32_t value, const StaticType* type) {
  ReleasePayload();
  BindingEnum* record = EnsurePool()->NewEnum();
  record->value = value;
  record->type = type;
  payload_.record = record;
  kind_ = BindingPropertyKind::Enum;
}

void BindingProperty::MakeCollection() {
  if (kind_ == BindingPropertyKind::Collection) return;
  ReleasePayload();
  payload_.record = EnsurePool()->NewCollection();
  kind_ = BindingPropertyKind::Collection;
}

void BindingProperty::MakeStructure() {
  if (kind_ == BindingPropertyKind::Structure) return;
  ReleasePayload();
  payload_.record = EnsurePool()->NewStructure();
  kind_ = BindingPropertyKind::Structure;
}

bool BindingProperty::GetBool(bool fallback) const {
  return kind_ == BindingPropertyKind::Bool ? payload_.boolean : fallback;
}

std::int64_t BindingProperty::GetSigned(std::int64_t fallback) const {
  return kind_ == BindingPropertyKind::Signed ? payload_.i64 : fallback;
}

std::uint64_t BindingProperty::GetUnsigned(std::uint64_t fallback) const {
  return kind_ == BindingPropertyKind::Unsigned ? payload_.u64 : fallback;
}

double BindingProperty::GetFloat(double fallback) const {
  return kind_ == BindingPropertyKind::Float ? payload_.f64 : fallback;
}

std::string_view BindingProperty::GetString(std::string_view fallback) const {
  return kind_ == BindingPropertyKind::String
             ? static_cast<const InternedString*>(payload_.record)->view()
             : fallback;
}

std::span<const std::uint8_t> BindingProperty::GetBlob(
    std::span<const std::uint8_t> fallback) const {
  if (kind_ != BindingPropertyKind::Blob) return fallback;
  const auto* blob = static_cast<const std::vector<std::uint8_t>*>(payload_.record);
  return {blob->data(), blob->size()};
}

BindingEnum BindingProperty::GetEnum(BindingEnum fallback) const {
  return kind_ == BindingPropertyKind::Enum ? *static_cast<const BindingEnum*>(payload_.record)
                                            : fallback;
}

std::size_t BindingProperty::size() const {
  switch (kind_) {
    case BindingPropertyKind::Empty:
      return 0;
    case BindingPropertyKind::String:
      return static_cast<const InternedString*>(payload_.record)->length;
    case BindingPropertyKind::Blob:
      return static_cast<const std::vector<std::uint8_t>*>(payload_.record)->size();
    case BindingPropertyKind::Collection:
      return collection()->elements.size();
    case BindingPropertyKind::Structure:
      return structure()->fields.size();
    default:
      return 1;
  }
}

const BindingProperty& BindingProperty::operator[](std::size_t index) const {
  const BindingCollectionRecord* record = collection();
  if (record == nullptr || index >= record->elements.size()) return EmptyValue();
  return record->elements[index];
}

BindingProperty& BindingProperty::operator[](std::size_t index) {
  MakeCollection();
  auto& elements = collection()->elements;
  if (index >= elements.size()) {
    if (index >= kMaxCollectionSize) throw std::length_error("BindingProperty: collection too long");
    while (elements.size() <= index) elements.emplace_back().AdoptChildOf(pool_);
  }
  return elements[index];
}

BindingProperty& BindingProperty::Append() {
  MakeCollection();
  auto& elements = collection()->elements;
  if (elements.size() >= kMaxCollectionSize) {
    throw std::length_error("BindingProperty: collection too long");
  }
  BindingProperty& element = elements.emplace_back();
  element.AdoptChildOf(pool_);
  return element;
}

void BindingProperty::Reserve(std::size_t count) {
  if (count > kMaxCollectionSize) throw std::length_error("BindingProperty: reserve too large");
  if (BindingCollectionRecord* record = collection()) record->elements.reserve(count);
}

namespace {

// First field whose name is not less than `name`.
template <typename Fields>
auto LowerBound(Fields& fields, std::string_view name) {
  return std::lower_bound(fields.begin(), fields.end(), name,
                          [](const BindingField& f, std::string_view n) { return f.Name() < n; });
}

}  // namespace

const BindingProperty* BindingProperty::Find(std::string_view name) const {
  const BindingStructureRecord* record = structure();
  if (record == nullptr) return nullptr;
  auto it = LowerBound(record->fields, name);
  return it != record->fields.end() && it->Name() == name ? &it->value : nullptr;
}

BindingProperty* BindingProperty::Find(std::string_view name) {
  return const_cast<BindingProperty*>(std::as_const(*this).Find(name));
}

const BindingProperty& BindingProperty::operator[](std::string_view name) const {
  const BindingProperty* field = Find(name);
  return field != nullptr ? *field : EmptyValue();
}

BindingProperty& BindingProperty::operator[](std::string_view name) {
  // Intern first: `name` may point into this value's own storage.
  const InternedString* interned = EnsurePool()->Intern(name);
  MakeStructure();
  auto& fields = structure()->fields;
  // Members usually arrive in order: try the end before searching.
  if (fields.empty() || fields.back().Name() < interned->view()) {
    BindingField& field = fields.emplace_back(BindingField{interned, {}});
    field.value.AdoptChildOf(pool_);
    return field.value;
  }
  auto it = LowerBound(fields, interned->view());
  if (it != fields.end() && it->name == interned) return it->value;
  it = fields.insert(it, BindingField{interned, {}});
  it->value.AdoptChildOf(pool_);
  return it->value;
}

BindingProperty::FieldRange BindingProperty::Fields() const { return {structure()}; }

BindingProperty::FieldIterator BindingProperty::FieldRange::begin() const {
  return FieldIterator(record != nullptr ? record->fields.data() : nullptr);
}

BindingProperty::FieldIterator BindingProperty::FieldRange::end() const {
  return FieldIterator(record != nullptr ? record->fields.data() + record->fields.size()
                                         : nullptr);
}

std::span<const BindingProperty> BindingProperty::Elements() const {
  const BindingCollectionRecord* record = collection();
  if (record == nullptr) return {};
  return {record->elements.data(), record->elements.size()};
}

std::span<BindingProperty> BindingProperty::Elements() {
  BindingCollectionRecord* record = collection();
  if (record == nullptr) return {};
  return {record->elements.data(), record->elements.size()};
}

// REQUIRES: this holds no payload.
void BindingProperty::CopyFrom(const BindingProperty& other) {
  switch (other.kind_) {
    case BindingPropertyKind::Empty:
      return;
    case BindingPropertyKind::Bool:
    case BindingPropertyKind::Signed:
    case BindingPropertyKind::Unsigned:
    case BindingPropertyKind::Float:
      payload_ = other.payload_;
      kind_ = other.kind_;
      return;
    case BindingPropertyKind::String:
      if (other.pool_ == pool_) {
        payload_ = other.payload_;
        kind_ = other.kind_;
      } else {
        SetString(other.GetString());
      }
      return;
    case BindingPropertyKind::Blob:
      SetBlob(other.GetBlob());
      return;
    case BindingPropertyKind::Enum: {
      const BindingEnum e = other.GetEnum();
      SetEnum(e.value, e.type);
      return;
    }
    case BindingPropertyKind::Collection: {
      MakeCollection();
      const auto& from = other.collection()->elements;
      auto& to = collection()->elements;
      to.reserve(from.size());
      for (const BindingProperty& element : from) {
        BindingProperty& copy = to.emplace_back();
        copy.AdoptChildOf(pool_);
        copy.CopyFrom(element);
      }
      return;
    }
    case BindingPropertyKind::Structure: {
      MakeStructure();
      const auto& from = other.structure()->fields;
      auto& to = structure()->fields;
      to.reserve(from.size());
      for (const BindingField& field : from) {
        const InternedString* name = other.pool_ == pool_ ? field.name : pool_->Intern(field.Name());
        BindingField& copy = to.emplace_back(BindingField{name, {}});
        copy.value.AdoptChildOf(pool_);
        copy.value.CopyFrom(field.value);
      }
      return;
    }
  }
}

bool operator==(const BindingProperty& a, const BindingProperty& b) {
  if (a.kind_ != b.kind_) return false;
  switch (a.kind_) {
    case BindingPropertyKind::Empty:
      return true;
    case BindingPropertyKind::Bool:
      return a.payload_.boolean == b.payload_.boolean;
    case BindingPropertyKind::Signed:
    case BindingPropertyKind::Unsigned:
      return a.payload_.u64 == b.payload_.u64;
    case BindingPropertyKind::Float:
      return a.payload_.f64 == b.payload_.f64;
    case BindingPropertyKind::String:
      return a.GetString() == b.GetString();
    case BindingPropertyKind::Blob:
      return std::ranges::equal(a.GetBlob(), b.GetBlob());
    case BindingPropertyKind::Enum: {
      const BindingEnum x = a.GetEnum(), y = b.GetEnum();
      const std::uint32_t xid = x.type != nullptr ? x.type->id : 0;
      const std::uint32_t yid = y.type != nullptr ? y.type->id : 0;
      return x.value == y.value && xid == yid;
    }
    case BindingPropertyKind::Collection:
      return std::ranges::equal(a.Elements(), b.Elements());
    case BindingPropertyKind::Structure: {
      const auto& x = a.structure()->fields;
      const auto& y = b.structure()->fields;
      if (x.size() != y.size()) return false;
      for (std::size_t i = 0; i < x.size(); ++i) {
        if (x[i].Name() != y[i].Name() || !(x[i].value == y[i].value)) return false;
      }
      return true;
    }
  }
  return false;
}

}  // namespace Kelp
