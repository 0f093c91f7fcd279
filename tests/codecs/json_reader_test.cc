#include "sdk/codecs/json_reader.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/codecs/describe.h"

namespace Kelp {
namespace {

using testing::Describe;

TEST(JsonReaderTest, MapsValuesToKinds) {
  const struct {
    std::string_view json;
    const char* described;
  } kRows[] = {
      {"[1, -1, 1.0, 18446744073709551615]", "[u1,s-1,f1,u18446744073709551615]"},
      {"18446744073709551616", "f1.8446744073709552e+19"},
      // The nearest double, not one an ulp off (the writer's shortest form),
      // and zero however many zeros it is written with.
      {"2.123166616666668e163", "f2.1231666166666679e+163"},
      {"[0.00000000000000000000000, -0.0000000000000000000000000000000000000000e-5]",
       "[f0,f-0]"},
      {"[1e-400, 2123166616666666666666666666666666666666666666.6623e100]",
       "[f0,f2.1231666166666668e+145]"},
      {"[0.1, 5e-324, 1.7976931348623157e308]",
       "[f0.10000000000000001,f4.9406564584124654e-324,f1.7976931348623157e+308]"},
      {"-9223372036854775808", "s-9223372036854775808"},
      {"-0", "s0"},
      {"4294967296", "u4294967296"},
      {"[null, true, false, \"x\"]", "[null,true,false,\"x\"]"},
      {"{}", "{}"},
      {"[]", "[]"},
      {"{\"b\": {\"c\": []}, \"a\": null}", "{a:null,b:{c:[]}}"},
      {"null", "null"},
      {"\t\r\n 7 \n", "u7"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.json);
    const ConversionResult result = ReadJson(row.json);
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_EQ(Describe(result.value()), row.described);
  }
}

TEST(JsonReaderTest, RepeatedMembersMergeIntoTheSameField) {
  const struct {
    std::string_view json;
    const char* described;
  } kRows[] = {
      {R"({"a": 1, "a": 2})", "{a:u2}"},
      {R"({"a": 1, "a": null})", "{a:u1}"},
      {R"({"a": [1], "a": [2]})", "{a:[u1,u2]}"},
      {R"({"a": {"x": 1}, "a": {"y": 2}})", "{a:{x:u1,y:u2}}"},
      {R"({"a": {"x": 1}, "a": [2]})", "{a:[u2]}"},
      {R"({"a": [1], "a": {"y": 2}})", "{a:{y:u2}}"},
      {R"({"a": [1], "a": "s"})", "{a:\"s\"}"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.json);
    const ConversionResult result = ReadJson(row.json);
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_EQ(Describe(result.value()), row.described);
  }
}

TEST(JsonReaderTest, EmptyOrWhiteSpaceTextIsAnEmptyValue) {
  for (std::string_view text : {std::string_view(), std::string_view("   "),
                                std::string_view(" \t\r\n"), std::string_view(" \0{", 3)}) {
    const ConversionResult result = ReadJson(text);
    EXPECT_TRUE(result.ok()) << result.error();
    EXPECT_TRUE(result.value().IsEmpty());
  }
}

TEST(JsonReaderTest, ReportsRapidJsonTextAndOffset) {
  const struct {
    std::string_view json;
    const char* error;
  } kRows[] = {
      {"{} {}", "Error: The document root must not be followed by other values. at offset 3."},
      {"[1,]", "Error: Invalid value. at offset 3."},
      {"{\"a\" 1}", "Error: Missing a colon after a name of object member. at offset 5."},
      {"[1 2]", "Error: Missing a comma or ']' after an array element. at offset 3."},
      {"\"abc", "Error: Missing a closing quotation mark in string. at offset 4."},
      {"1e999", "Error: Number too big to be stored in double. at offset 0."},
      {"[1, 25555555555555555555501051011E282]",
       "Error: Number too big to be stored in double. at offset 4."},
      {"\f", "Error: Invalid value. at offset 0."},
      {"[NaN]", "Error: Invalid value. at offset 1."},
      {"// c\n1", "Error: Invalid value. at offset 0."},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.json);
    const ConversionResult result = ReadJson(row.json);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.error(), row.error);
    // Nothing of the partly built value survives beside the message.
    EXPECT_EQ(result.value().size(), 1u);
  }
}

TEST(JsonReaderTest, TextEndsAtItsFirstNul) {
  const ConversionResult number = ReadJson(std::string_view("123\0garbage", 11));
  ASSERT_TRUE(number.ok()) << number.error();
  EXPECT_EQ(Describe(number.value()), "u123");

  const ConversionResult open = ReadJson(std::string_view("[1\0]", 4));
  EXPECT_EQ(open.error(), "Error: Missing a comma or ']' after an array element. at offset 2.");

}

// An escaped NUL is a character like any other: cutting there would merge
// distinct members and shorten text.
TEST(JsonReaderTest, EscapedNulKeepsTheWholeText) {
  using namespace std::string_literals;
  const struct {
    const char* json;
    std::string described;
  } kRows[] = {
      {R"({"a\u0000b":1,"a":2})", "{a:u2,a\0b:u1}"s},
      {R"(["x\u0000y"])", "[\"x\0y\"]"s},
      {R"({"\u0000":"\u0000"})", "{\0:\"\0\"}"s},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.json);
    const ConversionResult result = ReadJson(row.json);
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_EQ(Describe(result.value()), row.described);
  }
}

TEST(JsonReaderTest, AcceptsTheDepthLimitAndRefusesOneMore) {
  const auto nested = [](int depth) {
    return std::string(depth, '[') + std::string(depth, ']');
  };
  const ConversionResult deepest = ReadJson(nested(kMaxNestingDepth));
  EXPECT_TRUE(deepest.ok()) << deepest.error();

  const ConversionResult tooDeep = ReadJson(nested(kMaxNestingDepth + 1));
  EXPECT_EQ(tooDeep.error(), "Error: The document is nested deeper than 512 levels at offset 512.");

  std::string members;
  for (int i = 0; i <= kMaxNestingDepth; ++i) members += "{\"k\":";
  EXPECT_FALSE(ReadJson(members).ok());
}

}  // namespace
}  // namespace Kelp

namespace Kelp {
namespace {

// Large objects are filled in arrival order and sorted when they close; the
// result must not differ from small ones.
TEST(JsonReaderTest, LargeObjectsKeepNameOrderAndMergeRepeatedMembers) {
  std::string json = "{";
  for (int i = 20000; i-- > 0;) json += "\"k" + std::to_string(i) + "\":" + std::to_string(i) + ",";
  json += R"("k5":null,"k7":"seven","list":[1],"k1":{"a":1},"list":[2],"k1":{"b":2}})";
  const ConversionResult result = ReadJson(json);
  ASSERT_TRUE(result.ok()) << result.error();
  const BindingProperty& value = result.value();
  ASSERT_EQ(value.size(), 20001u);
  std::string previous;
  for (const auto& [name, field] : value.Fields()) {
    ASSERT_LT(previous, name);
    previous = name;
  }
  EXPECT_EQ(value["k19999"].GetUnsigned(), 19999u);
  EXPECT_EQ(value["k5"].GetUnsigned(), 5u);
  EXPECT_EQ(value["k7"].GetString(), "seven");
  EXPECT_EQ(Describe(value["list"]), "[u1,u2]");
  EXPECT_EQ(Describe(value["k1"]), "{a:u1,b:u2}");
}

// Names are ordered by their first eight bytes as a word, then by the rest:
// names that differ past the word, share it, end inside it, hold a NUL or
// bytes from 0x80 up must still end in byte-wise order, in objects of every
// size, and in the same order however the input arranged them.
TEST(JsonReaderTest, ObjectsEndInByteWiseNameOrderAcrossTheFirstEightBytes) {
  const std::vector<std::string> kNames = {"",           "a",
                                           "a\\u0000",   "a\\u0000b",
                                           "ab",         "abcdefg",
                                           "abcdefgh",   "abcdefgh\\u0000",
                                           "abcdefgha",  "abcdefgi",
                                           "abcdefh",    "isMuted",
                                           "isSpeaking", "isSpeakingX",
                                           "\\u00e9",    "\\u00e9a",
                                           "\\u007f",    "Z"};
  for (std::size_t count : {std::size_t{2}, std::size_t{5}, kNames.size()}) {
    for (const bool reversed : {false, true}) {
      std::vector<std::string> names(kNames.begin(), kNames.begin() + count);
      if (reversed) std::reverse(names.begin(), names.end());
      std::string json = "{";
      for (const std::string& name : names) json += "\"" + name + "\":\"v" + name + "\",";
      json.back() = '}';
      const ConversionResult result = ReadJson(json);
      ASSERT_TRUE(result.ok()) << result.error();
      std::vector<std::string> seen;
      for (const auto& [name, field] : result.value().Fields()) {
        EXPECT_EQ(field.GetString(), "v" + std::string(name));
        seen.emplace_back(name);
      }
      std::vector<std::string> expected = seen;
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(seen, expected) << json;
      EXPECT_EQ(seen.size(), count) << json;
    }
  }
}

}  // namespace
}  // namespace Kelp
