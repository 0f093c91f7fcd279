#include "sdk/binding/binding_property.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <new>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

namespace Kelp {

namespace {

constexpr std::size_t kMaxCollectionSize = 0x0FFFFFFF;
// Structures up to this size are put in name order by insertion.
constexpr std::uint32_t kInsertionSortFields = 24;

// The string set's hash: eight bytes per step, where a byte-wise hash costs
// a multiplication per byte and dominates reading text-heavy documents.
std::uint32_t InternHash(std::string_view text) {
  constexpr std::uint64_t kMultiplier = 0xBF58476D1CE4E5B9u;
  std::uint64_t hash = 0x9E3779B97F4A7C15u ^ text.size();
  const char* at = text.data();
  std::size_t left = text.size();
  for (; left >= 8; at += 8, left -= 8) {
    std::uint64_t word;
    std::memcpy(&word, at, 8);
    hash = (hash ^ word) * kMultiplier;
    hash ^= hash >> 31;
  }
  if (left != 0) {
    // The last bytes, read without a byte-wise copy: overlapping the
    // previous word when there was one, else in up to two pieces.
    std::uint64_t word;
    if (text.size() >= 8) {
      std::memcpy(&word, text.data() + text.size() - 8, 8);
    } else if (left >= 4) {
      std::uint32_t low, high;
      std::memcpy(&low, at, 4);
      std::memcpy(&high, at + left - 4, 4);
      word = (std::uint64_t{high} << 32) | low;
    } else {
      word = static_cast<std::uint8_t>(at[0]) |
             (std::uint64_t{static_cast<std::uint8_t>(at[left / 2])} << 8) |
             (std::uint64_t{static_cast<std::uint8_t>(at[left - 1])} << 16);
    }
    hash = (hash ^ word) * kMultiplier;
    hash ^= hash >> 31;
  }
  hash ^= hash >> 29;
  hash *= 0x94D049BB133111EBu;
  return static_cast<std::uint32_t>(hash ^ (hash >> 32));
}

}  // namespace

using detail::PoolArray;

struct BindingBlobRecord {
  PoolArray<std::uint8_t> bytes;
};

std::string_view BindingField::Name() const { return name->view(); }

namespace {

// Copies `text` to `to`. Most decoded texts are short: up to sixteen bytes
// they take two loads and two stores that may overlap, where a call to
// memcpy would cost more than the copy.
inline void CopyText(char* to, std::string_view text) {
  const char* from = text.data();
  const std::size_t n = text.size();
  if (n > 16) {
    std::memcpy(to, from, n);
  } else if (n >= 8) {
    std::uint64_t head, tail;
    std::memcpy(&head, from, 8);
    std::memcpy(&tail, from + n - 8, 8);
    std::memcpy(to, &head, 8);
    std::memcpy(to + n - 8, &tail, 8);
  } else if (n >= 4) {
    std::uint32_t head, tail;
    std::memcpy(&head, from, 4);
    std::memcpy(&tail, from + n - 4, 4);
    std::memcpy(to, &head, 4);
    std::memcpy(to + n - 4, &tail, 4);
  } else if (n != 0) {
    to[0] = from[0];
    to[n / 2] = from[n / 2];
    to[n - 1] = from[n - 1];
  }
}

// Name order, the order of std::string_view: the first eight bytes decide
// most pairs of names in one comparison.
bool NameLess(const BindingField& a, const BindingField& b) {
  const std::uint64_t first = a.name->OrderPrefix();
  const std::uint64_t second = b.name->OrderPrefix();
  if (first != second) return first < second;
  return a.Name() < b.Name();
}

using Chunk = std::unique_ptr<std::max_align_t[]>;
constexpr std::size_t kLargestChunk = 64 * 1024;
constexpr std::size_t kCachedChunks = 64;  // 4 MiB

// Full-size chunks of trees that are gone, kept for the next trees: a host
// that reads a large body per request would otherwise have the runtime
// return those pages to the system and fault them in again. One cache for
// the process, so that shutdown can free it whichever threads filled it; a
// chunk is 64 KiB, so its lock is taken rarely. The cache counts as memory
// in use.
struct ChunkCache {
  std::mutex mutex;
  std::vector<Chunk> chunks;
};

// Never destroyed: trees may die during the process's exit. In static
// storage, so that once the chunks are released no heap memory is held.
ChunkCache& Cache() {
  alignas(ChunkCache) static unsigned char storage[sizeof(ChunkCache)];
  static ChunkCache* const cache = new (storage) ChunkCache();
  return *cache;
}

Chunk TakeChunk(std::size_t size) {
  if (size == kLargestChunk) {
    ChunkCache& cache = Cache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    if (!cache.chunks.empty()) {
      Chunk chunk = std::move(cache.chunks.back());
      cache.chunks.pop_back();
      return chunk;
    }
  }
  return std::make_unique_for_overwrite<std::max_align_t[]>(
      (size + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t));
}

// `chunk` holds `size` bytes; a full-size one may go to the cache.
void GiveBackChunk(Chunk chunk, std::size_t size) {
  if (size != kLargestChunk) return;
  ChunkCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  if (cache.chunks.size() < kCachedChunks) cache.chunks.push_back(std::move(chunk));
}

}  // namespace

void ReleaseCachedTreeChunks() {
  std::vector<Chunk> released;
  ChunkCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  released.swap(cache.chunks);
}

// Per-tree storage. Everything a tree holds (records, element and field
// arrays, blob bytes, interned strings) is carved from a few large chunks,
// so building a tree costs few heap allocations and destroying the root
// frees the chunks without visiting the nodes. Released blocks go to free
// lists by power-of-two size class, so a tree that is reset and rebuilt
// reuses its memory.
class BindingPropertyPool {
 public:
  BindingPropertyPool() = default;
  ~BindingPropertyPool() {
    for (ChunkHeader* chunk = chunks_; chunk != nullptr;) {
      ChunkHeader* next = chunk->next;
      const std::size_t size = chunk->size;
      GiveBackChunk(Chunk(reinterpret_cast<std::max_align_t*>(chunk)), size);
      chunk = next;
    }
  }
  BindingPropertyPool(const BindingPropertyPool&) = delete;
  BindingPropertyPool& operator=(const BindingPropertyPool&) = delete;

  // Field names repeat: the names interned last, found by a cheap hash of
  // the text, spare most of them the full hash and the probe. (String
  // values are mostly distinct: they go to Intern directly.)
  const InternedString* InternName(std::string_view text) {
    const std::size_t length = text.size();
    std::size_t recent = length;
    if (length != 0) {
      const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
      recent = length * 31 + bytes[0] * 7 + bytes[length / 2] * 3 + bytes[length - 1];
    }
    const InternedString*& cached = recent_[recent & (kRecentStrings - 1)];
    if (cached != nullptr && cached->Equals(text)) return cached;
    return cached = Intern(text);
  }

  const InternedString* Intern(std::string_view text) {
    const std::uint32_t hash = InternHash(text);
    if ((count_ + 1) * 2 > slotCount_) Rehash();
    const std::size_t mask = slotCount_ - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      Slot& slot = slots_[i];
      if (slot.string == nullptr) {
        slot = {hash, Store(text, hash)};
        ++count_;
        return slot.string;
      }
      if (slot.hash == hash && slot.string->Equals(text)) return slot.string;
    }
  }

  // A string kept outside the set, with no hash: never a name.
  const InternedString* StoreUnique(std::string_view text) { return Store(text, 0); }

  // A block of at least `bytes`; `*capacity` receives its real size. Sizes
  // past kLargestBlock have no size class: a length error.
  void* Allocate(std::size_t bytes, std::size_t* capacity = nullptr) {
    if (bytes > kLargestBlock) throw std::length_error("BindingProperty: block too large");
    const int sizeClass = SizeClass(bytes);
    const std::size_t size = std::size_t{1} << (sizeClass + kMinClassBits);
    if (capacity != nullptr) *capacity = size;
    if (FreeBlock* block = freeLists_[sizeClass]) {
      freeLists_[sizeClass] = block->next;
      return block;
    }
    return Bump(size);
  }
  // REQUIRES: `block` came from Allocate with a size of the same class.
  void Free(void* block, std::size_t bytes) {
    if (block == nullptr) return;
    const int sizeClass = SizeClass(bytes);
    auto* free = static_cast<FreeBlock*>(block);
    free->next = freeLists_[sizeClass];
    freeLists_[sizeClass] = free;
  }

  template <typename Record>
  Record* New() {
    return new (Allocate(sizeof(Record))) Record();
  }
  template <typename Record>
  void Delete(Record* record) {
    record->~Record();
    Free(record, sizeof(Record));
  }

  template <typename T>
  void Grow(PoolArray<T>& array, std::size_t atLeast) {
    // On 32-bit the byte count of the largest collection does not fit in a
    // size_t: the block limit comes first there.
    constexpr std::size_t kMostItems = std::min(kMaxCollectionSize, kLargestBlock / sizeof(T));
    if (atLeast > kMostItems) throw std::length_error("BindingProperty: too many items");
    const std::size_t wanted = std::max<std::size_t>({atLeast, 4, std::size_t{array.capacity} * 2});
    std::size_t bytes = 0;
    void* data = Allocate(std::min(wanted, kMostItems) * sizeof(T), &bytes);
    if (array.size != 0) std::memcpy(data, static_cast<void*>(array.data), array.size * sizeof(T));
    FreeArray(array);
    array.data = static_cast<T*>(data);
    array.capacity = static_cast<std::uint32_t>(std::min(bytes / sizeof(T), kMaxCollectionSize));
  }
  // A new record with room for `count` items in its array `member`, for a
  // decoder filling a new tree: both blocks come from one bump, each of the
  // size its class has, so that each can later go to its free list alone.
  template <typename Record, typename T>
  Record* NewWithRoom(PoolArray<T> Record::*member, std::size_t count) {
    constexpr std::size_t kMostItems = std::min(kMaxCollectionSize, kLargestBlock / sizeof(T));
    if (count > kMostItems) throw std::length_error("BindingProperty: too many items");
    constexpr std::size_t kRecordBlock = ClassBlock(sizeof(Record));
    const std::size_t arrayBlock = ClassBlock(count * sizeof(T));
    char* at = static_cast<char*>(Bump(kRecordBlock + arrayBlock));
    Record* record = new (at) Record();
    PoolArray<T>& array = record->*member;
    array.data = reinterpret_cast<T*>(at + kRecordBlock);
    array.capacity =
        static_cast<std::uint32_t>(std::min(arrayBlock / sizeof(T), kMaxCollectionSize));
    return record;
  }

  template <typename T>
  void FreeArray(PoolArray<T>& array) {
    Free(array.data, std::size_t{array.capacity} * sizeof(T));
  }

  // Returns a container's storage and that of everything below it to the
  // free lists, without recursion.
  void ReleaseContainer(BindingPropertyKind kind, void* record);
  // Releases what `node` holds out of line, queueing containers on `work`.
  void ReleaseChild(BindingProperty& node);

 private:
  static constexpr int kMinClassBits = 4;  // blocks of 16 bytes and up
  // The largest power of two a size_t holds: the top size class.
  static constexpr std::size_t kLargestBlock = std::size_t{1}
                                               << (std::numeric_limits<std::size_t>::digits - 1);
  static constexpr std::size_t kFirstChunk = 2048;

  struct FreeBlock {
    FreeBlock* next;
  };

  static constexpr int SizeClass(std::size_t bytes) {
    const int bits = static_cast<int>(std::bit_width(std::max<std::size_t>(bytes, 16) - 1));
    return bits - kMinClassBits;
  }
  // The size of the block that Allocate gives for `bytes`.
  static constexpr std::size_t ClassBlock(std::size_t bytes) {
    return std::size_t{1} << (SizeClass(bytes) + kMinClassBits);
  }

  // Inline, with the new chunk out of line: a decoder bumps for every
  // string and container it reads.
  void* Bump(std::size_t size) {
    if (size > chunkLeft_) [[unlikely]]
      NewChunk(size);
    void* block = chunkAt_;
    chunkAt_ += size;
    chunkLeft_ -= size;
    return block;
  }

  [[gnu::noinline]] void NewChunk(std::size_t size) {
    // Chunks double up to a limit; a larger block gets a chunk of its own.
    nextChunk_ = std::min(nextChunk_ * 2, kLargestChunk);
    const std::size_t chunk = std::max(nextChunk_, size + kChunkHeader);
    Chunk memory = TakeChunk(chunk);
    chunks_ = new (memory.release()) ChunkHeader{chunks_, chunk};
    chunkAt_ = reinterpret_cast<char*>(chunks_) + kChunkHeader;
    chunkLeft_ = chunk - kChunkHeader;
  }

  const InternedString* Store(std::string_view text, std::uint32_t hash) {
    const std::size_t need = offsetof(InternedString, text) + text.size() + 1;
    const std::size_t aligned = (need + 7) & ~std::size_t{7};
    // Strings live as long as the tree: they pack tightly into the chunks,
    // outside the size classes. Their text has room for eight bytes at
    // least, which InternedString::OrderPrefix reads.
    void* at = Bump(aligned);
    auto* stored = static_cast<InternedString*>(at);
    stored->hash = hash;
    stored->length = static_cast<std::uint32_t>(text.size());
    CopyText(stored->text, text);
    stored->text[text.size()] = '\0';
    return stored;
  }

  // The index lives in the pool like everything else.
  void Rehash() {
    const std::size_t count =
        slotCount_ == 0 ? 64 : slotCount_ < (1u << 16) ? slotCount_ * 4 : slotCount_ * 2;
    Slot* old = slots_;
    const std::size_t oldCount = slotCount_;
    slots_ = static_cast<Slot*>(Allocate(count * sizeof(Slot)));
    slotCount_ = count;
    std::memset(static_cast<void*>(slots_), 0, count * sizeof(Slot));  // every slot unused
    const std::size_t mask = count - 1;
    for (std::size_t j = 0; j < oldCount; ++j) {
      const Slot& slot = old[j];
      if (slot.string == nullptr) continue;
      std::size_t i = slot.hash & mask;
      while (slots_[i].string != nullptr) i = (i + 1) & mask;
      slots_[i] = slot;
    }
    Free(old, oldCount * sizeof(Slot));
  }

  // The hash sits in the index beside the pointer, so a probe that misses
  // does not touch the stored string.
  struct Slot {
    std::uint32_t hash = 0;
    const InternedString* string = nullptr;
  };

  // The chunks taken from the heap begin with this header, which lists
  // them; the blocks after it keep the chunk's alignment.
  struct ChunkHeader {
    ChunkHeader* next;
    std::size_t size;  // of the whole chunk
  };
  static constexpr std::size_t kChunkHeader = sizeof(std::max_align_t);
  static_assert(sizeof(ChunkHeader) <= kChunkHeader);

  // The first chunk is part of the pool, and the next one holds what a
  // small document adds: a tree read from one event costs two heap
  // allocations.
  alignas(std::max_align_t) char firstChunk_[kFirstChunk];
  ChunkHeader* chunks_ = nullptr;
  char* chunkAt_ = firstChunk_;
  std::size_t chunkLeft_ = kFirstChunk;
  std::size_t nextChunk_ = 2 * kFirstChunk;  // the first from the heap is 8 KiB
  FreeBlock* freeLists_[48] = {};
  static constexpr std::size_t kRecentStrings = 64;
  const InternedString* recent_[kRecentStrings] = {};
  Slot* slots_ = nullptr;
  std::size_t slotCount_ = 0;
  std::size_t count_ = 0;
  std::vector<std::pair<BindingPropertyKind, void*>> work_;
};

void BindingPropertyPool::ReleaseChild(BindingProperty& node) {
  switch (node.kind_) {
    case BindingPropertyKind::Blob: {
      auto* blob = static_cast<BindingBlobRecord*>(node.payload_.record);
      FreeArray(blob->bytes);
      Delete(blob);
      break;
    }
    case BindingPropertyKind::Enum:
      Delete(static_cast<BindingEnum*>(node.payload_.record));
      break;
    case BindingPropertyKind::Collection:
    case BindingPropertyKind::Structure:
      work_.emplace_back(node.kind_, node.payload_.record);
      break;
    default:
      break;  // inline payloads and interned strings hold nothing to release
  }
  node.kind_ = BindingPropertyKind::Empty;
  node.payload_.u64 = 0;
}

void BindingPropertyPool::ReleaseContainer(BindingPropertyKind kind, void* record) {
  const std::size_t base = work_.size();
  work_.emplace_back(kind, record);
  while (work_.size() > base) {
    const auto [k, r] = work_.back();
    work_.pop_back();
    if (k == BindingPropertyKind::Collection) {
      auto* collection = static_cast<BindingCollectionRecord*>(r);
      auto& elements = collection->elements;
      for (std::uint32_t i = 0; i < elements.size; ++i) ReleaseChild(elements.data[i]);
      FreeArray(elements);
      Delete(collection);
    } else {
      auto* structure = static_cast<BindingStructureRecord*>(r);
      auto& fields = structure->fields;
      for (std::uint32_t i = 0; i < fields.size; ++i) ReleaseChild(fields.data[i].value);
      FreeArray(fields);
      Delete(structure);
    }
  }
}

const char* KindName(BindingPropertyKind kind) {
  static const char* const kNames[] = {"empty",  "bool", "signed", "unsigned",   "float",
                                       "string", "blob", "enum",   "collection", "structure"};
  const auto index = static_cast<std::size_t>(kind);
  return index < std::size(kNames) ? kNames[index] : "";
}

const BindingProperty& BindingProperty::EmptyValue() {
  alignas(BindingProperty) static unsigned char storage[sizeof(BindingProperty)];
  static const BindingProperty* const kEmpty = new (storage) BindingProperty();
  return *kEmpty;
}

BindingProperty::~BindingProperty() {
  // The root frees the whole tree with its pool; nothing below it holds
  // memory of its own.
  if (ownsPool_) {
    delete pool_;
  } else {
    ReleasePayload();
  }
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

BindingProperty& BindingProperty::operator=(BindingProperty&& other) {
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
    if (otherPool != nullptr && ownsPool_) {
      delete pool_;  // frees the old payload with it
      kind_ = BindingPropertyKind::Empty;
    } else {
      ReleasePayload();
    }
    if (otherPool != nullptr) {
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

BindingPropertyPool* BindingProperty::NewPool() {
  pool_ = new BindingPropertyPool;  // the first chunk is left as it is
  ownsPool_ = 1;
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
    case BindingPropertyKind::Enum:
      pool_->ReleaseChild(*this);
      break;
    case BindingPropertyKind::Collection:
    case BindingPropertyKind::Structure:
      pool_->ReleaseContainer(kind_, payload_.record);
      break;
    default:
      break;
  }
  kind_ = BindingPropertyKind::Empty;
  payload_.u64 = 0;
}

void BindingProperty::Reset() { ReleasePayload(); }

// Both store before releasing: `text` may point into this tree's pool.
void BindingProperty::SetString(std::string_view text) { TakeString(EnsurePool()->Intern(text)); }

// Only names are compared by identity: a value string outside the set is
// found by its text alone.
void BindingProperty::SetDecodedString(std::string_view text) {
  TakeString(EnsurePool()->StoreUnique(text));
}

void BindingProperty::TakeString(const InternedString* stored) {
  ReleaseOutOfLinePayload();
  payload_.record = const_cast<InternedString*>(stored);
  kind_ = BindingPropertyKind::String;
}

void BindingProperty::SetBlob(std::span<const std::uint8_t> bytes) {
  BindingPropertyPool* pool = EnsurePool();
  auto* blob = pool->New<BindingBlobRecord>();
  if (!bytes.empty()) {
    pool->Grow(blob->bytes, bytes.size());
    std::memcpy(blob->bytes.data, bytes.data(), bytes.size());
    blob->bytes.size = static_cast<std::uint32_t>(bytes.size());
  }
  // Release after copying: `bytes` may point into this value.
  ReleasePayload();
  payload_.record = blob;
  kind_ = BindingPropertyKind::Blob;
}

void BindingProperty::SetEnum(std::int32_t value, const StaticType* type) {
  ReleasePayload();
  BindingEnum* record = EnsurePool()->New<BindingEnum>();
  record->value = value;
  record->type = type;
  payload_.record = record;
  kind_ = BindingPropertyKind::Enum;
}

void BindingProperty::MakeCollection() { MakeCollection(0); }

void BindingProperty::MakeStructure() { MakeStructure(0); }

void BindingProperty::MakeCollection(std::size_t capacity) {
  MakeContainer(BindingPropertyKind::Collection, &BindingCollectionRecord::elements, capacity);
}

void BindingProperty::MakeStructure(std::size_t capacity) {
  MakeContainer(BindingPropertyKind::Structure, &BindingStructureRecord::fields, capacity);
}

// A decoder makes every container it reads from an empty value, with the
// room it expects: the record and its array in one bump, without Grow.
template <typename Record, typename T>
void BindingProperty::MakeContainer(BindingPropertyKind kind, PoolArray<T> Record::*items,
                                    std::size_t capacity) {
  if (kind_ == kind) {
    PoolArray<T>& array = static_cast<Record*>(payload_.record)->*items;
    if (capacity > array.capacity) pool_->Grow(array, capacity);
    return;
  }
  ReleaseOutOfLinePayload();
  BindingPropertyPool* pool = EnsurePool();
  payload_.record = capacity == 0 ? pool->New<Record>() : pool->NewWithRoom(items, capacity);
  kind_ = kind;
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
  const auto& bytes = static_cast<const BindingBlobRecord*>(payload_.record)->bytes;
  return {bytes.data, bytes.size};
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
      return static_cast<const BindingBlobRecord*>(payload_.record)->bytes.size;
    case BindingPropertyKind::Collection:
      return collection()->elements.size;
    case BindingPropertyKind::Structure:
      return structure()->fields.size;
    default:
      return 1;
  }
}

const BindingProperty& BindingProperty::operator[](std::size_t index) const {
  const BindingCollectionRecord* record = collection();
  if (record == nullptr || index >= record->elements.size) return EmptyValue();
  return record->elements.data[index];
}

BindingProperty& BindingProperty::operator[](std::size_t index) {
  MakeCollection();
  auto& elements = collection()->elements;
  if (index >= elements.size) {
    if (index >= kMaxCollectionSize) throw std::length_error("BindingProperty: collection too long");
    if (index >= elements.capacity) pool_->Grow(elements, index + 1);
    while (elements.size <= index) {
      new (&elements.data[elements.size++]) BindingProperty();
      elements.data[elements.size - 1].AdoptChildOf(pool_);
    }
  }
  return elements.data[index];
}

BindingProperty& BindingProperty::AppendGrowing() {
  MakeCollection();
  auto& elements = collection()->elements;
  if (elements.size == elements.capacity) pool_->Grow(elements, std::size_t{elements.size} + 1);
  BindingProperty* element = new (&elements.data[elements.size++]) BindingProperty();
  element->AdoptChildOf(pool_);
  return *element;
}

void BindingProperty::Reserve(std::size_t count) {
  if (count > kMaxCollectionSize) throw std::length_error("BindingProperty: reserve too large");
  BindingCollectionRecord* record = collection();
  if (record != nullptr && count > record->elements.capacity) pool_->Grow(record->elements, count);
}

void BindingProperty::ReserveFields(std::size_t count) {
  if (count > kMaxCollectionSize) throw std::length_error("BindingProperty: reserve too large");
  BindingStructureRecord* record = structure();
  if (record != nullptr && count > record->fields.capacity) pool_->Grow(record->fields, count);
}

namespace {

// First field whose name is not less than `name`.
const BindingField* LowerBound(const BindingField* first, const BindingField* last,
                               std::string_view name) {
  return std::lower_bound(first, last, name,
                          [](const BindingField& f, std::string_view n) { return f.Name() < n; });
}

}  // namespace

const BindingProperty* BindingProperty::Find(std::string_view name) const {
  const BindingStructureRecord* record = structure();
  if (record == nullptr) return nullptr;
  const BindingField* end = record->fields.data + record->fields.size;
  const BindingField* it = LowerBound(record->fields.data, end, name);
  return it != end && it->Name() == name ? &it->value : nullptr;
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
  const InternedString* interned = EnsurePool()->InternName(name);
  MakeStructure();
  auto& fields = structure()->fields;
  const std::string_view key = interned->view();
  // Members usually arrive in order: try the end before searching.
  std::size_t at = fields.size;
  if (at != 0 && !(fields.data[at - 1].Name() < key)) {
    at = static_cast<std::size_t>(LowerBound(fields.data, fields.data + fields.size, key) -
                                  fields.data);
    if (fields.data[at].name == interned) return fields.data[at].value;
  }
  if (fields.size == fields.capacity) pool_->Grow(fields, std::size_t{fields.size} + 1);
  BindingField* slot = fields.data + at;
  if (at < fields.size) {
    std::memmove(static_cast<void*>(slot + 1), static_cast<void*>(slot),
                 (fields.size - at) * sizeof(BindingField));
  }
  ++fields.size;
  new (slot) BindingField{interned, {}};
  slot->value.AdoptChildOf(pool_);
  return slot->value;
}

const InternedString* BindingProperty::InternName(std::string_view name) {
  return pool_->Intern(name);
}

void BindingProperty::GatherFields(const std::uint8_t* positions, std::size_t count) {
  auto& fields = structure()->fields;
  alignas(BindingField) unsigned char placed[kMaxGatheredFields * sizeof(BindingField)];
  for (std::size_t i = 0; i < count; ++i) {
    std::memcpy(placed + i * sizeof(BindingField), static_cast<void*>(&fields.data[positions[i]]),
                sizeof(BindingField));
  }
  std::memcpy(static_cast<void*>(fields.data), placed, count * sizeof(BindingField));
}

BindingProperty& BindingProperty::AppendField(std::string_view name) {
  return AppendField(pool_->Intern(name));
}

BindingProperty& BindingProperty::AppendFieldGrowing(const InternedString* interned) {
  auto& fields = structure()->fields;
  pool_->Grow(fields, std::size_t{fields.size} + 1);
  BindingField* slot = new (&fields.data[fields.size++]) BindingField{interned, {}};
  slot->value.AdoptChildOf(pool_);
  return slot->value;
}

BindingProperty& BindingProperty::FieldAt(std::size_t index) {
  return structure()->fields.data[index].value;
}

const BindingProperty& BindingProperty::FieldAt(std::size_t index) const {
  return structure()->fields.data[index].value;
}

void BindingProperty::SortFields() {
  BindingStructureRecord* record = structure();
  if (record == nullptr) return;
  auto& fields = record->fields;
  if (std::is_sorted(fields.data, fields.data + fields.size, NameLess)) return;
  if (fields.size <= kInsertionSortFields) {
    // The usual handful of fields: sorted in place.
    for (std::uint32_t i = 1; i < fields.size; ++i) {
      if (!NameLess(fields.data[i], fields.data[i - 1])) continue;
      alignas(BindingField) unsigned char moving[sizeof(BindingField)];
      std::memcpy(moving, static_cast<void*>(&fields.data[i]), sizeof(BindingField));
      const BindingField& field = *reinterpret_cast<const BindingField*>(moving);
      std::uint32_t at = i;
      while (at > 0 && NameLess(field, fields.data[at - 1])) --at;
      std::memmove(static_cast<void*>(&fields.data[at + 1]), static_cast<void*>(&fields.data[at]),
                   (i - at) * sizeof(BindingField));
      std::memcpy(static_cast<void*>(&fields.data[at]), moving, sizeof(BindingField));
    }
    return;
  }
  // Sort positions, then move each field once into a new array.
  std::vector<std::uint32_t> order(fields.size);
  for (std::uint32_t i = 0; i < fields.size; ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return NameLess(fields.data[a], fields.data[b]);
  });
  PoolArray<BindingField> sorted;
  pool_->Grow(sorted, fields.size);
  for (std::uint32_t i = 0; i < fields.size; ++i) {
    std::memcpy(static_cast<void*>(&sorted.data[i]), static_cast<void*>(&fields.data[order[i]]),
                sizeof(BindingField));
  }
  sorted.size = fields.size;
  pool_->FreeArray(fields);
  fields = sorted;
}

BindingProperty::FieldRange BindingProperty::Fields() const { return {structure()}; }

BindingProperty::FieldIterator BindingProperty::FieldRange::begin() const {
  return FieldIterator(record != nullptr ? record->fields.data : nullptr);
}

BindingProperty::FieldIterator BindingProperty::FieldRange::end() const {
  return FieldIterator(record != nullptr ? record->fields.data + record->fields.size : nullptr);
}

std::span<const BindingProperty> BindingProperty::Elements() const {
  const BindingCollectionRecord* record = collection();
  if (record == nullptr) return {};
  return {record->elements.data, record->elements.size};
}

std::span<BindingProperty> BindingProperty::Elements() {
  BindingCollectionRecord* record = collection();
  if (record == nullptr) return {};
  return {record->elements.data, record->elements.size};
}

// REQUIRES: this holds no payload. Walks with its own stack: each pending
// pair is a source node and the empty node it is copied into. Arrays are
// sized once, so the targets do not move while the walk runs.
void BindingProperty::CopyFrom(const BindingProperty& other) {
  std::vector<std::pair<const BindingProperty*, BindingProperty*>> work{{&other, this}};
  while (!work.empty()) {
    const auto [from, to] = work.back();
    work.pop_back();
    switch (from->kind_) {
      case BindingPropertyKind::Empty:
        break;
      case BindingPropertyKind::Bool:
      case BindingPropertyKind::Signed:
      case BindingPropertyKind::Unsigned:
      case BindingPropertyKind::Float:
        to->payload_ = from->payload_;
        to->kind_ = from->kind_;
        break;
      case BindingPropertyKind::String:
        if (from->pool_ == to->pool_) {
          to->payload_ = from->payload_;
          to->kind_ = from->kind_;
        } else {
          to->SetString(from->GetString());
        }
        break;
      case BindingPropertyKind::Blob:
        to->SetBlob(from->GetBlob());
        break;
      case BindingPropertyKind::Enum: {
        const BindingEnum e = from->GetEnum();
        to->SetEnum(e.value, e.type);
        break;
      }
      case BindingPropertyKind::Collection: {
        to->MakeCollection();
        const auto& source = from->collection()->elements;
        auto& target = to->collection()->elements;
        if (source.size != 0) to->pool_->Grow(target, source.size);
        for (std::uint32_t i = 0; i < source.size; ++i) {
          BindingProperty* element = new (&target.data[target.size++]) BindingProperty();
          element->AdoptChildOf(to->pool_);
          work.emplace_back(&source.data[i], element);
        }
        break;
      }
      case BindingPropertyKind::Structure: {
        to->MakeStructure();
        const auto& source = from->structure()->fields;
        auto& target = to->structure()->fields;
        if (source.size != 0) to->pool_->Grow(target, source.size);
        const bool samePool = from->pool_ == to->pool_;
        for (std::uint32_t i = 0; i < source.size; ++i) {
          const BindingField& field = source.data[i];
          const InternedString* name = samePool ? field.name : to->pool_->InternName(field.Name());
          BindingField* copy = new (&target.data[target.size++]) BindingField{name, {}};
          copy->value.AdoptChildOf(to->pool_);
          work.emplace_back(&field.value, &copy->value);
        }
        break;
      }
    }
  }
}

namespace {

bool ShallowEqual(const BindingProperty& a, const BindingProperty& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case BindingPropertyKind::Bool:
      return a.GetBool() == b.GetBool();
    case BindingPropertyKind::Signed:
      return a.GetSigned() == b.GetSigned();
    case BindingPropertyKind::Unsigned:
      return a.GetUnsigned() == b.GetUnsigned();
    case BindingPropertyKind::Float:
      return a.GetFloat() == b.GetFloat();
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
    default:
      return a.size() == b.size();  // empty, and the containers' counts
  }
}

}  // namespace

bool operator==(const BindingProperty& a, const BindingProperty& b) {
  std::vector<std::pair<const BindingProperty*, const BindingProperty*>> work{{&a, &b}};
  while (!work.empty()) {
    const auto [x, y] = work.back();
    work.pop_back();
    if (!ShallowEqual(*x, *y)) return false;
    if (x->kind() == BindingPropertyKind::Collection) {
      const auto xs = x->Elements(), ys = y->Elements();
      for (std::size_t i = 0; i < xs.size(); ++i) work.emplace_back(&xs[i], &ys[i]);
    } else if (x->kind() == BindingPropertyKind::Structure) {
      auto xi = x->Fields().begin();
      auto yi = y->Fields().begin();
      for (; xi != x->Fields().end(); ++xi, ++yi) {
        const auto [xName, xValue] = *xi;
        const auto [yName, yValue] = *yi;
        if (xName != yName) return false;
        work.emplace_back(&xValue, &yValue);
      }
    }
  }
  return true;
}

}  // namespace Kelp
