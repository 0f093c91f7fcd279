#include "sdk/binding/type_registry.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sdk/binding/builtin_types.h"
#include "sdk/binding/type_builder.h"
#include "sdk/plugin/plugin_manager_types.h"

namespace Kelp {
namespace {

enum class Color : std::int32_t { Red = 1, Green = 2 };
struct Paint {
  Color color = Color::Red;
  std::vector<Color> mix;
  std::optional<std::string> note;
};
struct Other {
  int x = 0;
};

TEST(StaticTypeTest, IdsAreStableAndNamed) {
  EXPECT_EQ(StaticTypeOf<BindingProperty>()->id, 0xBEEA9D0Bu);
  EXPECT_STREQ(StaticTypeOf<BindingProperty>()->name, "#BEEA9D0B");
  EXPECT_EQ(StaticTypeOf<BindingFullTypeHelp>()->id, 0x7534AFEAu);
  EXPECT_STREQ(StaticTypeOf<BindingAsyncState>()->name, "#4B896D21");
  EXPECT_EQ(StaticTypeOf<bool>()->id, Fnv1a("bool"));
  EXPECT_NE(std::string(StaticTypeOf<Paint>()->name).find("Paint"), std::string::npos);
  EXPECT_EQ(StaticTypeOf<Paint>(), StaticTypeOf<Paint>());
  EXPECT_NE(StaticTypeOf<Paint>()->id, StaticTypeOf<Other>()->id);
  EXPECT_NE(StaticTypeOf<std::vector<Paint>>()->id, StaticTypeOf<std::vector<Other>>()->id);
  EXPECT_STREQ(ReservedStaticType()->name, "#1BE7EF8E");
}

TEST(TypeRegistryTest, FirstRegistrationWins) {
  TypeRegistry registry;
  TypeBuilder<Color>(registry, "Color").Description("first").Value("Red", Color::Red);
  TypeBuilder<Color> again(registry, "Color");
  EXPECT_TRUE(again.existing());
  again.Description("second").Tag("late").Value("Green", Color::Green);

  const TypeRecord* record = registry.FindByName("Color");
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->description, "first");
  EXPECT_TRUE(record->tags.empty());
  EXPECT_EQ(record->values.size(), 1u);
  EXPECT_EQ(registry.FindById(StaticTypeOf<Color>()), record);
}

TEST(TypeRegistryTest, ReservedIdIsFoundByNameOnly) {
  TypeRegistry registry;
  TypeBuilder<Other> builder(registry, "Handler", ReservedStaticType());
  EXPECT_NE(registry.FindByName("Handler"), nullptr);
  EXPECT_EQ(registry.FindById(kReservedTypeId), nullptr);
  EXPECT_EQ(registry.FindById(StaticTypeOf<Other>()), nullptr);
}

// Another type claiming an id already in use must never be found by it: the
// first type's converters would run on the second type's memory.
TEST(TypeRegistryTest, CollidingIdKeepsTheFirstTypeIndexed) {
  TypeRegistry registry;
  TypeBuilder<Paint>(registry, "Paint");
  StaticType impostor{StaticTypeOf<Paint>()->id, "impostor", {}};
#ifdef NDEBUG
  TypeBuilder<Other>(registry, "Other", &impostor);
  EXPECT_EQ(registry.FindById(StaticTypeOf<Paint>())->name, "Paint");
  EXPECT_NE(registry.FindByName("Other"), nullptr);
#else
  EXPECT_DEATH(TypeBuilder<Other>(registry, "Other", &impostor), "collision");
#endif
}

TEST(TypeRegistryTest, EnumValuesByNumberInNameOrder) {
  TypeRegistry registry;
  TypeBuilder<Color>(registry, "Color")
      .Value("Red", Color::Red)
      .Value("Crimson", Color::Red, "same number")
      .Value("Green", Color::Green)
      .Value("Green", Color::Red, "renumbered");
  const TypeRecord* record = registry.FindByName("Color");
  EXPECT_STREQ(registry.EnumValueName(StaticTypeOf<Color>(), 1), "Crimson");
  EXPECT_EQ(registry.EnumValueName(StaticTypeOf<Color>(), 2), nullptr);
  EXPECT_EQ(registry.EnumValueName(StaticTypeOf<Other>(), 1), nullptr);
  EXPECT_EQ(registry.FindEnumValue(record, std::string_view("Green"))->description, "renumbered");
}

TEST(TypeRegistryTest, FieldsCarryTypeRefsOffsetsAndOptionality) {
  TypeRegistry registry;
  TypeBuilder<Color>(registry, "Color").Value("Red", Color::Red);
  TypeBuilder<Paint>(registry, "Paint")
      .Field("color", &Paint::color)
      .Field("mix", &Paint::mix, "colors", TypeRef{BindingTypeCode::String})
      .Field("note", &Paint::note)
      .Tag("")
      .Tag("t");
  const TypeRecord* paint = registry.FindByName("Paint");
  const TypeRecord* color = registry.FindByName("Color");
  ASSERT_EQ(paint->fields.size(), 3u);
  const FieldRecord& c = paint->fields[0];
  EXPECT_EQ(c.type.code, BindingTypeCode::Enum);
  EXPECT_EQ(c.type.record, color);
  EXPECT_EQ(c.offset, offsetof(Paint, color));
  EXPECT_EQ(c.owner, paint);
  const FieldRecord& mix = paint->fields[1];
  EXPECT_EQ(mix.type.code, BindingTypeCode::Vector);
  EXPECT_EQ(mix.type.elementCode, BindingTypeCode::Enum);
  EXPECT_EQ(mix.type.record, color);
  EXPECT_EQ(mix.describedType.code, BindingTypeCode::String);
  EXPECT_EQ(mix.offset, offsetof(Paint, mix));
  EXPECT_EQ(mix.optional, 0);
  const FieldRecord& note = paint->fields[2];
  EXPECT_EQ(note.type.code, BindingTypeCode::String);
  EXPECT_EQ(note.optional, 1);
  EXPECT_EQ(paint->tags, std::vector<std::string>{"t"});
  EXPECT_EQ(paint->size, sizeof(Paint));
}

TEST(TypeRegistryTest, BuiltinsAndPluginManagerTypes) {
  TypeRegistry registry;
  RegisterPluginManagerTypes(registry);
  RegisterPluginManagerTypes(registry);

  const TypeRecord* help = registry.FindById(0x7534AFEAu);
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(help->name, "BindingFullTypeHelp");
  EXPECT_EQ(help->tags, (std::vector<std::string>{"$builtin", "help"}));
  EXPECT_EQ(help->fields[5].type.elementCode, BindingTypeCode::Struct);
  EXPECT_EQ(help->fields[5].type.record, registry.FindByName("BindingFullFieldHelp"));
  EXPECT_EQ(registry.Types().size(), 15u + 7u);

  const std::vector<ExposedEvent> events = registry.Events();
  ASSERT_EQ(events.size(), 6u);
  EXPECT_EQ(events[0].name, "OnCallback");
  EXPECT_EQ(events[0].payload.record, registry.FindByName("BindingCallbackEvent"));
  EXPECT_EQ(events[1].name, "OnJsonApiEvent");
  EXPECT_EQ(events[1].payload.record, registry.FindByName("PluginResourceEvent"));
  EXPECT_EQ(events[1].tags, std::vector<std::string>{"kclient"});

  const TypeRecord* resource = registry.FindById(StaticTypeOf<PluginResourceEvent>());
  ASSERT_NE(resource, nullptr);
  EXPECT_EQ(resource->fields[1].type.record, registry.FindByName("PluginResourceEventType"));
  EXPECT_EQ(resource->fields[2].type.code, BindingTypeCode::Object);

  BindingProperty payload;
  payload["uri"].SetString("/tav-lobby/v2/lobby");
  payload["eventType"].SetString("Update");
  payload["data"]["members"][0].SetSigned(1);
  PluginResourceEvent event;
  ConversionResult result;
  FromProperty(result, payload, "<result>", event, registry);
  ASSERT_TRUE(result.ok()) << result.error();
  EXPECT_EQ(event.eventType, PluginResourceEventType::Update);
  EXPECT_EQ(event.data, payload["data"]);
  payload["eventType"].SetString("update");
  FromProperty(result, payload, "<result>", event, registry);
  EXPECT_EQ(result.error(),
            "update is not a valid PluginResourceEventType enumeration value for 'eventType'.");
}

TEST(TypeRegistryTest, FunctionsKeepTheFirstRegistration) {
  TypeRegistry registry;
  FunctionRecord first;
  first.name = "GetThing";
  first.endpoint = std::make_shared<int>(1);
  FunctionRecord second = first;
  second.description = "later";
  EXPECT_TRUE(registry.AddFunction(first));
  EXPECT_FALSE(registry.AddFunction(second));
  EXPECT_EQ(registry.FindFunction("GetThing")->description, "");
  EXPECT_EQ(registry.Functions().size(), 1u);
}

TEST(TypeCodeTest, NamesAndBoundaryNumbers) {
  EXPECT_STREQ(TypeCodeName(BindingTypeCode::Bool), "bool");
  EXPECT_STREQ(TypeCodeName(BindingTypeCode::Map), "map");
  EXPECT_STREQ(TypeCodeName(static_cast<BindingTypeCode>(20)), "");
  EXPECT_EQ(BoundaryTypeCode(static_cast<BindingTypeCode>(20)), 0u);
  EXPECT_EQ(BoundaryTypeCode(BindingTypeCode::Callback), 18u);
}

}  // namespace
}  // namespace Kelp
