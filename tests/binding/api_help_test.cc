#include "sdk/binding/api_help.h"

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sdk/binding/type_builder.h"

namespace Kelp {
namespace {

enum class Letter : std::int32_t { A = 2, B = 1 };

struct Box {
  std::vector<Letter> letters;
  std::map<std::string, std::vector<std::string>> index;
  std::optional<std::string> label;
};

class ApiHelpTest : public ::testing::Test {
 protected:
  ApiHelpTest() {
    TypeBuilder<Letter>(registry_, "Letter")
        .Description("-x{y}")
        .Tag("t1")
        .Tag("t2")
        .Value("A", Letter::A, "the {a}")
        .Value("B", Letter::B);
    TypeBuilder<Box>(registry_, "Box")
        .Description("A box.")
        .Field("letters", &Box::letters, "Some {letters}")
        .Field("index", &Box::index)
        .Field("label", &Box::label);
  }

  FunctionRecord Function() const {
    FunctionRecord f;
    f.name = "PutBox";
    f.description = "Stores a box.";
    f.help = "Use {it}.";
    f.arguments.push_back({"id", "-The id", TypeRef{BindingTypeCode::UInt32}, {}, true, 2});
    f.arguments.push_back(
        {"body", "", TypeRef{BindingTypeCode::Struct, {}, BoxRecord()}, {}, false, 5});
    f.returns = TypeRef{BindingTypeCode::Struct, {}, BoxRecord()};
    f.tags = {"Plugins", "Plugin x"};
    f.threadSafe = true;
    f.async = true;
    return f;
  }
  const TypeRecord* BoxRecord() const { return registry_.FindByName("Box"); }

  TypeRegistry registry_;
};

TEST_F(ApiHelpTest, EpytextEscapesOnlyLeadingDashAndBraces) {
  EXPECT_EQ(EpytextEscape("-x{y}"), "E{-}xE{lb}yE{rb}");
  EXPECT_EQ(EpytextEscape("a-b--"), "a-b--");
  EXPECT_EQ(EpytextEscape(""), "");
}

TEST_F(ApiHelpTest, TypeNames) {
  const TypeRecord* letter = registry_.FindByName("Letter");
  const struct {
    TypeRef type;
    const char* epytext;
    const char* full;
    const char* fullElement;
  } rows[] = {
      {{BindingTypeCode::Object}, "object", "object", ""},
      {{BindingTypeCode::Blob}, "bytearray", "blob", ""},
      {{BindingTypeCode::Callback}, "callback", "callback", ""},
      {{BindingTypeCode::Vector, BindingTypeCode::Enum, letter},
       "list[L{Letter}]",
       "vector",
       "Letter"},
      {{BindingTypeCode::Map, BindingTypeCode::Double}, "dict[double]", "map", "double"},
      {{BindingTypeCode::Struct}, "L{struct}", "struct", ""},
      {{static_cast<BindingTypeCode>(25)}, "", "", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.epytext);
    EXPECT_EQ(EpytextTypeName(row.type), row.epytext);
    const BindingFullTypeIdentifier full = FullTypeIdentifier(row.type);
    EXPECT_EQ(full.type, row.full);
    EXPECT_EQ(full.elementType, row.fullElement);
  }
}

TEST_F(ApiHelpTest, EnumEpytextListsValuesInNumericOrder) {
  EXPECT_EQ(TypeEpytext(*registry_.FindByName("Letter")),
            "E{-}xE{lb}yE{rb}\r\n\r\n"
            "@cvar B: (1)\r\n"
            "@cvar A: (2) the {a}\r\n"
            "@tags: t1,t2\r\n"
            "@size: 4\r\n");
}

TEST_F(ApiHelpTest, StructEpytextListsFieldsInRegistrationOrder) {
  EXPECT_EQ(TypeEpytext(*BoxRecord()),
            "A box.\r\n\r\n"
            "@ivar letters: Some {letters}\r\n"
            "@type letters: list[L{Letter}]\r\n"
            "@ivar index: \r\n"
            "@type index: dict[list[]]\r\n"
            "@ivar label: \r\n"
            "@type label: string\r\n");
}

TEST_F(ApiHelpTest, FunctionEpytext) {
  EXPECT_EQ(FunctionEpytext(Function()),
            "Stores a box.\r\n\r\n"
            "Use E{lb}itE{rb}.\r\n\r\n"
            "@param id: (optional) E{-}The id\r\n"
            "@type id: uint32\r\n"
            "@type body: L{Box}\r\n"
            "@rtype: L{Box}\r\n"
            "@tags: Plugins,Plugin x\r\n"
            "@threadsafe: true\r\n"
            "@async: L{Box}\r\n");

  FunctionRecord bare;
  bare.description = "d";
  bare.help = "h";
  EXPECT_EQ(FunctionEpytext(bare), "d\r\n\r\nh\r\n\r\n");
}

TEST_F(ApiHelpTest, EventEpytextAlwaysHasItsParagraph) {
  ExposedEvent event;
  event.tags = {"k"};
  EXPECT_EQ(EventEpytext(event), "\r\n\r\n@tags: k\r\n");
}

TEST_F(ApiHelpTest, FullFormatSerialisesHelpRecordsSortedByName) {
  ASSERT_TRUE(registry_.AddFunction(Function()));
  const BindingProperty help = HelpValue(1, registry_);

  const BindingProperty& function = help["functions"][0];
  EXPECT_EQ(function["name"].GetString(), "PutBox");
  EXPECT_EQ(function["async"].GetString(), "Box");
  EXPECT_EQ(function["returns"]["type"].GetString(), "Box");
  EXPECT_EQ(function["arguments"][0]["type"]["type"].GetString(), "uint32");
  EXPECT_TRUE(function["arguments"][0]["optional"].GetBool());
  EXPECT_TRUE(function["threadSafe"].GetBool());

  const BindingProperty& types = help["types"];
  ASSERT_EQ(types.size(), 17u);
  for (std::size_t i = 1; i < types.size(); ++i) {
    EXPECT_LT(types[i - 1]["name"].GetString(), types[i]["name"].GetString());
  }
  const BindingProperty* letter = nullptr;
  for (const BindingProperty& t : types.Elements()) {
    if (t["name"].GetString() == "Letter") letter = &t;
  }
  ASSERT_NE(letter, nullptr);
  EXPECT_EQ((*letter)["size"].GetUnsigned(), 4u);
  EXPECT_EQ((*letter)["values"][0]["name"].GetString(), "A");
  EXPECT_EQ((*letter)["values"][0]["value"].GetSigned(), 2);
  EXPECT_EQ((*letter)["tags"][1].GetString(), "t2");

  const BindingProperty& events = help["events"];
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["type"]["type"].GetString(), "BindingCallbackEvent");
}

TEST_F(ApiHelpTest, EpytextFormatAndUnknownFormat) {
  const BindingProperty epytext = HelpValue(2, registry_);
  EXPECT_EQ(epytext["types"]["Letter"].GetString(), TypeEpytext(*registry_.FindByName("Letter")));
  EXPECT_EQ(epytext["events"]["OnCallback"].GetString(),
            "Fired when a callback is invoked.\r\n\r\n@tags: $builtin\r\n");
  EXPECT_EQ(epytext["functions"].kind(), BindingPropertyKind::Structure);

  const BindingProperty none = HelpValue(7, registry_);
  EXPECT_EQ(none.size(), 3u);
  EXPECT_TRUE(none["types"].IsEmpty());
}

}  // namespace
}  // namespace Kelp
