#include "sdk/binding/binding_value.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sdk/binding/memory.h"

namespace Kelp {
namespace {

// Records frees through the memory functions while installed. Every C++
// allocation goes through them too, so the record is a fixed array.
class FreeCounter {
 public:
  FreeCounter() {
    previous_ = InstallMemoryFunctions(
        {[](void*, std::size_t size) { return std::malloc(size); },
         [](void* self, void* block) {
           if (block == nullptr) return;
           auto* counter = static_cast<FreeCounter*>(self);
           if (counter->count_ < std::size(counter->freed_)) counter->freed_[counter->count_++] = block;
           std::free(block);
         },
         [](void*, void* block, std::size_t size) { return std::realloc(block, size); },
         [](void*, const char* text) { return strdup(text); },
         [](void*, const void*) -> std::size_t { return 0; }, this});
  }
  ~FreeCounter() { InstallMemoryFunctions(previous_); }
  bool Freed(const void* block) const {
    for (std::size_t i = 0; i < count_; ++i) {
      if (freed_[i] == block) return true;
    }
    return false;
  }

 private:
  MemoryFunctions previous_;
  void* freed_[64] = {};
  std::size_t count_ = 0;
};

bool AllZero(const BindingValue& value) {
  static const BindingValue kZero{};
  return std::memcmp(&value, &kZero, sizeof value) == 0;
}

TEST(BindingValueTest, DestroyFreesOwnedPayloadsAndLeavesBorrowedOnes) {
  FreeCounter frees;
  static const char kBorrowedKey[] = "borrowed";
  auto* ownedKey = static_cast<char*>(Allocate(4));
  std::strcpy(ownedKey, "own");
  auto* entries = static_cast<BindingStructEntry*>(AllocateZeroed(2 * sizeof(BindingStructEntry)));
  entries[0].key = kBorrowedKey;
  entries[0].ownsKey = 0;
  entries[1].key = ownedKey;
  entries[1].ownsKey = 1;
  BindingValue text{};
  ASSERT_TRUE(SetString(text, "abc"));
  const void* ownedText = text.payload.string.text;
  std::memcpy(&entries[1].value, &text, sizeof text);

  BindingValue root{};
  AdoptStructure(root, entries, 2);
  Destroy(root);

  EXPECT_TRUE(AllZero(root));
  EXPECT_TRUE(frees.Freed(entries));
  EXPECT_TRUE(frees.Freed(ownedKey));
  EXPECT_TRUE(frees.Freed(ownedText));
  EXPECT_FALSE(frees.Freed(kBorrowedKey));
}

TEST(BindingValueTest, EmptyCollectionStillFreesItsArray) {
  FreeCounter frees;
  auto* elements = static_cast<BindingValue*>(AllocateZeroed(sizeof(BindingValue)));
  BindingValue value{};
  AdoptCollection(value, elements, 0);
  Destroy(value);
  EXPECT_TRUE(frees.Freed(elements));
  EXPECT_TRUE(AllZero(value));
}

TEST(BindingValueTest, BorrowedTagsAndUnknownTagsFreeNothing) {
  FreeCounter frees;
  static const char kText[] = "text";
  for (std::uint32_t kind : {5u, 7u, 11u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(kind);
    BindingValue value{};
    value.kind = kind;
    value.payload.string.text = kText;
    value.payload.string.length = 4;
    Destroy(value);
    EXPECT_TRUE(AllZero(value));
  }
  EXPECT_FALSE(frees.Freed(kText));
}

TEST(BindingValueTest, RoundTripsThroughBindingProperty) {
  BindingProperty tree;
  tree["b"].SetUnsigned(18446744073709551615ull);
  tree["a"][0].SetSigned(-1);
  tree["a"][1].SetFloat(2.5);
  tree["a"][2].SetBool(true);
  tree["c"].SetString("x");
  const std::uint8_t bytes[] = {0, 1, 2};
  tree["d"].SetBlob(bytes);
  tree["e"].MakeStructure();
  tree["f name longer than a short string"].SetSigned(1);

  BindingValue value{};
  ASSERT_TRUE(ToBindingValue(tree, nullptr, value));
  ASSERT_EQ(value.kind, static_cast<std::uint32_t>(BINDING_VALUE_STRUCTURE));
  ASSERT_EQ(value.payload.structure.count, 6u);
  // Fields travel in byte-wise name order, each key owned.
  EXPECT_STREQ(value.payload.structure.entries[0].key, "a");
  EXPECT_EQ(value.payload.structure.entries[0].ownsKey, 1);
  EXPECT_STREQ(value.payload.structure.entries[4].key, "e");
  EXPECT_STREQ(value.payload.structure.entries[5].key, "f name longer than a short string");

  BindingProperty back;
  BindingResult failure{};
  ASSERT_TRUE(ToBindingProperty(value, "root", back, failure));
  EXPECT_EQ(back, tree);
  EXPECT_EQ(failure.failed, 0);
  Destroy(value);
}

TEST(BindingValueTest, StringIsReadUpToItsNulWhateverTheLength) {
  static const char kText[] = "abc";
  for (std::uint32_t kind : {5u, 6u}) {
    BindingValue value{};
    value.kind = kind;
    value.payload.string.text = kText;
    value.payload.string.length = 99;
    BindingProperty target;
    BindingResult failure{};
    ASSERT_TRUE(ToBindingProperty(value, "f", target, failure));
    EXPECT_EQ(target.GetString(), "abc");
  }
}

class NamerFake : public EnumNamer {
 public:
  const char* EnumValueName(const StaticType*, std::int32_t number) const override {
    return number == 1 ? "One" : nullptr;
  }
};

TEST(BindingValueTest, EnumTravelsByNameOnlyWhenTheNumberHasOne) {
  static const StaticType kType{0x1234, "#00001234", {}};
  NamerFake namer;
  const struct {
    std::int32_t number;
    const EnumNamer* namer;
    std::uint32_t kind;
  } kRows[] = {
      {1, &namer, BINDING_VALUE_STRING_OWNED},
      {2, &namer, BINDING_VALUE_SIGNED},
      {1, nullptr, BINDING_VALUE_SIGNED},
      {-3, nullptr, BINDING_VALUE_SIGNED},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.number);
    BindingProperty e;
    e.SetEnum(row.number, &kType);
    BindingValue value{};
    ASSERT_TRUE(ToBindingValue(e, row.namer, value));
    EXPECT_EQ(value.kind, row.kind);
    if (row.kind == BINDING_VALUE_SIGNED) {
      const std::int64_t number = value.payload.i64;  // packed: read by value
      EXPECT_EQ(number, row.number);
    }
    Destroy(value);
  }
}

TEST(BindingValueTest, RefusesValuesItCannotHonour) {
  BindingValue unknown{};
  unknown.kind = 42;
  BindingValue hugeCollection{};
  hugeCollection.kind = BINDING_VALUE_COLLECTION;
  BindingValue dummy{};
  hugeCollection.payload.collection.elements = &dummy;
  hugeCollection.payload.collection.count = 0x7FFFFFFF;
  BindingValue nullStructure{};
  nullStructure.kind = BINDING_VALUE_STRUCTURE;
  nullStructure.payload.structure.count = 3;
  BindingValue nullText{};
  nullText.kind = BINDING_VALUE_STRING_BORROWED;

  const struct {
    const BindingValue* value;
    const char* message;
  } kRows[] = {
      {&unknown,
       "Couldn't assign value to 'body' of type object because the input is of an incompatible "
       "type ''."},
      {&hugeCollection,
       "Couldn't assign value to 'body' because the input collection claims 2147483647 items "
       "that it does not hold."},
      {&nullStructure,
       "Couldn't assign value to 'body' because the input structure claims 3 items that it does "
       "not hold."},
      {&nullText, "Couldn't assign value to 'body' because its text is missing."},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.message);
    BindingProperty target;
    BindingResult failure{};
    EXPECT_FALSE(ToBindingProperty(*row.value, "body", target, failure));
    EXPECT_EQ(failure.failed, 1);
    ASSERT_NE(failure.error, nullptr);
    EXPECT_STREQ(failure.error, row.message);
    DestroyResult(failure);
  }
}

// A key given twice with collections: element i of the later one is written
// over element i of the earlier one.
TEST(BindingValueTest, ARepeatedKeyWritesElementsOverEachOther) {
  BindingValue first[2] = {};
  SetSigned(first[0], 1);
  SetSigned(first[1], 2);
  BindingValue second[1] = {};
  SetSigned(second[0], 3);
  BindingStructEntry entries[2] = {};
  entries[0].key = "a";
  entries[0].value.kind = BINDING_VALUE_COLLECTION;
  entries[0].value.payload.collection.elements = first;
  entries[0].value.payload.collection.count = 2;
  entries[1].key = "a";
  entries[1].value.kind = BINDING_VALUE_COLLECTION;
  entries[1].value.payload.collection.elements = second;
  entries[1].value.payload.collection.count = 1;
  BindingValue structure{};
  structure.kind = BINDING_VALUE_STRUCTURE;
  structure.payload.structure.entries = entries;
  structure.payload.structure.count = 2;
  BindingProperty target;
  BindingResult failure{};
  ASSERT_TRUE(ToBindingProperty(structure, "body", target, failure));
  ASSERT_EQ(target["a"].size(), 2u);
  EXPECT_EQ(target["a"][std::size_t{0}].GetSigned(), 3);
  EXPECT_EQ(target["a"][std::size_t{1}].GetSigned(), 2);
}

// A count is the host's claim: converting must not reserve what it claims
// before the elements are seen. The second element here is invalid, so the
// conversion stops there.
TEST(BindingValueTest, ClaimedCollectionCountsAreNotReservedUpFront) {
  BindingValue elements[2] = {};
  SetSigned(elements[0], 1);
  elements[1].kind = 99;
  BindingValue claim{};
  claim.kind = BINDING_VALUE_COLLECTION;
  claim.payload.collection.elements = elements;
  claim.payload.collection.count = 0x0FFFFFFF;
  const std::uint64_t peakBefore = ReadMemoryStats().peakBytesInUse;
  BindingProperty target;
  BindingResult failure{};
  EXPECT_FALSE(ToBindingProperty(claim, "list", target, failure));
  EXPECT_LT(ReadMemoryStats().peakBytesInUse - peakBefore, std::uint64_t{1} << 20);
  DestroyResult(failure);
}

TEST(BindingValueTest, UnknownTagInsideAStructureNamesTheField) {
  BindingValue inner{};
  inner.kind = 77;
  BindingStructEntry entries[2] = {};
  entries[0].key = "ok";
  SetBool(entries[0].value, true);
  entries[1].key = "bad";
  std::memcpy(&entries[1].value, &inner, sizeof inner);
  BindingValue root{};
  root.kind = BINDING_VALUE_STRUCTURE;
  root.payload.structure.entries = entries;
  root.payload.structure.count = 2;

  BindingProperty target;
  BindingResult failure{};
  EXPECT_FALSE(ToBindingProperty(root, "root", target, failure));
  EXPECT_STREQ(failure.error,
               "Couldn't assign value to 'bad' of type object because the input is of an "
               "incompatible type ''.");
  // The sibling converted before the failure stays in the partial tree.
  EXPECT_TRUE(target["ok"].GetBool());
  DestroyResult(failure);
}

TEST(BindingValueTest, RefusesNestingPastTheLimit) {
  // A chain of single-element collections, one level deeper than allowed.
  std::vector<BindingValue> chain(kMaxNestingDepth + 2);
  for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
    chain[i].kind = BINDING_VALUE_COLLECTION;
    chain[i].payload.collection.elements = &chain[i + 1];
    chain[i].payload.collection.count = 1;
  }
  BindingProperty target;
  BindingResult failure{};
  EXPECT_FALSE(ToBindingProperty(chain[0], "deep", target, failure));
  EXPECT_STREQ(failure.error,
               "Couldn't assign value to 'deep' because the input is nested deeper than 512 "
               "levels.");
  DestroyResult(failure);

  // The deepest accepted chain converts.
  BindingProperty accepted;
  BindingResult none{};
  EXPECT_TRUE(ToBindingProperty(chain[2], "deep", accepted, none));
}

TEST(BindingValueTest, FailedAllocationLeavesTheValueEmpty) {
  const MemoryFunctions failing{
      [](void*, std::size_t) -> void* { return nullptr; }, [](void*, void*) {},
      [](void*, void*, std::size_t) -> void* { return nullptr; },
      [](void*, const char*) -> char* { return nullptr; },
      [](void*, const void*) -> std::size_t { return 0; }, nullptr};
  // Build the tree before swapping the functions: the tree allocates too.
  BindingProperty tree;
  tree["a"].SetString("x");
  const MemoryFunctions previous = InstallMemoryFunctions(failing);
  BindingValue text{};
  const bool stringSet = SetString(text, "abc");
  BindingValue structure{};
  const bool converted = ToBindingValue(tree, nullptr, structure);
  InstallMemoryFunctions(previous);
  EXPECT_FALSE(stringSet);
  EXPECT_TRUE(AllZero(text));
  EXPECT_FALSE(converted);
  EXPECT_TRUE(AllZero(structure));
}

}  // namespace
}  // namespace Kelp
