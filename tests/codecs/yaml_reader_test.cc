#include "sdk/codecs/yaml_reader.h"

#include <gtest/gtest.h>

#include "sdk/codecs/yaml_library.h"
#include "tests/codecs/describe.h"

namespace Kelp {
namespace {

using testing::Describe;

TEST(YamlReaderTest, ResolvesScalars) {
  const struct {
    std::string_view yaml;
    const char* described;
  } kRows[] = {
      {"", "null"},
      {"[42, -42, 4.5, 0x1A, 1e3, yes, Off, '42', \"x\", inf, -inf, ~, null, NULL, nil]",
       "[u42,s-42,f4.5,u26,u1000,true,false,\"42\",\"x\",\"inf\",f-inf,null,null,null,\"nil\"]"},
      {"[18446744073709551615, -9223372036854775808, 18446744073709551616, 2.0, -0]",
       "[u18446744073709551615,s-9223372036854775808,f1.8446744073709552e+19,u2,u0]"},
      {"[1_000, 0o14, .inf, '', \"\"]", "[\"1_000\",\"0o14\",\".inf\",\"\",\"\"]"},
      {"a: |\n  text\nb: >\n  folded\n  line\n", "{a:\"text\n\",b:\"folded line\n\"}"},
      {"123: a\n~: b\n", "{123:\"a\",~:\"b\"}"},
      {"[!!str 42, !!int '-7', !!int 0x10, !!float '1.5', !!bool yes, !!int '']",
       "[\"42\",s-7,u16,f1.5,true,u0]"},
      {"!!seq [1]", "[u1]"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.yaml);
    const ConversionResult result = ReadYaml(row.yaml);
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_EQ(Describe(result.value()), row.described);
  }
}

TEST(YamlReaderTest, RepeatedKeysMerge) {
  const ConversionResult result = ReadYaml("a: [1]\na: [2]\nb: {x: 1}\nb: {y: 2}\nc: 1\nc: 2\n");
  ASSERT_TRUE(result.ok()) << result.error();
  EXPECT_EQ(Describe(result.value()), "{a:[u1,u2],b:{x:u1,y:u2},c:u2}");
}

TEST(YamlReaderTest, AliasesAreIndependentCopies) {
  ConversionResult result =
      ReadYaml("base: &b {x: 1, list: &l [a, b]}\ncopy: *b\nlist: *l\nscalar: &s 5\nagain: *s\n");
  ASSERT_TRUE(result.ok()) << result.error();
  EXPECT_EQ(Describe(result.value()),
            "{again:u5,base:{list:[\"a\",\"b\"],x:u1},copy:{list:[\"a\",\"b\"],x:u1},"
            "list:[\"a\",\"b\"],scalar:u5}");
  result.value()["copy"]["x"].SetUnsigned(9);
  EXPECT_EQ(result.value()["base"]["x"].GetUnsigned(), 1u);
}

TEST(YamlReaderTest, DocumentsAfterAnEmptyOneAreRead) {
  const ConversionResult empty = ReadYaml("---\n---\nvalue\n");
  ASSERT_TRUE(empty.ok()) << empty.error();
  EXPECT_EQ(Describe(empty.value()), "\"value\"");
}

TEST(YamlReaderTest, RefusesWithExactMessages) {
  const struct {
    std::string_view yaml;
    const char* error;
  } kRows[] = {
      {"a\n---\nb\n", "Multi-document YAML is not supported."},
      {"a: &x [1, *x]\n", "Cannot deserialize cyclic aliases. Alias \"x\". At line: 1 col: 11"},
      {"a: *nope\n", "Undefined alias encountered: \"nope\". At line: 1 col: 4"},
      {"a: &x 1\nb: &x 2\n", "Duplicate occurrence of anchor \"x\". At line: 2 col: 4"},
      {"!!null ~\n", "Unsupported YAML tag 'tag:yaml.org,2002:null'."},
      {"!local x\n", "Unsupported YAML tag '!local'."},
      {"[a, b]: c\n", "Unexpected start of sequence. At line: 1 col: 1"},
      {"? {a: b}\n: c\n", "Unexpected start of mapping. At line: 1 col: 3"},
      {"!!int 1: c\n", "Invalid mapping key. Only string scalar keys are allowed. At line: 1 col: 1"},
      {"x: &a 1\n*a : 2\n",
       "Invalid mapping key. Only string scalar keys are allowed. At line: 2 col: 1"},
      {"!!int 12abc", "Value 12abc for 'yaml' of type uint64_t is in an incorrect format"},
      {"!!int -99999999999999999999", "Value -99999999999999999999 for 'yaml' of type int64_t is "
                                      "out of range"},
      {"!!int 99999999999999999999", "Value 99999999999999999999 for 'yaml' of type uint64_t is "
                                     "out of range"},
      {"!!float 1e999", "Value 1e999 for 'yaml' of type double is out of range"},
      {"!!float x", "Value x for 'yaml' of type double is in an incorrect format"},
      {"!!bool maybe", "Value maybe for 'yaml' of type bool is in an incorrect format"},
      {"a: [1\n", "YAML parser error: did not find expected ',' or ']'. At line: 1 col: 0"},
      {"a: b: c\n", "YAML parser error: mapping values are not allowed in this context. At line: 0 "
                    "col: 4"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.yaml);
    const ConversionResult result = ReadYaml(row.yaml);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.error(), row.error);
  }
}

TEST(YamlReaderTest, AcceptsTheDepthLimitAndRefusesOneMore) {
  const auto nested = [](int depth) {
    return std::string(depth, '[') + std::string(depth, ']');
  };
  const ConversionResult deepest = ReadYaml(nested(kMaxNestingDepth));
  EXPECT_TRUE(deepest.ok()) << deepest.error();
  EXPECT_EQ(ReadYaml(nested(kMaxNestingDepth + 1)).error(),
            "The document is nested deeper than 512 levels. At line: 1 col: 513");
}

TEST(YamlReaderTest, AliasesMayNotNestPastTheLimitOrMultiplyWithoutBound) {
  // The anchored node is 300 deep; copied at depth 300 it would reach 600.
  const std::string deep = std::string(300, '[') + std::string(300, ']');
  const ConversionResult nested =
      ReadYaml("a: &d " + deep + "\nb: " + std::string(299, '[') + "*d" + std::string(299, ']'));
  EXPECT_EQ(nested.error(), "The document is nested deeper than 512 levels. At line: 2 col: 303");

  // Ten aliases of ten aliases of ... : 10^7 values from a few lines.
  std::string laughs = "a0: &a0 [x, x, x, x, x, x, x, x, x, x]\n";
  for (int i = 1; i <= 7; ++i) {
    const std::string prev = "*a" + std::to_string(i - 1);
    laughs += "a" + std::to_string(i) + ": &a" + std::to_string(i) + " [";
    for (int j = 0; j < 10; ++j) laughs += (j ? ", " : "") + prev;
    laughs += "]\n";
  }
  const ConversionResult bomb = ReadYaml(laughs);
  EXPECT_EQ(bomb.error(), "Aliases expand to more than 1000000 values. At line: 6 col: 45");
}

TEST(YamlReaderTest, UnavailableLibraryFailsCleanly) {
  detail::YamlLibrary library{};
  EXPECT_FALSE(detail::LoadYamlLibrary("libkelp-no-such-yaml.so.0", library));
  const ConversionResult result = ReadYamlWith(nullptr, "a: 1");
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.error(),
            std::string("YAML support is unavailable: ") + detail::kYamlLibraryName +
                " could not be loaded.");
}

}  // namespace
}  // namespace Kelp

namespace Kelp {
namespace {

TEST(YamlReaderTest, AliasesResolveInsideLargeOpenMappings) {
  std::string yaml;
  for (int i = 200; i-- > 0;) yaml += "k" + std::to_string(i) + ": " + std::to_string(i) + "\n";
  yaml += "anchored: &a {x: [1, 2]}\n";
  for (int i = 300; i-- > 200;) yaml += "k" + std::to_string(i) + ": " + std::to_string(i) + "\n";
  yaml += "copy: *a\n";
  const ConversionResult result = ReadYaml(yaml);
  ASSERT_TRUE(result.ok()) << result.error();
  EXPECT_EQ(result.value().size(), 302u);
  EXPECT_EQ(Describe(result.value()["copy"]), "{x:[u1,u2]}");
  EXPECT_EQ(result.value()["k0"].GetUnsigned(), 0u);
}

}  // namespace
}  // namespace Kelp
