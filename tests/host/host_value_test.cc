#include "host/host_value.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "host/host_binding.h"

namespace Kelp::Host {
namespace {

HostValue Sample() {
  HostValue value = MakeObject({{"name", "a\"b\\c\n"},
                                {"n", std::int64_t{-3}},
                                {"u", std::uint64_t{18446744073709551615u}},
                                {"d", 0.1},
                                {"ok", true},
                                {"none", HostValue()},
                                {"blob", HostBlob{0x00, 0xAB}},
                                {"list", HostArray{1, "x", HostArray{}}}});
  value.Set("empty", HostObject{});
  return value;
}

TEST(HostValueTest, PrintsCompactJsonInKeyOrder) {
  EXPECT_EQ(Sample().ToJson(),
            R"({"name":"a\"b\\c\n","n":-3,"u":18446744073709551615,"d":0.1,"ok":true,)"
            R"("none":null,"blob":b"00ab","list":[1,"x",[]],"empty":{}})");
  const struct {
    double value;
    const char* text;
  } kRows[] = {{1e300, "1e+300"},
               {-0.5, "-0.5"},
               {std::nan(""), "nan"},
               {-std::numeric_limits<double>::infinity(), "-inf"}};
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(HostValue(row.value).ToJson(), row.text);
  }
  EXPECT_EQ(HostValue(std::string("\x01", 1)).ToJson(), R"("\u0001")");
  EXPECT_EQ(HostValue(std::uint32_t{7}).kind(), HostValue::Kind::Unsigned);
  EXPECT_EQ(HostValue(std::int16_t{-7}).kind(), HostValue::Kind::Signed);
  EXPECT_EQ(HostValue(-7LL).ToJson(), "-7");
}

TEST(HostValueTest, SetReplacesInPlaceAndFindTakesTheFirst) {
  HostValue value = MakeObject({{"a", 1}, {"b", 2}});
  value.Set("a", 3).Set("c", 4);
  EXPECT_EQ(value.ToJson(), R"({"a":3,"b":2,"c":4})");
  ASSERT_NE(value.Find("b"), nullptr);
  EXPECT_EQ(value.Find("b")->AsSigned(), 2);
  EXPECT_EQ(value.Find("z"), nullptr);
  EXPECT_EQ(HostValue(1).Find("a"), nullptr);
}

TEST(HostBindingTest, BuiltTreesCopyBackUnchangedWithTheirTagging) {
  for (const BindingTagging tagging : {BindingTagging::Lent, BindingTagging::HandedOver}) {
    const bool handedOver = tagging == BindingTagging::HandedOver;
    SCOPED_TRACE(handedOver ? "handed over" : "lent");
    BindingValue built = BuildBinding(Sample(), tagging);
    ASSERT_EQ(built.kind, static_cast<std::uint32_t>(BINDING_VALUE_STRUCTURE));
    const BindingStructEntry& first = built.payload.structure.entries[0];
    EXPECT_EQ(std::uint8_t{first.ownsKey}, handedOver ? 1 : 0);
    BindingValue name;
    std::memcpy(&name, &first.value, sizeof name);
    EXPECT_EQ(name.kind, static_cast<std::uint32_t>(handedOver ? BINDING_VALUE_STRING_OWNED
                                                               : BINDING_VALUE_STRING_BORROWED));
    EXPECT_EQ(name.payload.string.text[name.payload.string.length], '\0');

    const HostValueResult copy = FromBinding(built);
    ASSERT_TRUE(copy.ok()) << copy.error;
    EXPECT_EQ(copy.value, Sample());
    FreeBuiltBinding(built);
    EXPECT_EQ(built.kind, static_cast<std::uint32_t>(BINDING_VALUE_EMPTY));
  }
}

// A chain of one-element collections `depth` levels deep around an empty value.
std::vector<BindingValue> Nested(int depth) {
  std::vector<BindingValue> levels(depth + 1);
  for (int i = 0; i < depth; ++i) {
    levels[i].kind = BINDING_VALUE_COLLECTION;
    levels[i].payload.collection.elements = &levels[i + 1];
    levels[i].payload.collection.count = 1;
  }
  return levels;
}

TEST(HostValueTest, FromBindingRefusesMalformedValues) {
  BindingValue unknown{};
  unknown.kind = 11;
  BindingValue nullText{};
  nullText.kind = BINDING_VALUE_STRING_OWNED;
  nullText.payload.string.length = 4;
  BindingValue nullBytes{};
  nullBytes.kind = BINDING_VALUE_BLOB_BORROWED;
  nullBytes.payload.blob.count = 1;
  BindingValue nullElements{};
  nullElements.kind = BINDING_VALUE_COLLECTION;
  nullElements.payload.collection.count = 1000000;
  BindingValue nullEntries{};
  nullEntries.kind = BINDING_VALUE_STRUCTURE;
  nullEntries.payload.structure.count = 2;
  // The malformed element sits after a good one: the first error ends the copy.
  BindingValue elements[2] = {{}, unknown};
  elements[0].kind = BINDING_VALUE_BOOL;
  BindingValue badElement{};
  badElement.kind = BINDING_VALUE_COLLECTION;
  badElement.payload.collection.elements = elements;
  badElement.payload.collection.count = 2;
  const std::vector<BindingValue> tooDeep = Nested(kMaxHostValueDepth + 1);

  const struct {
    const char* what;
    const BindingValue* value;
    const char* error;
  } kRows[] = {
      {"unknown kind", &unknown, "unknown value kind 11"},
      {"null text", &nullText, "null string text"},
      {"null bytes", &nullBytes, "null blob bytes"},
      {"null elements", &nullElements, "null collection elements"},
      {"null entries", &nullEntries, "null structure entries"},
      {"bad element", &badElement, "unknown value kind 11"},
      {"too deep", &tooDeep[0], "value nested deeper than 512 levels"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.what);
    const HostValueResult result = FromBinding(*row.value);
    EXPECT_EQ(result.error, row.error);
    EXPECT_TRUE(result.value.IsNull());
  }
}

TEST(HostValueTest, FromBindingAcceptsTheDepthLimitAndEmptyNulls) {
  const std::vector<BindingValue> deepest = Nested(kMaxHostValueDepth);
  EXPECT_TRUE(FromBinding(deepest[0]).ok());

  BindingValue emptyText{};
  emptyText.kind = BINDING_VALUE_STRING_BORROWED;
  const HostValueResult text = FromBinding(emptyText);
  ASSERT_TRUE(text.ok());
  EXPECT_EQ(text.value, HostValue(""));

  BindingStructEntry entry{};
  entry.value.kind = BINDING_VALUE_SIGNED;
  BindingValue structure{};
  structure.kind = BINDING_VALUE_STRUCTURE;
  structure.payload.structure.entries = &entry;
  structure.payload.structure.count = 1;
  const HostValueResult keyless = FromBinding(structure);
  ASSERT_TRUE(keyless.ok());
  EXPECT_EQ(keyless.value.ToJson(), R"({"":0})");
}

}  // namespace
}  // namespace Kelp::Host
