// Members arrive in any order, repeat, and share shapes with earlier objects
// of the same document; every reader must still end each structure in name
// order with one field per name, however the input ends.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sdk/codecs/json_reader.h"
#include "sdk/codecs/msgpack_reader.h"
#include "sdk/codecs/tree_builder.h"
#include "sdk/codecs/yaml_library.h"
#include "sdk/codecs/yaml_reader.h"
#include "tests/codecs/describe.h"

namespace Kelp {
namespace {

using testing::Describe;

// Every structure below `value` is in strict name order, and Find reaches
// each of its fields.
void ExpectOrdered(const BindingProperty& value) {
  if (value.kind() == BindingPropertyKind::Collection) {
    for (const BindingProperty& element : value.Elements()) ExpectOrdered(element);
  }
  if (value.kind() != BindingPropertyKind::Structure) return;
  std::string previous;
  bool first = true;
  for (const auto& [name, field] : value.Fields()) {
    if (!first) {
      EXPECT_LT(previous, name);
    }
    first = false;
    previous = name;
    EXPECT_EQ(value.Find(name), &field) << name;
    ExpectOrdered(field);
  }
}

// `count` members named k<count-1> down to k0, holding their number.
std::string DescendingObject(int count) {
  std::string json = "{";
  for (int k = count - 1; k >= 0; --k) {
    json += "\"k" + std::to_string(k) + "\":" + std::to_string(k) + (k ? "," : "}");
  }
  return json;
}

TEST(MemberOrderTest, JsonObjectsEndSortedWithOneFieldPerName) {
  const struct {
    const char* name;
    std::string json;
    const char* described;
  } kRows[] = {
      {"a shape, then the shape with a name repeated",
       R"([{"b":1,"a":2},{"b":3,"a":4,"b":5},{"b":6,"a":7}])", "[{a:u2,b:u1},{a:u4,b:u5},{a:u7,b:u6}]"},
      {"a shape, then a prefix of it, then more than it",
       R"([{"c":1,"b":2,"a":3},{"c":4,"b":5},{"c":6,"b":7,"a":8,"d":9}])",
       "[{a:u3,b:u2,c:u1},{b:u5,c:u4},{a:u8,b:u7,c:u6,d:u9}]"},
      {"a nested object of another shape with the same first name",
       R"([{"k":1,"z":2},{"k":{"k":1,"y":2},"z":3,"k":{"a":4}},{"k":5,"z":6}])",
       "[{k:u1,z:u2},{k:{a:u4,k:u1,y:u2},z:u3},{k:u5,z:u6}]"},
      {"a nested object replaces the shape the outer one follows",
       R"([{"k":1,"z":2,"w":3},{"k":1,"z":{"k":1,"m":2,"z":3},"z":4}])",
       "[{k:u1,w:u3,z:u2},{k:u1,z:u4}]"},
      {"siblings of another shape, empty, and cut short after a shape",
       R"([{"b":1,"a":2},{},{"d":3,"c":4},{"b":5},{"d":6,"c":7,"b":8}])",
       "[{a:u2,b:u1},{},{c:u4,d:u3},{b:u5},{b:u8,c:u7,d:u6}]"},
      {"names that share length, first, middle and last bytes",
       R"({"ab_d":1,"ax_d":2,"ab_d":3,"ax_d":4})", "{ab_d:u3,ax_d:u4}"},
      {"a repeated object merges", R"({"o":{"y":1,"x":2},"o":{"w":3,"y":4}})",
       "{o:{w:u3,x:u2,y:u4}}"},
      {"strings and keys across 16-byte blocks",
       "{\"a\\u0041 \\n  long name past one block\":\"\\\"quoted\\\" text past one block\","
       "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\"a\":\"x\"}",
       "{a:\"x\",aA \n  long name past one block:\"\"quoted\" text past one block\"}"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    const ConversionResult result = ReadJson(row.json);
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_EQ(Describe(result.value()), row.described);
    ExpectOrdered(result.value());
  }

  // Large objects with names in descending order and a name repeated, on
  // both sides of the sizes where the search and the sort change method.
  for (const int count : {2, 23, 24, 25, 31, 32, 33, 100}) {
    SCOPED_TRACE(count);
    std::string json = DescendingObject(count);
    json.back() = ',';
    json += "\"k0\":\"again\"}";
    const std::string twice = "[" + json + "," + json + "]";
    const ConversionResult result = ReadJson(twice);
    ASSERT_TRUE(result.ok()) << result.error();
    for (const BindingProperty& object : result.value().Elements()) {
      EXPECT_EQ(object.size(), static_cast<std::size_t>(count));
      EXPECT_EQ(object["k0"].GetString(), "again");
      EXPECT_EQ(object["k" + std::to_string(count - 1)].GetUnsigned(), count - 1u);
    }
    ExpectOrdered(result.value());
  }
}

TEST(MemberOrderTest, JsonInputOfEveryLengthAroundTheCopyAndBlockSizes) {
  // The reader parses a private padded copy; the text must end where the
  // input ends whatever its length, and text after a NUL is not read.
  for (std::size_t length = 2000; length <= 2100; ++length) {
    std::string json = "[\"" + std::string(length - 7, 'x') + "\", 1]";
    ASSERT_EQ(json.size(), length);
    const ConversionResult whole = ReadJson(json);
    ASSERT_TRUE(whole.ok()) << length << whole.error();
    EXPECT_EQ(whole.value()[std::size_t{0}].size(), length - 7);
    const ConversionResult cut = ReadJson(std::string_view(json).substr(0, length - 1));
    EXPECT_FALSE(cut.ok()) << length;
  }
  const std::string withNul("{\"a\":1}\0{", 9);
  const ConversionResult result = ReadJson(withNul);
  ASSERT_TRUE(result.ok()) << result.error();
  EXPECT_EQ(Describe(result.value()), "{a:u1}");
}

TEST(MemberOrderTest, MessagePackMapsEndSortedInEveryWayTheyEnd) {
  using Bytes = std::vector<std::uint8_t>;
  const auto key = [](Bytes& bytes, char name) {
    bytes.push_back(0xA1);
    bytes.push_back(static_cast<std::uint8_t>(name));
  };
  // [{b:1,a:2}, {b:3,a:4,b:5}] and then a map of three whose input ends
  // after two entries.
  Bytes bytes = {0x93, 0x82};
  key(bytes, 'b'), bytes.push_back(1), key(bytes, 'a'), bytes.push_back(2);
  bytes.push_back(0x83);
  key(bytes, 'b'), bytes.push_back(3), key(bytes, 'a'), bytes.push_back(4);
  key(bytes, 'b'), bytes.push_back(5);
  bytes.push_back(0x83);
  key(bytes, 'z'), bytes.push_back(6), key(bytes, 'y'), bytes.push_back(7);
  const MessagePackReadResult read = ReadMessagePack(bytes);
  ASSERT_TRUE(read.result.ok()) << read.result.error();
  EXPECT_EQ(Describe(read.result.value()), "[{a:s2,b:s1},{a:s4,b:s5},{y:s7,z:s6}]");
  ExpectOrdered(read.result.value());
}

TEST(MemberOrderTest, YamlAliasesReachIntoMappingsStillBeingRead) {
  if (detail::SharedYamlLibrary() == nullptr) GTEST_SKIP() << "libyaml is unavailable";
  std::string large = "outer:\n";
  for (int k = 40; k >= 1; --k) large += "  k" + std::to_string(k) + ": " + std::to_string(k) + "\n";
  large += "  first: &one 1\n  again: *one\n";
  const ConversionResult read = ReadYaml(large);
  ASSERT_TRUE(read.ok()) << read.error();
  EXPECT_EQ(read.value()["outer"]["again"].GetUnsigned(), 1u);
  EXPECT_EQ(read.value()["outer"].size(), 42u);
  ExpectOrdered(read.value());

  const struct {
    const char* yaml;
    const char* described;
  } kRows[] = {
      {"b: {y: &v 1, x: *v}\na: *v\n", "{a:u1,b:{x:u1,y:u1}}"},
      {"z: &m {b: 1, a: 2}\ny: *m\n", "{y:{a:u2,b:u1},z:{a:u2,b:u1}}"},
      // The second mapping follows the first one's shape while its alias
      // is read, and the third leaves that shape after one.
      {"- {b: 1, a: 2}\n- {b: &v 3, a: *v}\n", "[{a:u2,b:u1},{a:u3,b:u3}]"},
      {"- {c: 1, b: 2, a: 3}\n- {c: &v 4, b: *v, z: *v}\n", "[{a:u3,b:u2,c:u1},{b:u4,c:u4,z:u4}]"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.yaml);
    const ConversionResult result = ReadYaml(row.yaml);
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_EQ(Describe(result.value()), row.described);
    ExpectOrdered(result.value());
  }
}

TEST(MemberOrderTest, AnAbandonedStructureHoldsItsFieldsFromTheFirstPosition) {
  // The second structure follows the first one's shape, so its "b" is
  // placed where name order puts it; releasing the tree after Abandon walks
  // the fields from position 0.
  BindingProperty root;
  detail::TreeBuilder builder(root);
  ASSERT_TRUE(builder.OpenCollection(builder.NextTarget(), detail::TreeBuilder::Elements::Append));
  ASSERT_TRUE(builder.OpenStructure(builder.NextTarget()));
  builder.SetKey("b"), builder.NextTarget().SetSigned(1);
  builder.SetKey("a"), builder.NextTarget().SetSigned(2);
  builder.Close();
  ASSERT_TRUE(builder.OpenStructure(builder.NextTarget()));
  builder.SetKey("b"), builder.NextTarget().SetSigned(3);
  builder.Abandon();
  const auto fields = root[std::size_t{1}].StoredFields();
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].Name(), "b");
  EXPECT_EQ(fields[0].value.GetSigned(), 3);
}

TEST(MemberOrderTest, AFailureInsideStructuresLeavesOnlyTheError) {
  // Each input fails while structures that follow an earlier one's shape
  // are open; the tree they were filling is replaced by the error alone.
  const std::vector<std::uint8_t> pack = {0x92, 0x82, 0xA1, 'b',  1,    0xA1, 'a', 2,
                                          0x82, 0xA1, 'b',  0x81, 0xA1, 'c',  0xC1};
  const struct {
    const char* name;
    ConversionResult (*read)(const std::vector<std::uint8_t>&, const char*);
    const char* text;
  } kRows[] = {
      {"JSON", [](const auto&, const char* text) { return ReadJson(text); },
       R"([{"b":1,"a":2},{"b":{"c":[1,{"b":1,"a":)"},
      {"MessagePack", [](const auto& bytes, const char*) { return ReadMessagePack(bytes).result; },
       nullptr},
      {"YAML", [](const auto&, const char* text) { return ReadYaml(text); },
       "- {b: 1, a: 2}\n- {b: {c: [1, {b: 1, a: ]}"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    if (row.read == kRows[2].read && detail::SharedYamlLibrary() == nullptr) continue;
    const ConversionResult result = row.read(pack, row.text);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.value().size(), 1u);
    EXPECT_EQ(result.value()["error"].GetString(), result.error());
  }
}

}  // namespace
}  // namespace Kelp
