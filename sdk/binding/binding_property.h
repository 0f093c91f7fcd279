// BindingProperty: the in-process dynamic value tree that the codecs read and
// write and that the conversion rules turn into native records and back.
//
// Every node of one tree shares the tree's pool, which interns every string
// value and field name (two equal texts of one tree share one stored string)
// and holds the out-of-line records. The root (and only the root) owns the
// pool: a subtree must not outlive its root. Assigning or moving a value from
// another tree copies it into this tree's pool.
//
// References returned by the element and field accessors stay valid until the
// container they live in gains a new element or field, or is reset.
//
// Storage comes in chunks per tree; a destroyed tree leaves its full-size
// chunks to later trees, up to 4 MiB in the whole process, until
// ReleaseCachedTreeChunks() frees them (the plugin does at shutdown).
//
// A tree is not synchronised: one thread at a time.
#ifndef KELP_SDK_BINDING_BINDING_PROPERTY_H_
#define KELP_SDK_BINDING_BINDING_PROPERTY_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <span>
#include <string>
#include <string_view>

#include "sdk/binding/static_type.h"

namespace Kelp {

// Nesting deeper than this is refused by every decoder and by the mapping from
// boundary values, so that the recursive walks over a tree (copy, destroy,
// convert, write) stay within a small stack.
inline constexpr int kMaxNestingDepth = 512;

enum class BindingPropertyKind : std::uint8_t {
  Empty = 0,
  Bool = 1,
  Signed = 2,
  Unsigned = 3,
  Float = 4,
  String = 5,
  Blob = 6,
  Enum = 7,
  Collection = 8,
  Structure = 9,
};

// "empty", "bool", ... "structure"; the empty text above 9.
const char* KindName(BindingPropertyKind kind);

// Frees the chunks that destroyed trees left for later ones. Any thread.
void ReleaseCachedTreeChunks();

// 32-bit FNV-1a (basis 0x811C9DC5, prime 16777619) over the bytes.
constexpr std::uint32_t Fnv1a(std::string_view bytes) {
  std::uint32_t hash = 0x811C9DC5u;
  for (char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return hash;
}

// An enumeration value: its number and its type's identifier.
struct BindingEnum {
  std::int32_t value = 0;
  const StaticType* type = nullptr;
};

class BindingPropertyPool;
struct BindingField;
namespace detail {
template <typename T>
struct PoolArray;
}  // namespace detail
struct BindingStructureRecord;

// An immutable string stored once per tree, with its hash.
struct InternedString {
  std::uint32_t hash;
  std::uint32_t length;
  char text[1];  // `length` bytes and a NUL

  std::string_view view() const { return {text, length}; }
  // The first eight bytes as a number that orders as the bytes do, the
  // bytes past the end taken as zero: names that differ there are ordered
  // by one comparison. Every stored string has room for eight bytes of
  // text, so the read stays in its block.
  std::uint64_t OrderPrefix() const {
    std::uint64_t word;
    std::memcpy(&word, text, sizeof word);
    if constexpr (std::endian::native == std::endian::little) {
      if (length < 8) word &= (std::uint64_t{1} << (8 * length)) - 1;
      return __builtin_bswap64(word);
    } else {
      if (length < 8) word &= ~(~std::uint64_t{0} >> (8 * length));
      return word;
    }
  }
  // Whether `other` has this text. Inline and word-wise: names and short
  // values are compared on every decoded key, where a library call would
  // cost more than the comparison.
  bool Equals(std::string_view other) const {
    std::size_t n = other.size();
    if (n != length) return false;
    const char* a = text;
    const char* b = other.data();
    if (n >= 8) {
      for (; n > 8; a += 8, b += 8, n -= 8) {
        if (Word64(a) != Word64(b)) return false;
      }
      return Word64(a + n - 8) == Word64(b + n - 8);  // the last eight bytes
    }
    if (n >= 4) return Word32(a) == Word32(b) && Word32(a + n - 4) == Word32(b + n - 4);
    return n == 0 || (a[0] == b[0] && a[n / 2] == b[n / 2] && a[n - 1] == b[n - 1]);
  }

 private:
  static std::uint64_t Word64(const char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
  }
  static std::uint32_t Word32(const char* at) {
    std::uint32_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
  }
};
struct BindingCollectionRecord;

class BindingProperty {
 public:
  BindingProperty() = default;
  ~BindingProperty();

  // Deep copies into this node's tree.
  BindingProperty(const BindingProperty& other);
  BindingProperty& operator=(const BindingProperty& other);
  // Steals from a root or from a node of the same tree; otherwise copies
  // (the assignment, that is: it may run out of memory, so it may throw).
  BindingProperty(BindingProperty&& other) noexcept;
  BindingProperty& operator=(BindingProperty&& other);

  BindingPropertyKind kind() const { return kind_; }
  bool IsEmpty() const { return kind_ == BindingPropertyKind::Empty; }

  // Setters release the old payload first. The scalar ones are inline: a
  // decoder calls them on every number it reads.
  void SetBool(bool value) {
    ReleaseOutOfLinePayload();
    payload_.boolean = value;
    kind_ = BindingPropertyKind::Bool;
  }
  void SetSigned(std::int64_t value) {
    ReleaseOutOfLinePayload();
    payload_.i64 = value;
    kind_ = BindingPropertyKind::Signed;
  }
  void SetUnsigned(std::uint64_t value) {
    ReleaseOutOfLinePayload();
    payload_.u64 = value;
    kind_ = BindingPropertyKind::Unsigned;
  }
  void SetFloat(double value) {
    ReleaseOutOfLinePayload();
    payload_.f64 = value;
    kind_ = BindingPropertyKind::Float;
  }
  void SetString(std::string_view text);
  // The same without looking for an equal text already in the tree: for
  // decoders, which fill a new tree once from input whose values are mostly
  // distinct. Each call keeps its copy until the tree is destroyed, so a
  // node that is set again and again must use SetString.
  void SetDecodedString(std::string_view text);
  void SetBlob(std::span<const std::uint8_t> bytes);
  void SetEnum(std::int32_t value, const StaticType* type);
  // Makes this an empty collection or structure (keeps one already there).
  void MakeCollection();
  void MakeStructure();
  // The same with room for `capacity` elements or fields: for a decoder
  // that knows how many come. The limit of Reserve holds.
  void MakeCollection(std::size_t capacity);
  void MakeStructure(std::size_t capacity);
  // Releases the payload; the kind becomes empty.
  void Reset();

  // Getters return the payload when the kind matches, else `fallback`. There
  // is no numeric widening: a signed value asked for its float gives the
  // fallback.
  bool GetBool(bool fallback = false) const;
  std::int64_t GetSigned(std::int64_t fallback = 0) const;
  std::uint64_t GetUnsigned(std::uint64_t fallback = 0) const;
  double GetFloat(double fallback = 0.0) const;
  std::string_view GetString(std::string_view fallback = {}) const;
  std::span<const std::uint8_t> GetBlob(std::span<const std::uint8_t> fallback = {}) const;
  BindingEnum GetEnum(BindingEnum fallback = {}) const;

  // 0 for empty; the length of a string or blob; the element or field count
  // of a collection or structure; 1 otherwise.
  std::size_t size() const;

  // Element `index` of a collection; a shared empty value when this is not a
  // collection or the index is past the end.
  const BindingProperty& operator[](std::size_t index) const;
  // Makes this a collection first when it is not one (its old content is
  // released); appends empty elements until `index` exists.
  BindingProperty& operator[](std::size_t index);
  // Appends one empty element (making this a collection first). Inline
  // while there is room: a decoder appends every element it reads.
  BindingProperty& Append();
  // Grows a collection's capacity. More than 0x0FFFFFFF elements throws
  // std::length_error.
  void Reserve(std::size_t count);
  // Grows a structure's field capacity, for a decoder that knows how many
  // fields come; the same limit.
  void ReserveFields(std::size_t count);

  // Field `name` of a structure; the shared empty value when absent or when
  // this is not a structure.
  const BindingProperty& operator[](std::string_view name) const;
  // Makes this a structure first when it is not one (its old content is
  // released); inserts an empty field when none of that name exists.
  BindingProperty& operator[](std::string_view name);
  // The field, or null when absent or this is not a structure.
  const BindingProperty* Find(std::string_view name) const;
  BindingProperty* Find(std::string_view name);

  // For decoders building a large structure, where keeping name order on
  // every insertion would cost quadratic time: AppendField adds field `name`
  // at the end without looking for one of that name and without keeping
  // name order; FieldAt reaches a field by storage position; SortFields
  // restores name order. Between the first AppendField and SortFields, the
  // name accessors, Find and Fields must not be used on this value.
  // REQUIRES (AppendField): this is a structure without a field `name`.
  // REQUIRES (FieldAt): this is a structure and `index` < size().
  BindingProperty& AppendField(std::string_view name);
  BindingProperty& FieldAt(std::size_t index);
  const BindingProperty& FieldAt(std::size_t index) const;
  void SortFields();
  // The same for a name already interned in this tree (InternName), and the
  // fields in storage order, for a decoder looking for a name it has seen.
  // REQUIRES (InternName): this is a structure or a collection.
  const InternedString* InternName(std::string_view name);
  BindingProperty& AppendField(const InternedString* name);
  std::span<const BindingField> StoredFields() const;
  // For a decoder that knows where each name of a structure goes in name
  // order: PlaceField puts field `name` at storage position `index` and
  // counts it, so that a structure filled in full needs no sorting.
  // GatherFields moves the `count` fields placed at positions[0] to
  // positions[count-1] to positions 0 to count-1, in that order, for a
  // decoder whose input turned out to hold other names. Until then, the
  // storage positions filled are not 0 to size()-1: only PlaceField and
  // GatherFields may be used on this value.
  // REQUIRES (PlaceField): this is a structure whose reserved room holds
  // `index`, unfilled, and no field `name`.
  // REQUIRES (GatherFields): `count` <= kMaxGatheredFields; positions[0] to
  // positions[count-1] are the positions filled, and size() is `count`.
  static constexpr std::size_t kMaxGatheredFields = 32;
  BindingProperty& PlaceField(std::size_t index, const InternedString* name);
  void GatherFields(const std::uint8_t* positions, std::size_t count);
  // The reserved room of a structure, filled or not: while fields are
  // placed, only the positions filled hold fields.
  std::span<const BindingField> FieldRoom() const;

  // Fields in ascending byte-wise order of name.
  class FieldIterator;
  struct FieldRange {
    const BindingStructureRecord* record;
    FieldIterator begin() const;
    FieldIterator end() const;
  };
  FieldRange Fields() const;

  // Elements in index order (empty span when not a collection).
  std::span<const BindingProperty> Elements() const;
  std::span<BindingProperty> Elements();

  // The shared, permanently empty value.
  static const BindingProperty& EmptyValue();

  // Structural equality: same kinds, same payloads, same fields and elements.
  // Enums compare number and type id.
  friend bool operator==(const BindingProperty& a, const BindingProperty& b);

 private:
  friend class BindingPropertyPool;
  friend struct BindingStructureRecord;

  BindingPropertyPool* EnsurePool() { return pool_ != nullptr ? pool_ : NewPool(); }
  BindingPropertyPool* NewPool();
  // Append and AppendField once the array is full (or, for Append, this is
  // not a collection yet).
  BindingProperty& AppendGrowing();
  // MakeCollection and MakeStructure, for the record holding `items`.
  template <typename Record, typename T>
  void MakeContainer(BindingPropertyKind kind, detail::PoolArray<T> Record::*items,
                     std::size_t capacity);
  BindingProperty& AppendFieldGrowing(const InternedString* name);
  void AdoptChildOf(BindingPropertyPool* pool);
  void CopyFrom(const BindingProperty& other);
  void ReleasePayload();
  // Makes this a string holding `stored`, a string of this tree.
  void TakeString(const InternedString* stored);
  // Only the kinds past String hold something out of line to release.
  void ReleaseOutOfLinePayload() {
    if (kind_ > BindingPropertyKind::String) ReleasePayload();
  }
  BindingCollectionRecord* collection() const;
  BindingStructureRecord* structure() const;

  union Payload {
    bool boolean;
    std::int64_t i64;
    std::uint64_t u64;
    double f64;
    void* record;
  } payload_{};
  BindingPropertyPool* pool_ = nullptr;
  BindingPropertyKind kind_ = BindingPropertyKind::Empty;
  std::uint8_t ownsPool_ = 0;
};

// A field of a structure: an interned name and its value.
struct BindingField {
  const InternedString* name;
  BindingProperty value;
  std::string_view Name() const;
};

namespace detail {

// A growable array whose storage comes from the tree's pool. Its items are
// relocated bytewise when it grows: a node of a tree holds nothing that
// points at the node itself.
template <typename T>
struct PoolArray {
  T* data = nullptr;
  std::uint32_t size = 0;
  std::uint32_t capacity = 0;
};

}  // namespace detail

struct BindingCollectionRecord {
  detail::PoolArray<BindingProperty> elements;
};

// Fields kept sorted by byte-wise name.
struct BindingStructureRecord {
  detail::PoolArray<BindingField> fields;
};

inline BindingProperty& BindingProperty::Append() {
  if (kind_ == BindingPropertyKind::Collection) {
    auto& elements = static_cast<BindingCollectionRecord*>(payload_.record)->elements;
    if (elements.size != elements.capacity) {
      BindingProperty* element = new (&elements.data[elements.size++]) BindingProperty();
      element->pool_ = pool_;
      return *element;
    }
  }
  return AppendGrowing();
}

inline BindingProperty& BindingProperty::AppendField(const InternedString* name) {
  auto& fields = static_cast<BindingStructureRecord*>(payload_.record)->fields;
  if (fields.size == fields.capacity) return AppendFieldGrowing(name);
  BindingField* slot = new (&fields.data[fields.size++]) BindingField{name, {}};
  slot->value.pool_ = pool_;
  return slot->value;
}

inline BindingProperty& BindingProperty::PlaceField(std::size_t index, const InternedString* name) {
  auto& fields = static_cast<BindingStructureRecord*>(payload_.record)->fields;
  BindingField* slot = new (&fields.data[index]) BindingField{name, {}};
  ++fields.size;
  slot->value.pool_ = pool_;
  return slot->value;
}

inline std::span<const BindingField> BindingProperty::StoredFields() const {
  if (kind_ != BindingPropertyKind::Structure) return {};
  const auto& fields = static_cast<const BindingStructureRecord*>(payload_.record)->fields;
  return {fields.data, fields.size};
}

inline std::span<const BindingField> BindingProperty::FieldRoom() const {
  if (kind_ != BindingPropertyKind::Structure) return {};
  const auto& fields = static_cast<const BindingStructureRecord*>(payload_.record)->fields;
  return {fields.data, fields.capacity};
}

class BindingProperty::FieldIterator {
 public:
  using value_type = std::pair<std::string_view, const BindingProperty&>;
  explicit FieldIterator(const BindingField* at) : at_(at) {}
  value_type operator*() const { return {at_->Name(), at_->value}; }
  FieldIterator& operator++() {
    ++at_;
    return *this;
  }
  bool operator==(const FieldIterator& other) const { return at_ == other.at_; }

 private:
  const BindingField* at_;
};

}  // namespace Kelp

#endif  // KELP_SDK_BINDING_BINDING_PROPERTY_H_
