#include "host/server/api_docs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/standins/json_file.h"

namespace Kelp::Host {
namespace {

// A descriptor written by hand, the way a plugin lays one out: one endpoint
// with a path parameter, a body parameter and a query parameter, a struct,
// an enum whose name order and number order differ, and an event.
class ApiDocsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    arguments_[0] = {&arguments_[1], "puuid", "The player", 12, 0, "", 0};
    arguments_[1] = {&arguments_[2], "volume", "-x{y}", 6, 0, "", 0};
    arguments_[2] = {nullptr, "tags", "", 15, 17, "Thing", 1};
    locations_[0] = {&locations_[1], 2};
    locations_[1] = {&locations_[2], 5};
    locations_[2] = {nullptr, 1};
    function_.description.name = "PutVolume";
    function_.description.arguments = arguments_;
    function_.description.argumentCount = 3;
    function_.description.returnType = 15;
    function_.description.returnElementType = 12;
    function_.description.description = "Sets a volume.";
    function_.description.tags = kTags;
    function_.description.tagCount = 2;
    function_.parameters = locations_;
    function_.path = "/v1/players/{puuid}/volume/{+rest}";
    function_.method = HTTP_METHOD_PUT;

    fields_[0] = {&fields_[1], "name", "Its name", 0, 12, 0, "", 0};
    fields_[1] = {nullptr, "mode", "", 8, 16, 0, "Mode", 1};
    values_[0] = {&values_[1], "Alpha", "first", 2};
    values_[1] = {nullptr, "Beta", "", 1};
    types_[0] = {&types_[1], "Thing", "", 16, "A thing.", nullptr, 0, fields_, nullptr, 2};
    types_[1] = {nullptr, "Mode", "", 4, "", kTags, 2, nullptr, values_, 2};
    event_ = {nullptr, "OnThing", "", "Thing", "", nullptr, 0};
    descriptor_ = {&function_, 1, types_, 2, &event_, 1};
  }

  static constexpr const char* kTags[] = {"Plugins", "Fake"};
  ApiArgumentRecord arguments_[3]{};
  ParameterLocationRecord locations_[3]{};
  EndpointFunctionRecord function_{};
  ApiFieldRecord fields_[2]{};
  ApiEnumValueRecord values_[2]{};
  ApiTypeRecord types_[2]{};
  ApiEventRecord event_{};
  PluginApiDescriptor descriptor_{};
};

TEST_F(ApiDocsTest, EpytextEscapesOrdersEnumValuesByNumberAndNamesTypes) {
  const HostValue help = EpytextHelp(ReadApiModel(&descriptor_, "fake"));
  EXPECT_EQ(*help.Find("functions")->Find("PutVolume"),
            HostValue("Sets a volume.\r\n\r\n"
                      "@param puuid: The player\r\n@type puuid: string\r\n"
                      "@param volume: E{-}xE{lb}yE{rb}\r\n@type volume: int32\r\n"
                      "@type tags: list[L{Thing}]\r\n"
                      "@rtype: list[string]\r\n@tags: Plugins,Fake\r\n"));
  EXPECT_EQ(*help.Find("types")->Find("Mode"),
            HostValue("@cvar Beta: (1)\r\n@cvar Alpha: (2) first\r\n@tags: Plugins,Fake\r\n"
                      "@size: 4\r\n"));
  EXPECT_EQ(*help.Find("types")->Find("Thing"),
            HostValue("A thing.\r\n\r\n@ivar name: Its name\r\n@type name: string\r\n"
                      "@ivar mode: \r\n@type mode: L{Mode}\r\n"));
  EXPECT_EQ(*help.Find("events")->Find("OnThing"), HostValue("\r\n\r\n"));

  // The "Full" format sorts the types by name and writes full identifiers.
  const HostValue full = FullHelp(ReadApiModel(&descriptor_, "fake"));
  EXPECT_EQ(*full.Find("types")->AsArray()[0].Find("name"), HostValue("Mode"));
  EXPECT_EQ(*full.Find("functions")->AsArray()[0].Find("arguments")->AsArray()[2].Find("type"),
            MakeObject({{"type", "vector"}, {"elementType", "Thing"}}));
}

TEST_F(ApiDocsTest, OpenApiPutsEachParameterWhereTheRequestCarriesIt) {
  const HostValue document = OpenApiDocument(ReadApiModel(&descriptor_, "fake"), "18.0.0");
  const HostValue* operation =
      document.Find("paths")->Find("/v1/players/{puuid}/volume/{rest}")->Find("put");
  ASSERT_NE(operation, nullptr) << WriteJsonText(document);
  EXPECT_EQ(*operation->Find("operationId"), HostValue("PutVolume"));
  const HostArray& parameters = operation->Find("parameters")->AsArray();
  ASSERT_EQ(parameters.size(), 3u);
  const struct {
    const char* name;
    const char* in;
    bool required;
  } kRows[] = {{"puuid", "path", true}, {"tags", "query", false}, {"rest", "path", true}};
  for (std::size_t i = 0; i < std::size(kRows); ++i) {
    SCOPED_TRACE(kRows[i].name);
    EXPECT_EQ(*parameters[i].Find("name"), HostValue(kRows[i].name));
    EXPECT_EQ(*parameters[i].Find("in"), HostValue(kRows[i].in));
    EXPECT_EQ(*parameters[i].Find("required"), HostValue(kRows[i].required));
  }
  EXPECT_EQ(*parameters[1].Find("schema"),
            MakeObject({{"type", "array"},
                        {"items", MakeObject({{"$ref", "#/components/schemas/Thing"}})}}));
  EXPECT_EQ(*operation->Find("requestBody")
                 ->Find("content")
                 ->Find("application/json")
                 ->Find("schema")
                 ->Find("format"),
            HostValue("int32"));

  const HostValue* schemas = document.Find("components")->Find("schemas");
  EXPECT_EQ(*schemas->Find("Mode")->Find("enum"), HostValue(HostArray{"Alpha", "Beta"}));
  // Optional fields are left out of "required".
  EXPECT_EQ(*schemas->Find("Thing")->Find("required"), HostValue(HostArray{"name"}));
}

TEST(ApiDocsReadTest, NullArraysReadAsEmptyWhateverTheirCounts) {
  PluginApiDescriptor descriptor{nullptr, 5, nullptr, 7, nullptr, 9};
  const ApiModel model = ReadApiModel(&descriptor, "x");
  EXPECT_TRUE(model.functions.empty());
  EXPECT_TRUE(model.types.empty());
  EXPECT_TRUE(model.events.empty());
  EXPECT_TRUE(ReadApiModel(nullptr, "x").functions.empty());
}

}  // namespace
}  // namespace Kelp::Host
