#include "sdk/binding/binding_property.h"

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "sdk/binding/memory.h"

namespace Kelp {
namespace {

std::string Names(const BindingProperty& value) {
  std::string out;
  for (const auto& [name, field] : value.Fields()) out += "<" + std::string(name) + ">";
  return out;
}

TEST(BindingPropertyTest, EqualTextsOfOneTreeShareOneString) {
  BindingProperty tree;
  tree["status"].SetString("connected");
  tree["list"][0].SetString("connected");
  tree["list"][1].SetString(std::string("status"));
  EXPECT_EQ(tree["status"].GetString().data(), tree["list"][0].GetString().data());
  // A value and a field name of equal text share storage too.
  const auto [firstName, firstValue] = *tree.Fields().begin();
  ASSERT_EQ(firstName, "list");
  auto second = tree.Fields().begin();
  ++second;
  EXPECT_EQ(tree["list"][1].GetString().data(), (*second).first.data());
  // Another tree keeps its own copy.
  BindingProperty other = tree;
  EXPECT_EQ(other["status"].GetString(), "connected");
  EXPECT_NE(other["status"].GetString().data(), tree["status"].GetString().data());
}

TEST(BindingPropertyTest, ReadingNeverGrowsWritingFillsWithEmpties) {
  BindingProperty list;
  for (int i = 0; i < 3; ++i) list[i].SetSigned(i);
  const BindingProperty& view = list;
  EXPECT_TRUE(view[5].IsEmpty());
  EXPECT_EQ(list.size(), 3u);
  list[5].SetBool(true);
  ASSERT_EQ(list.size(), 6u);
  EXPECT_TRUE(list[3].IsEmpty());
  EXPECT_TRUE(list[4].IsEmpty());
  EXPECT_EQ(list[2].GetSigned(), 2);
  EXPECT_TRUE(view["name"].IsEmpty());
  EXPECT_EQ(view.Find("name"), nullptr);
  EXPECT_EQ(list.kind(), BindingPropertyKind::Collection);
}

TEST(BindingPropertyTest, WritingByNameOrIndexReplacesAnotherKind) {
  BindingProperty value;
  value.SetString("text");
  value["a"].SetUnsigned(1);
  EXPECT_EQ(value.kind(), BindingPropertyKind::Structure);
  EXPECT_EQ(value.size(), 1u);
  value[0].SetUnsigned(2);
  EXPECT_EQ(value.kind(), BindingPropertyKind::Collection);
  EXPECT_EQ(value.size(), 1u);
  EXPECT_TRUE(static_cast<const BindingProperty&>(value)["a"].IsEmpty());
}

TEST(BindingPropertyTest, FieldsIterateInByteWiseNameOrder) {
  BindingProperty value;
  for (const char* name : {"b", "ab", "\xC3\xA9", "a", "", "Z", "a", "z"}) value[name];
  EXPECT_EQ(Names(value), "<><Z><a><ab><b><z><\xC3\xA9>");
  EXPECT_EQ(value.size(), 7u);
}

TEST(BindingPropertyTest, GrowsAndKeepsValues) {
  BindingProperty list;
  for (int i = 0; i < 20000; ++i) list.Append().SetSigned(i);
  BindingProperty object;
  for (int i = 20000; i-- > 0;) object[std::to_string(i)].SetSigned(i);
  ASSERT_EQ(list.size(), 20000u);
  ASSERT_EQ(object.size(), 20000u);
  for (int i = 0; i < 20000; ++i) {
    ASSERT_EQ(list[i].GetSigned(), i);
    ASSERT_EQ(object[std::to_string(i)].GetSigned(), i);
  }
}

TEST(BindingPropertyTest, GettersDoNotWiden) {
  BindingProperty value;
  value.SetSigned(7);
  EXPECT_EQ(value.GetFloat(2.5), 2.5);
  EXPECT_EQ(value.GetUnsigned(9), 9u);
  EXPECT_EQ(value.GetBool(true), true);
  EXPECT_EQ(value.GetString("x"), "x");
  EXPECT_EQ(value.GetSigned(1), 7);
  value.SetUnsigned(7);
  EXPECT_EQ(value.GetSigned(-1), -1);
  value.SetFloat(1.0);
  EXPECT_EQ(value.GetSigned(3), 3);
  value.SetEnum(4, nullptr);
  EXPECT_EQ(value.GetSigned(0), 0);
  EXPECT_EQ(value.GetEnum().value, 4);
  EXPECT_EQ(value.size(), 1u);
}

TEST(BindingPropertyTest, SizeByKind) {
  BindingProperty value;
  EXPECT_EQ(value.size(), 0u);
  value.SetString("four");
  EXPECT_EQ(value.size(), 4u);
  const std::uint8_t bytes[] = {1, 2, 3};
  value.SetBlob(bytes);
  EXPECT_EQ(value.size(), 3u);
  value.SetBool(false);
  EXPECT_EQ(value.size(), 1u);
}

TEST(BindingPropertyTest, SettersAcceptTheirOwnPayload) {
  BindingProperty value;
  value.SetString("prefix-text");
  value.SetString(value.GetString().substr(7));
  EXPECT_EQ(value.GetString(), "text");
  const std::uint8_t bytes[] = {1, 2, 3, 4};
  value.SetBlob(bytes);
  value.SetBlob(value.GetBlob().subspan(1));
  ASSERT_EQ(value.size(), 3u);
  EXPECT_EQ(value.GetBlob()[0], 2);
  value["k"].SetString("v");
  value[value["k"].GetString()].SetUnsigned(1);
  EXPECT_EQ(Names(value), "<k><v>");
}

TEST(BindingPropertyTest, AssigningAChildToItsAncestorCopiesFirst) {
  BindingProperty a;
  a["x"]["y"].SetString("deep");
  a["x"]["z"][0].SetUnsigned(1);
  a = a["x"];
  EXPECT_EQ(Names(a), "<y><z>");
  EXPECT_EQ(a["y"].GetString(), "deep");

  a = std::move(a["z"]);
  EXPECT_EQ(a.kind(), BindingPropertyKind::Collection);
  EXPECT_EQ(a[0].GetUnsigned(), 1u);

  BindingProperty b;
  b["k"].SetUnsigned(5);
  b["self"] = b;
  EXPECT_EQ(b["self"]["k"].GetUnsigned(), 5u);
  EXPECT_TRUE(b["self"]["self"].IsEmpty());
  b = b;
  EXPECT_EQ(b.size(), 2u);
}

TEST(BindingPropertyTest, CopiesAndMovesAcrossTrees) {
  BindingProperty source;
  source["name"].SetString("value");
  source["list"][1].SetFloat(1.5);
  BindingProperty target;
  target["slot"] = source;  // into a child of another tree: a deep copy
  EXPECT_TRUE(target["slot"] == source);
  source["name"].SetString("changed");
  EXPECT_EQ(target["slot"]["name"].GetString(), "value");

  // Moving a root into a child of another tree copies; the source is left
  // usable.
  target["moved"] = std::move(source);
  EXPECT_EQ(target["moved"]["name"].GetString(), "changed");

  // Moving a whole root into an empty root takes it over.
  BindingProperty root;
  root["a"].SetString("x");
  const char* text = root["a"].GetString().data();
  BindingProperty taken = std::move(root);
  EXPECT_EQ(taken["a"].GetString().data(), text);
  EXPECT_TRUE(root.IsEmpty());
  root["reused"].SetBool(true);  // the moved-from root builds a new tree
  EXPECT_EQ(root.size(), 1u);
}

TEST(BindingPropertyTest, EqualityComparesKindsPayloadsAndEnumTypes) {
  static constexpr StaticType kA{1, "A", {}};
  static constexpr StaticType kAlsoA{1, "A again", {}};
  static constexpr StaticType kB{2, "B", {}};
  BindingProperty x, y;
  x.SetEnum(3, &kA);
  y.SetEnum(3, &kAlsoA);
  EXPECT_TRUE(x == y);
  y.SetEnum(3, &kB);
  EXPECT_FALSE(x == y);
  x.SetSigned(1);
  y.SetUnsigned(1);
  EXPECT_FALSE(x == y);
  x["a"].SetUnsigned(1);
  y["b"].SetUnsigned(1);
  EXPECT_FALSE(x == y);
}

TEST(BindingPropertyTest, ClaimedSizesAreLimited) {
  BindingProperty list;
  list.MakeCollection();
  EXPECT_THROW(list.Reserve(0x10000000), std::length_error);
  EXPECT_THROW(list[0x0FFFFFFF], std::length_error);
  if constexpr (sizeof(void*) == 4) {
    // Half the address space and more has no size class on 32-bit.
    EXPECT_THROW(list.Reserve(0x08000001), std::length_error);
  }
  EXPECT_EQ(list.size(), 0u);
  list.Reserve(100);
  EXPECT_EQ(list.size(), 0u);
}

TEST(BindingPropertyTest, ResetSubtreesReuseTheirMemory) {
  BindingProperty tree;
  const auto build = [&] {
    for (int i = 0; i < 200; ++i) {
      tree["items"][i]["name"].SetString("item");
      tree["items"][i]["tags"][2].SetUnsigned(1);
      const std::uint8_t bytes[40] = {};
      tree["items"][i]["blob"].SetBlob(bytes);
    }
  };
  build();
  tree["items"].Reset();
  build();
  tree["items"].Reset();
  const MemoryStats before = ReadMemoryStats();
  for (int round = 0; round < 20; ++round) {
    build();
    tree["items"].Reset();
  }
  const MemoryStats after = ReadMemoryStats();
  EXPECT_EQ(after.bytesAllocated - after.bytesFreed, before.bytesAllocated - before.bytesFreed);
}

TEST(BindingPropertyTest, ContainersMadeWithRoomGiveBackRecordAndArrayApart) {
  // A container made with room takes its record and array in one block;
  // each part goes back to its own free list. Freed parts are handed out
  // again to containers of other sizes while the neighbours live on: a
  // part of the wrong size would overwrite them.
  for (const std::size_t room : {1u, 2u, 3u, 5u, 8u, 17u, 40u}) {
    SCOPED_TRACE(room);
    BindingProperty tree;
    BindingProperty& list = tree["list"];
    for (std::size_t i = 0; i < 12; ++i) {
      BindingProperty& element = list[i];
      if (i % 2 == 0) {
        element.MakeCollection(room);
        for (std::size_t j = 0; j < room; ++j) element.Append().SetUnsigned(i * 100 + j);
      } else {
        element.MakeStructure(room);
        for (std::size_t j = 0; j < room; ++j) element["f" + std::to_string(j)].SetUnsigned(i);
      }
    }
    for (std::size_t i = 1; i < 12; i += 3) list[i].Reset();
    for (std::size_t i = 1; i < 12; i += 3) {
      for (std::size_t j = 0; j < 2 * room + 1; ++j) list[i][j].SetUnsigned(7);
      list[i]["not a collection any more"].SetString("x");
    }
    for (std::size_t i = 0; i < 12; ++i) {
      if (i % 3 == 1) {
        EXPECT_EQ(list[i].size(), 1u);
      } else if (i % 2 == 0) {
        ASSERT_EQ(list[i].size(), room);
        for (std::size_t j = 0; j < room; ++j) EXPECT_EQ(list[i][j].GetUnsigned(), i * 100 + j);
      } else {
        ASSERT_EQ(list[i].size(), room);
        for (const auto& [name, field] : list[i].Fields()) {
          EXPECT_EQ(field.GetUnsigned(), i) << name;
        }
      }
    }
  }
}

TEST(BindingPropertyTest, TreesDeeperThanTheDecodersAllowDoNotRecurse) {
  BindingProperty root;
  BindingProperty* at = &root;
  for (int i = 0; i < 200000; ++i) at = i % 2 ? &(*at)[0] : &(*at)["k"];
  at->SetString("leaf");
  BindingProperty copy = root;
  EXPECT_TRUE(copy == root);
  copy["k"].Reset();
  EXPECT_EQ(copy.size(), 1u);
  EXPECT_FALSE(copy == root);
}

}  // namespace
}  // namespace Kelp
