#include "host/inbound_invoke.h"

#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/descriptor_summary.h"
#include "host/reference_host.h"
#include "tests/host/fake_plugin.h"

namespace Kelp::Host {
namespace {

using ::testing::ElementsAre;
using Testing::FakePlugin;
using ::testing::IsEmpty;

class InboundInvokeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plugin_.AddEndpoint("GetSettings", HTTP_METHOD_GET, "/v1/settings");
    plugin_.AddEndpoint("GetById", HTTP_METHOD_GET, "/v1/p/{id}");
    plugin_.AddEndpoint("GetVolume", HTTP_METHOD_GET, "/v1/p/{id}/volume");
    plugin_.AddEndpoint("GetLiteralP", HTTP_METHOD_GET, "/v1/p/me");
    plugin_.AddEndpoint("PutVolume", HTTP_METHOD_PUT, "/v1/p/{id}/volume", &FakePlugin::Fail);
    plugin_.AddEndpoint("AnyFiles", HTTP_METHOD_NONE, "/v1/files/{+rest}");
    plugin_.AddEndpoint("NoPath", HTTP_METHOD_POST, nullptr);
    plugin_.AddEndpoint("Unclosed", HTTP_METHOD_PATCH, "/v1/open/{id");
    ASSERT_TRUE(host_.Load().ok());
    ASSERT_TRUE(host_.Init(7));
  }

  FakePlugin plugin_;
  ReferenceHost host_{&FakePlugin::Load};
};

TEST_F(InboundInvokeTest, RoutesByMethodAndPathTemplate) {
  const struct {
    std::uint32_t method;
    const char* path;
    const char* function;  // null: no function fits
  } kRows[] = {
      {HTTP_METHOD_GET, "/v1/settings", "GetSettings"},
      {HTTP_METHOD_GET, "/v1/p/abc", "GetById"},
      {HTTP_METHOD_GET, "/v1/p/abc/volume", "GetVolume"},
      // The literal route takes no characters, so it beats "{id}".
      {HTTP_METHOD_GET, "/v1/p/me", "GetLiteralP"},
      {HTTP_METHOD_PUT, "/v1/p/abc/volume", "PutVolume"},
      {HTTP_METHOD_DELETE, "/v1/files/a/b", "AnyFiles"},
      {HTTP_METHOD_POST, "NoPath", "NoPath"},
      {HTTP_METHOD_POST, "/v1/settings", nullptr},
      {HTTP_METHOD_GET, "/v1/p/a/b", nullptr},
      // Routed exactly as the plugin's own matcher does.
      {HTTP_METHOD_DELETE, "/v1/files/a\nb", nullptr},
      {HTTP_METHOD_PATCH, "/v1/open/", "Unclosed"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.path);
    const EndpointFunctionRecord* found =
        FindEndpoint(host_.descriptor(), row.method, "", row.path);
    if (row.function == nullptr) {
      EXPECT_EQ(found, nullptr);
    } else {
      ASSERT_NE(found, nullptr);
      EXPECT_STREQ(found->description.name, row.function);
    }
  }
  EXPECT_EQ(FindEndpoint(nullptr, HTTP_METHOD_GET, "", "/v1/settings"), nullptr);
  PluginApiDescriptor broken{};
  broken.functionCount = 5;  // with no array
  EXPECT_EQ(FindEndpoint(&broken, HTTP_METHOD_GET, "", "/v1/settings"), nullptr);
}

TEST_F(InboundInvokeTest, BuildsTheRequestAndCopiesTheResponseBeforeReleasingIt) {
  InboundRequest request;
  request.method = HTTP_METHOD_GET;
  request.path = "/v1/p/abc/volume";
  request.arguments = {{"level", 0.5}, {std::nullopt, MakeObject({{"a", HostArray{1}}})}};
  request.body = std::string("{\"x\":1}\0z", 9);
  request.senderHandle = 12;

  const InvokeResult result = host_.Invoke(request);
  EXPECT_TRUE(result.delivered);
  EXPECT_EQ(result.functionName, "GetVolume");
  EXPECT_FALSE(result.failed);
  EXPECT_EQ(result.status, 200u);
  EXPECT_EQ(result.flags, 7);
  EXPECT_EQ(result.code, 2u);
  EXPECT_EQ(result.contentType, "application/json");
  EXPECT_THAT(result.headers, ElementsAre(std::pair<std::string, std::string>{"X-Fake", "yes"}));
  EXPECT_EQ(result.value.ToJson(), R"({"function":"GetVolume","path":"/v1/p/abc/volume"})");
  EXPECT_EQ(plugin_.releases, 1);

  ASSERT_EQ(plugin_.requests.size(), 1u);
  const FakePlugin::SeenRequest& seen = plugin_.requests[0];
  const EndpointFunctionRecord* volume = FindEndpointByName(host_.descriptor(), "GetVolume");
  EXPECT_EQ(seen.function, &volume->description.invoke);
  EXPECT_EQ(seen.method, static_cast<std::uint32_t>(HTTP_METHOD_GET));
  EXPECT_EQ(seen.arguments, request.arguments);
  EXPECT_EQ(seen.body, *request.body);
  EXPECT_EQ(seen.contentType, "application/json");
  EXPECT_EQ(seen.senderHandle, 12u);
  EXPECT_THAT(host_.problems(), IsEmpty());
}

TEST_F(InboundInvokeTest, FailuresAndUnknownFunctions) {
  const InvokeResult failed = host_.Invoke(HTTP_METHOD_PUT, "/v1/p/x/volume");
  EXPECT_TRUE(failed.delivered);
  EXPECT_TRUE(failed.failed);
  EXPECT_EQ(failed.error, "bad thing");
  EXPECT_EQ(failed.status, 409u);
  EXPECT_EQ(failed.contentType, "");
  EXPECT_EQ(plugin_.releases, 1);

  const InvokeResult missing = host_.Invoke(HTTP_METHOD_PATCH, "/v1/settings");
  EXPECT_FALSE(missing.delivered);
  EXPECT_EQ(missing.error, "No function for PATCH /v1/settings");
  EXPECT_EQ(missing.status, 404u);

  InboundRequest byName;
  byName.path = "/anything";
  const InvokeResult named = host_.InvokeByName("GetSettings", byName);
  EXPECT_EQ(named.value.ToJson(), R"({"function":"GetSettings","path":"/anything"})");
  EXPECT_EQ(host_.InvokeByName("Nope", byName).error, "No function named Nope");
  EXPECT_EQ(plugin_.requests.size(), 2u);
}

TEST(InboundInvokeContractTest, CarelessResponsesAreProblemsNotCrashes) {
  FakePlugin plugin;
  plugin.AddEndpoint("Careless", HTTP_METHOD_GET, "/careless", &FakePlugin::Careless);
  plugin.AddEndpoint("Keeps", HTTP_METHOD_GET, "/keeps", &FakePlugin::KeepsRecord);
  plugin.AddEndpoint("NoEntry", HTTP_METHOD_GET, "/none", nullptr);
  ReferenceHost host(&FakePlugin::Load);
  ASSERT_TRUE(host.Load().ok());

  const InvokeResult careless = host.Invoke(HTTP_METHOD_GET, "/careless");
  EXPECT_TRUE(careless.failed);
  EXPECT_EQ(careless.error, "");
  EXPECT_THAT(careless.problems, ElementsAre("null header array with count 3",
                                             "unreadable response value: "
                                             "unknown value kind 99",
                                             "response has no release function"));
  const InvokeResult keeps = host.Invoke(HTTP_METHOD_GET, "/keeps");
  EXPECT_EQ(keeps.status, 204u);
  EXPECT_THAT(keeps.problems, ElementsAre("release left the response record non-zero"));
  const InvokeResult noEntry = host.Invoke(HTTP_METHOD_GET, "/none");
  EXPECT_EQ(noEntry.error, "Function NoEntry has no invoke entry");
  EXPECT_FALSE(noEntry.delivered);
  EXPECT_EQ(host.problems().size(), 4u);
}

TEST(DescriptorSummaryTest, WalksByCountAndChecksTheLinks) {
  FakePlugin plugin;
  plugin.AddEndpoint("GetA", HTTP_METHOD_GET, "/a");
  plugin.AddEndpoint("Named", HTTP_METHOD_NONE, nullptr);
  ApiTypeRecord types[2] = {};
  types[0].name = "PartyDto";
  types[0].next = &types[1];
  ApiEventRecord events[2] = {};
  events[0].name = "OnJsonApiEvent";
  events[0].next = &events[0];  // should point to the next record
  PluginApiDescriptor& descriptor = plugin.descriptor();
  descriptor.types = types;
  descriptor.typeCount = 2;
  descriptor.events = events;
  descriptor.eventCount = 2;

  const DescriptorSummary summary = SummarizeDescriptor(&descriptor);
  EXPECT_EQ(FormatDescriptorSummary(summary),
            "functions: 2\n"
            "  GetA  (GET /a)\n"
            "  Named\n"
            "types: 2\n"
            "  PartyDto, <null>\n"
            "events: 2\n"
            "  OnJsonApiEvent, <null>\n"
            "problem: event 0: next does not point to the following record\n");

  descriptor.functions = nullptr;
  EXPECT_THAT(SummarizeDescriptor(&descriptor).problems,
              ElementsAre("null function array with count 2",
                          "event 0: next does not point to the following record"));
  EXPECT_THAT(SummarizeDescriptor(nullptr).problems, ElementsAre("no descriptor"));
}

}  // namespace
}  // namespace Kelp::Host
