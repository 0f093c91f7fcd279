#include "sdk/rest/invoke.h"

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "sdk/binding/binding_value.h"
#include "sdk/binding/type_builder.h"
#include "sdk/rest/endpoint_registration.h"
#include "sdk/rest/endpoint_table.h"
#include "sdk/rest/invoke_response.h"
#include "tests/yaml_availability.h"

namespace Kelp {
namespace {

enum class Shade : std::int32_t { Dark = 1, Light = 2 };

struct Point {
  std::int32_t x = 0;
  std::string label;
  std::vector<std::int32_t> values;
  Shade shade = Shade::Dark;
};

// What the handlers saw, and what they answer.
struct Seen {
  int calls = 0;
  std::string id;
  Point point;
  bool flag = false;
  std::int32_t count = 0;
  std::vector<std::int32_t> list;
  std::string name;
  BindingProperty object;
};

class InvokeTest : public testing::Test {
 protected:
  void SetUp() override {
    TypeBuilder<Shade>(registry_, "TestShade")
        .Value("Dark", Shade::Dark)
        .Value("Light", Shade::Light);
    TypeBuilder<Point>(registry_, "TestPoint")
        .Field("x", &Point::x)
        .Field("label", &Point::label)
        .Field("values", &Point::values)
        .Field("shade", &Point::shade);
    const EndpointDocumentation docs{"A test endpoint.", {"Plugins", "Plugin test"}};
    RegisterEndpoint(registry_, HttpMethod::Get, "/items/{id}", docs, {PathParameter("id", "Item")},
                     [this](const std::string& id) -> Reply<Point> {
                       ++seen_.calls;
                       seen_.id = id;
                       if (id == "missing") return Reply<Point>::Failure(404, "No such item");
                       if (id == "throw") throw std::runtime_error("boom");
                       Reply<Point> reply(Point{3, "three", {1, 2}, Shade::Light});
                       reply.info.contentType = "application/json";
                       reply.info.headers = {{"X-One", "1"}, {"X-Two", "2"}};
                       reply.info.code = id == "coded" ? 5 : 2;
                       reply.info.flags = 9;
                       return reply;
                     });
    RegisterEndpoint(registry_, HttpMethod::Put, "/items/{id}/", docs,
                     {PathParameter("id", "Item"), BodyParameter("body", "The point")},
                     [this](const std::string& id, const Point& point) {
                       ++seen_.calls;
                       seen_.id = id;
                       seen_.point = point;
                     });
    RegisterEndpoint(registry_, HttpMethod::Post, "/things", docs,
                     {{"flag", ""}, {"count", ""}, {"list", ""}, {"name", ""}, {"object", ""}},
                     [this](bool flag, std::int32_t count, const std::vector<std::int32_t>& list,
                            const std::string& name, const BindingProperty& object) {
                       ++seen_.calls;
                       seen_.flag = flag;
                       seen_.count = count;
                       seen_.list = list;
                       seen_.name = name;
                       seen_.object = object;
                     });
    table_ = std::make_unique<EndpointTable>(registry_);
  }

  const EndpointFunctionRecord* Record(std::string_view name) const {
    for (std::uint32_t i = 0; i < table_->count(); ++i) {
      if (name == table_->records()[i].description.name) return &table_->records()[i];
    }
    return nullptr;
  }

  InvokeRequest Request(std::string_view function, std::uint32_t method, const char* path) const {
    const EndpointFunctionRecord* record = Record(function);
    EXPECT_NE(record, nullptr) << function;
    InvokeRequest request{};
    request.method = method;
    request.path = path;
    request.function = record != nullptr ? &record->description.invoke : nullptr;
    return request;
  }

  // Invokes through the record's entry; the response is released by the test.
  void Invoke(const InvokeRequest& request) {
    Release();
    Record("GetItemsById")->invoke(&response_, &request);
  }
  void Release() {
    if (response_.release != nullptr) response_.release(&response_);
  }
  std::string Error() const {
    return response_.result.error != nullptr ? response_.result.error : "";
  }

  void TearDown() override { Release(); }

  TypeRegistry registry_;
  std::unique_ptr<EndpointTable> table_;
  Seen seen_;
  InvokeResponse response_{};
};

InvokeArgument Text(const char* name, const char* text) {
  InvokeArgument argument{name, {}};
  argument.value.kind = BINDING_VALUE_STRING_BORROWED;
  argument.value.payload.string.text = text;
  argument.value.payload.string.length = static_cast<std::uint32_t>(std::strlen(text));
  return argument;
}

// The boundary records are packed: "+" copies a field before the assertion
// macros bind a reference to it, which could be misaligned.
TEST_F(InvokeTest, BuildsOneLinkedRecordPerFunction) {
  ASSERT_EQ(table_->count(), 3u);
  const EndpointFunctionRecord* put = Record("PutItemsById");
  ASSERT_NE(put, nullptr);
  EXPECT_STREQ(put->path, "/items/{id}");  // trailing "/" dropped
  EXPECT_EQ(+put->method, 7u);
  EXPECT_EQ(+put->description.argumentCount, 2u);
  EXPECT_STREQ(put->description.arguments[1].name, "body");
  EXPECT_EQ(+put->description.arguments[1].type, 17u);
  EXPECT_STREQ(put->description.arguments[1].typeName, "TestPoint");
  EXPECT_EQ(+put->parameters[0].location, 2u);
  EXPECT_EQ(+put->parameters[0].next, &put->parameters[1]);
  EXPECT_EQ(+put->parameters[1].location, 5u);
  EXPECT_EQ(+put->description.tagCount, 2u);
  EXPECT_STREQ(put->description.tags[1], "Plugin test");
  EXPECT_EQ(+Record("GetItemsById")->description.returnType, 17u);
  const EndpointFunctionRecord* records = table_->records();
  EXPECT_EQ(+records[0].description.next, &records[1].description);
  EXPECT_EQ(+records[2].description.next, nullptr);
}

TEST_F(InvokeTest, RefusesRequestsThatDoNotFitTheRoute) {
  const FunctionContextBlock garbage{0, &seen_};
  const struct {
    const char* name;
    std::uint32_t method;
    const char* path;
    const FunctionContextBlock* block;  // null: the record's own
    bool nullBlock;
  } kRows[] = {
      {"wrong method", 7, "/items/a", nullptr, false},
      {"path too short", 2, "/items", nullptr, false},
      {"segment across a slash", 2, "/items/a/b", nullptr, false},
      {"null path", 2, nullptr, nullptr, false},
      {"unknown context", 2, "/items/a", &garbage, false},
      {"no function block", 2, "/items/a", nullptr, true},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    InvokeRequest request = Request("GetItemsById", row.method, row.path);
    if (row.block != nullptr) request.function = row.block;
    if (row.nullBlock) request.function = nullptr;
    Invoke(request);
    EXPECT_EQ(+response_.result.failed, 1);
    EXPECT_EQ(Error(), "Invalid function");
    EXPECT_EQ(+response_.status, 404u);
  }
  EXPECT_EQ(seen_.calls, 0);
}

TEST_F(InvokeTest, SurvivesMissingRecords) {
  const EndpointFunctionRecord* record = Record("GetItemsById");
  record->invoke(nullptr, nullptr);  // nothing to answer into: ignored
  record->invoke(&response_, nullptr);
  EXPECT_EQ(Error(), "Invalid request");
  EXPECT_EQ(+response_.status, 400u);
  // A record left with foreign content is not released through its pointer.
  Release();
  response_.release = reinterpret_cast<InvokeResponseRelease>(0x10);
  const InvokeRequest request = Request("GetItemsById", 2, "/items/a");
  record->invoke(&response_, &request);
  EXPECT_EQ(Error(), "");
  EXPECT_EQ(+response_.release, &ReleaseInvokeResponse);
}

TEST_F(InvokeTest, EncodesTheReplyAndItsInformation) {
  Invoke(Request("GetItemsById", 2, "/items/a%2Fb"));
  ASSERT_EQ(+response_.result.failed, 0) << Error();
  EXPECT_EQ(seen_.id, "a/b");
  BindingProperty value;
  BindingResult failure{};
  ASSERT_TRUE(ToBindingProperty(response_.result.value, "v", value, failure));
  EXPECT_EQ(value["x"].GetSigned(), 3);
  EXPECT_EQ(value["label"].GetString(), "three");
  EXPECT_EQ(value["values"].size(), 2u);
  EXPECT_EQ(value["shade"].GetString(), "Light");  // enums travel by name
  EXPECT_STREQ(response_.contentType, "application/json");
  ASSERT_EQ(+response_.headerCount, 2u);
  EXPECT_STREQ(response_.headers[1].name, "X-Two");
  EXPECT_STREQ(response_.headers[1].value, "2");
  EXPECT_EQ(+response_.code, 2u);
  EXPECT_EQ(+response_.flags, 9);
  EXPECT_EQ(+response_.status, 0u);

  Invoke(Request("GetItemsById", 2, "/items/coded"));
  EXPECT_EQ(+response_.code, 0u);  // only 1 to 3 travel

  Invoke(Request("GetItemsById", 2, "/items/missing"));
  EXPECT_EQ(Error(), "No such item");
  EXPECT_EQ(+response_.status, 404u);
  EXPECT_STREQ(response_.contentType, "");

  Invoke(Request("GetItemsById", 2, "/items/throw"));
  EXPECT_EQ(+response_.result.failed, 1);
  EXPECT_EQ(+response_.status, 500u);
  Release();
  EXPECT_EQ(+response_.release, nullptr);  // released records are zeroed
}

TEST_F(InvokeTest, BindsTextArguments) {
  const struct {
    const char* name;
    std::vector<InvokeArgument> arguments;
    const char* error;  // empty: the handler runs
  } kRows[] = {
      {"numbers by prefix", {Text("count", "0x10")}, ""},
      {"name alone makes a bool true", {Text("flag", "")}, ""},
      {"name alone needs a value for int32",
       {Text("count", "")},
       "Expected value for argument 'count'."},
      {"unknown name", {Text("nope", "1")}, "Unknown argument 'nope' for 'PostThings'."},
      {"unknown dotted name", {Text("nope.1", "1")}, "Unknown argument 'nope.1' for 'PostThings'."},
      {"JSON sniffed for a vector", {Text("list", " [1,2]")}, ""},
      {"JSON not sniffed for a string", {Text("name", "[1,2]")}, ""},
      {"element by index", {Text("list", "[1,2]"), Text("list.1", "7")}, ""},
      {"element by hex index", {Text("list", "[1,2]"), Text("list.0x1", "7")}, ""},
      {"index with characters left over",
       {Text("list", "[1,2]"), Text("list.1z", "7")},
       "Index 1z is in an incorrect format"},
      {"index past the end",
       {Text("list", "[1,2]"), Text("list.2", "7")},
       "Index 2 is out of range"},
      {"field inside an element", {Text("object", "{\"a\":[{}]}"), Text("object.a.0.b", "x")}, ""},
      {"YAML sniffed", {Text("object", "--- {k: v}")}, ""},
      {"broken JSON",
       {Text("list", "[1,")},
       "Couldn't deserialize JSON value for parameter 'list' of 'PostThings': Error: Invalid "
       "value. at offset 3."},
      {"conversion after binding",
       {Text("count", "12abc")},
       "Value 12abc for 'count' of type int32 is in an incorrect format"},
      {"first error stops binding",
       {Text("nope", "1"), Text("count", "")},
       "Unknown argument 'nope' for 'PostThings'."},
  };
  for (const auto& row : kRows) {
    if (std::string_view(row.name).starts_with("YAML") && tests::SkipYamlCases()) continue;
    SCOPED_TRACE(row.name);
    seen_ = Seen();
    InvokeRequest request = Request("PostThings", 6, "/things");
    std::vector<InvokeArgument> arguments = row.arguments;
    // Parameters a row leaves out get a harmless value, so that only its own subject fails.
    const std::pair<std::string_view, const char*> kDefaults[] = {
        {"flag", "false"}, {"count", "0"}, {"list", "[]"}, {"name", "n"}, {"object", "{}"}};
    for (const auto& [parameter, fallback] : kDefaults) {
      bool given = false;
      for (const InvokeArgument& argument : row.arguments) {
        given = given || std::string_view(argument.name).starts_with(parameter);
      }
      if (!given) arguments.push_back(Text(parameter.data(), fallback));
    }
    request.arguments = arguments.data();
    request.argumentCount = static_cast<std::uint32_t>(arguments.size());
    Invoke(request);
    EXPECT_EQ(Error(), row.error);
    EXPECT_EQ(seen_.calls, row.error[0] == '\0' ? 1 : 0);
    EXPECT_EQ(+response_.status, 0u);
  }
}

TEST_F(InvokeTest, NamedTextIsReadToItsNulWhateverItsLength) {
  // Only the first 4 bytes are readable: a length past them must not be used.
  const auto buffer = std::make_unique<char[]>(4);
  std::memcpy(buffer.get(), "abc", 4);
  const struct {
    const char* name;
    InvokeArgument argument;
    std::uint32_t length;
    std::string bound;
  } kRows[] = {
      {"value with length 0 is not a name alone", Text("flag", "false"), 0, "false"},
      {"length shorter than the text", Text("count", "0x10"), 1, "16"},
      {"length past the buffer", Text("name", buffer.get()), 4096, "abc"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    seen_ = Seen();
    std::vector<InvokeArgument> arguments = {row.argument};
    arguments[0].value.payload.string.length = row.length;
    const std::pair<const char*, const char*> kDefaults[] = {
        {"flag", "true"}, {"count", "0"}, {"name", "n"}, {"list", "[]"}, {"object", "{}"}};
    for (const auto& [parameter, fallback] : kDefaults) {
      if (std::string_view(parameter) != row.argument.name) {
        arguments.push_back(Text(parameter, fallback));
      }
    }
    InvokeRequest request = Request("PostThings", 6, "/things");
    request.arguments = arguments.data();
    request.argumentCount = static_cast<std::uint32_t>(arguments.size());
    Invoke(request);
    ASSERT_EQ(Error(), "");
    const std::string_view parameter = row.argument.name;
    EXPECT_EQ(parameter == "flag"    ? std::string(seen_.flag ? "true" : "false")
              : parameter == "count" ? std::to_string(seen_.count)
                                     : seen_.name,
              row.bound);
  }
}

TEST_F(InvokeTest, BoundValuesReachTheHandler) {
  std::vector<InvokeArgument> arguments = {Text("flag", ""),         Text("count", "010"),
                                           Text("list", "[1,2]"),    Text("list.0", "5"),
                                           Text("name", "[1,2]"),    Text("object", "{\"a\":[{}]}"),
                                           Text("object.a.0.b", "x")};
  InvokeRequest request = Request("PostThings", 6, "/things");
  request.arguments = arguments.data();
  request.argumentCount = static_cast<std::uint32_t>(arguments.size());
  Invoke(request);
  ASSERT_EQ(Error(), "");
  EXPECT_TRUE(seen_.flag);
  EXPECT_EQ(seen_.count, 8);
  EXPECT_EQ(seen_.list, (std::vector<std::int32_t>{5, 2}));
  EXPECT_EQ(seen_.name, "[1,2]");
  EXPECT_EQ(seen_.object["a"][0]["b"].GetString(), "x");
}

TEST_F(InvokeTest, BindsPositionalAndTypedArguments) {
  std::vector<InvokeArgument> arguments(6);
  SetBool(arguments[0].value, true);
  SetSigned(arguments[1].value, 42);
  arguments[2] = Text(nullptr, "[9]");  // positional text stays a string: no sniffing
  InvokeRequest request = Request("PostThings", 6, "/things");
  request.arguments = arguments.data();
  request.argumentCount = 3;
  Invoke(request);
  EXPECT_EQ(Error(),
            "Couldn't assign value to 'list' of type vector because the input not a collection.");

  request.argumentCount = 6;
  Invoke(request);
  EXPECT_EQ(Error(), "Unknown argument '5' for 'PostThings'.");

  request.argumentCount = 2;
  request.arguments = nullptr;
  Invoke(request);
  EXPECT_EQ(Error(), "Invalid request: argument count without arguments");
  EXPECT_EQ(+response_.status, 400u);
  for (InvokeArgument& argument : arguments) Destroy(argument.value);
}

TEST_F(InvokeTest, DecodesBodiesByContentType) {
  const std::string json = R"({"x": 4, "label": "four", "shade": "Light"})";
  const std::uint8_t msgpack[] = {0x81, 0xA1, 'x', 0x05, 0xC0};
  const std::string yaml = "x: 6\nvalues: [1, 2, 3]\n";
  const struct {
    const char* name;
    const char* contentType;
    std::string body;
    const char* error;
    std::int32_t x;
  } kRows[] = {
      {"JSON", "application/json; charset=utf-8", json, "", 4},
      {"JSON API, any case", "Application/VND.API+JSON", json, "", 4},
      {"MessagePack", "application/x-msgpack", std::string(msgpack, msgpack + 4), "", 5},
      {"MessagePack with a byte after it", "application/x-msgpack-ext",
       std::string(msgpack, msgpack + 5), "Extra MessgePack data found in body", 0},
      {"YAML", "application/x-yaml", yaml, "", 6},
      {"text/x-yaml is not a body type", "text/x-yaml", yaml, "Unsupported body content type", 0},
      {"no content type", nullptr, json, "Unsupported body content type", 0},
      {"broken JSON", "application/json", "{",
       "Couldn't deserialize JSON value for parameter 'body' of 'PutItemsById': Error: Missing a "
       "name for object member. at offset 1.",
       0},
      {"broken YAML", "application/x-yaml", "[",
       "Couldn't deserialize YAML value for parameter 'body' of 'PutItemsById': YAML parser "
       "error: did not find expected node content. At line: 1 col: 0",
       0},
      {"broken MessagePack keeps its own text", "application/x-msgpack", "\xC1",
       "Invalid MessagePack data at position 1.", 0},
  };
  for (const auto& row : kRows) {
    if (std::string_view(row.name).find("YAML") != std::string_view::npos && tests::SkipYamlCases()) continue;
    SCOPED_TRACE(row.name);
    seen_ = Seen();
    InvokeRequest request = Request("PutItemsById", 7, "/items/q");
    request.contentType = row.contentType;
    request.body = reinterpret_cast<const std::uint8_t*>(row.body.data());
    request.bodyLength = static_cast<std::uint32_t>(row.body.size());
    Invoke(request);
    EXPECT_EQ(Error(), row.error);
    if (row.error[0] != '\0') continue;
    EXPECT_EQ(seen_.id, "q");
    EXPECT_EQ(seen_.point.x, row.x);
  }
  EXPECT_EQ(seen_.point.values, (std::vector<std::int32_t>{}));

  InvokeRequest request = Request("PutItemsById", 7, "/items/q");
  request.bodyLength = 3;  // and no bytes
  Invoke(request);
  EXPECT_EQ(Error(), "Invalid request: body length without body bytes");
  EXPECT_EQ(+response_.status, 400u);

  request.bodyLength = 0;
  Invoke(request);
  EXPECT_EQ(Error(), "A value for 'body' is required.");
}

TEST_F(InvokeTest, ChecksWhereNamedTextCameFrom) {
  std::vector<InvokeArgument> arguments = {Text("id", "x")};
  InvokeRequest request = Request("PutItemsById", 7, "/items/q");
  request.arguments = arguments.data();
  request.argumentCount = 1;
  Invoke(request);
  EXPECT_EQ(Error(), "Argument 'id' for 'PutItemsById' was specified in an invalid location.");
  arguments[0] = Text("body.x", "1");
  Invoke(request);
  EXPECT_EQ(Error(), "Argument 'body.x' for 'PutItemsById' was specified in an invalid location.");
}

TEST_F(InvokeTest, AnEmptySegmentNamesNoFunction) {
  Invoke(Request("GetItemsById", 2, "/items/"));
  EXPECT_EQ(Error(), "Invalid function");
  EXPECT_EQ(+response_.status, 404u);
  EXPECT_EQ(seen_.calls, 0);
}

TEST_F(InvokeTest, DeepAddressesAreRefused) {
  std::string name = "object";
  for (int i = 0; i < kMaxNestingDepth; ++i) name += ".a";
  std::vector<InvokeArgument> arguments = {Text(name.c_str(), "x")};
  InvokeRequest request = Request("PostThings", 6, "/things");
  request.arguments = arguments.data();
  request.argumentCount = 1;
  Invoke(request);
  EXPECT_EQ(Error(), "Argument '" + name + "' is nested too deeply");
}

TEST(InvokeSenderTest, TheSendersHandleReachesAHandlerThatAsksForIt) {
  TypeRegistry registry;
  std::uint32_t seenHandle = 0;
  std::string seenId;
  RegisterEndpoint(registry, HttpMethod::Get, "/senders/{id}", {}, {PathParameter("id", "")},
                   [&](const RequestSender& sender, const std::string& id) {
                     seenHandle = sender.hostHandle;
                     seenId = id;
                   });
  EndpointTable table(registry);
  ASSERT_EQ(table.count(), 1u);
  const EndpointFunctionRecord& record = table.records()[0];
  EXPECT_EQ(+record.description.argumentCount, 1u);  // the sender is no parameter
  InvokeRequest request{};
  request.method = 2;
  request.path = "/senders/s1";
  request.function = &record.description.invoke;
  request.senderHandle = 77;
  InvokeResponse response{};
  record.invoke(&response, &request);
  EXPECT_EQ(+response.result.error, nullptr);
  EXPECT_EQ(seenHandle, 77u);
  EXPECT_EQ(seenId, "s1");
  response.release(&response);
}

}  // namespace
}  // namespace Kelp
