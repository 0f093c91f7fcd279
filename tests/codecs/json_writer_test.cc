#include "sdk/codecs/json_writer.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "sdk/codecs/json_reader.h"

namespace Kelp {
namespace {

// Names value 1 of the colour type "RED"; knows nothing else.
class FakeNamer final : public EnumNamer {
 public:
  const char* EnumValueName(const StaticType* type, std::int32_t number) const override {
    return type == &kColour && number == 1 ? "RED" : nullptr;
  }
  static constexpr StaticType kColour{7, "Colour", {}};
};

TEST(JsonWriterTest, WritesFieldsInNameOrderWithoutWhiteSpace) {
  BindingProperty value;
  value["b"].SetUnsigned(1);
  value["a"][0].SetBool(true);
  value["a"][1];
  EXPECT_EQ(WriteJson(value), R"({"a":[true,null],"b":1})");
}

TEST(JsonWriterTest, EmptyRootIsEmptyText) {
  EXPECT_EQ(WriteJson(BindingProperty()), "");
  EXPECT_EQ(WriteJson(BindingProperty(), nullptr, "\n"), "");
}

TEST(JsonWriterTest, WritesScalars) {
  const auto write = [](auto set) {
    BindingProperty value;
    set(value);
    return WriteJson(value);
  };
  EXPECT_EQ(write([](auto& v) { v.SetSigned(-5); }), "-5");
  EXPECT_EQ(write([](auto& v) { v.SetUnsigned(18446744073709551615u); }), "18446744073709551615");
  EXPECT_EQ(write([](auto& v) { v.SetFloat(0.0); }), "0.0");
  EXPECT_EQ(write([](auto& v) { v.SetFloat(0.1); }), "0.1");
  EXPECT_EQ(write([](auto& v) { v.SetFloat(1e300); }), "1e300");
  EXPECT_EQ(write([](auto& v) { v.SetString("q\"\\\n\x01\xC3\xA9"); }),
            "\"q\\\"\\\\\\n\\u0001\xC3\xA9\"");
  const std::uint8_t bytes[] = {'f', 'o', 'o', 'b'};
  EXPECT_EQ(write([&](auto& v) { v.SetBlob(bytes); }), "\"Zm9vYg==\"");
  EXPECT_EQ(write([&](auto& v) { v.SetBlob(std::span(bytes, 3)); }), "\"Zm9v\"");
  EXPECT_EQ(write([&](auto& v) { v.SetBlob(std::span(bytes, 2)); }), "\"Zm8=\"");
  EXPECT_EQ(write([](auto& v) { v.SetBlob({}); }), "\"\"");
}

TEST(JsonWriterTest, NonFiniteFloatsBecomeNullAndKeepTheDocumentWellFormed) {
  BindingProperty value;
  value["a"].SetFloat(std::numeric_limits<double>::quiet_NaN());
  value["b"].SetFloat(std::numeric_limits<double>::infinity());
  value["c"][0].SetFloat(-std::numeric_limits<double>::infinity());
  const std::string text = WriteJson(value);
  EXPECT_EQ(text, R"({"a":null,"b":null,"c":[null]})");
  EXPECT_TRUE(ReadJson(text).ok());
}

TEST(JsonWriterTest, EnumsByNameOnlyWithANamerThatKnowsTheNumber) {
  const FakeNamer namer;
  BindingProperty value;
  value[0].SetEnum(1, &FakeNamer::kColour);
  value[1].SetEnum(2, &FakeNamer::kColour);
  value[2].SetEnum(-3, nullptr);
  EXPECT_EQ(WriteJson(value, &namer), R"(["RED",2,-3])");
  EXPECT_EQ(WriteJson(value), "[1,2,-3]");
}

TEST(JsonWriterTest, PrettyUsesFourSpacesAndTheGivenLineBreak) {
  BindingProperty value;
  value["b"].SetUnsigned(1);
  value["a"][0].SetBool(true);
  value["e"].MakeCollection();
  value["o"].MakeStructure();
  const char* expected =
      "{\n"
      "    \"a\": [\n"
      "        true\n"
      "    ],\n"
      "    \"b\": 1,\n"
      "    \"e\": [],\n"
      "    \"o\": {}\n"
      "}";
  EXPECT_EQ(WriteJson(value, nullptr, "\n"), expected);
  std::string crlf = expected;
  for (std::size_t at = 0; (at = crlf.find('\n', at)) != std::string::npos; at += 2) {
    crlf.replace(at, 1, "\r\n");
  }
  EXPECT_EQ(WriteJson(value, nullptr, "\r\n"), crlf);
}

TEST(JsonWriterTest, RoundTripsWhatTheReaderReads) {
  const char* text = R"({"a":[1,-2,0.5,"x",null,{"k":[]}],"b":{"c":true}})";
  const ConversionResult read = ReadJson(text);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(WriteJson(read.value()), text);
}

}  // namespace
}  // namespace Kelp
