#include "sdk/codecs/json_writer.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

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

// The compact text is byte for byte what RapidJSON's Writer makes of the
// same values: every byte in a text and in a name, numbers at their bounds,
// and commas between nested members and elements.
TEST(JsonWriterTest, CompactTextIsWhatRapidJsonsWriterWrites) {
  const auto rapid = [](auto write) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    write(writer);
    return std::string(buffer.GetString(), buffer.GetSize());
  };
  int compared = 0;
  for (int byte = 0; byte < 256; ++byte) {
    SCOPED_TRACE(byte);
    const std::string text = std::string("a") + static_cast<char>(byte) + "z";
    BindingProperty value;
    value[text].SetString(text);
    EXPECT_EQ(WriteJson(value), rapid([&](auto& w) {
                w.StartObject();
                w.Key(text.data(), static_cast<rapidjson::SizeType>(text.size()));
                w.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
                w.EndObject();
              }));
    ++compared;
  }
  const double kFloats[] = {
      5e-324, -2.2250738585072014e-308, 1.7976931348623157e308, -0.0, 0.1, 123456789.125, 1e21,
      1e-7,   2.123166616666668e163};
  for (const double f : kFloats) {
    SCOPED_TRACE(f);
    BindingProperty value;
    value.SetFloat(f);
    EXPECT_EQ(WriteJson(value), rapid([&](auto& w) { w.Double(f); }));
    ++compared;
  }
  BindingProperty nested;
  nested["a"][0]["x"].SetSigned(std::numeric_limits<std::int64_t>::min());
  nested["a"][0]["y"];
  nested["a"][1][0];
  nested["a"][1][1].SetUnsigned(std::numeric_limits<std::uint64_t>::max());
  nested["b"]["c"].SetBool(false);
  nested["d"].MakeStructure();
  nested["e"].MakeCollection();
  EXPECT_EQ(WriteJson(nested), rapid([](auto& w) {
              w.StartObject();
              w.Key("a");
              w.StartArray();
              w.StartObject();
              w.Key("x");
              w.Int64(std::numeric_limits<std::int64_t>::min());
              w.Key("y");
              w.Null();
              w.EndObject();
              w.StartArray();
              w.Null();
              w.Uint64(std::numeric_limits<std::uint64_t>::max());
              w.EndArray();
              w.EndArray();
              w.Key("b");
              w.StartObject();
              w.Key("c");
              w.Bool(false);
              w.EndObject();
              w.Key("d");
              w.StartObject();
              w.EndObject();
              w.Key("e");
              w.StartArray();
              w.EndArray();
              w.EndObject();
            }));
  EXPECT_EQ(compared, 256 + static_cast<int>(std::size(kFloats)));
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
