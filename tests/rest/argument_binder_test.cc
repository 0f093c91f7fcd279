#include "sdk/rest/argument_binder.h"

#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "sdk/rest/endpoint_registration.h"
#include "tests/yaml_availability.h"

namespace Kelp {
namespace {

// Values with a content type of their own (the dispatch gives none to
// request arguments, so these come only through BindText).
TEST(ArgumentBinderTest, DecodesTextByItsContentType) {
  TypeRegistry registry;
  const Endpoint* endpoint =
      RegisterEndpoint(registry, HttpMethod::Post, "/v", {}, {{"value", ""}, {"text", ""}},
                       [](const BindingProperty&, const std::string&) {});
  ASSERT_NE(endpoint, nullptr);
  const struct {
    const char* parameter;
    std::string text;
    const char* contentType;
    const char* error;
    BindingPropertyKind kind;
  } kRows[] = {
      {"value", "a: 1", "text/x-yaml", "", BindingPropertyKind::Structure},
      {"value", "[1]", "application/json", "", BindingPropertyKind::Collection},
      {"value", "\x91\x01", "application/x-msgpack", "", BindingPropertyKind::Collection},
      {"value", "\x91", "application/x-msgpack", "", BindingPropertyKind::Collection},
      {"value", "\xC1", "application/x-msgpack",
       "Couldn't deserialize MessagePack value for parameter 'value' of 'PostV': ",
       BindingPropertyKind::Empty},
      {"value", "raw", "application/octet-stream", "", BindingPropertyKind::Blob},
      {"value", "- a", "", "", BindingPropertyKind::String},  // no "---": not sniffed
      {"value", "\x92\x01\x02", "", "", BindingPropertyKind::Collection},
      {"text", "[1]", "", "", BindingPropertyKind::String},  // strings are never sniffed
      {"text", "{", "application/json",
       "Couldn't deserialize JSON value for parameter 'text' of 'PostV': Error: Missing a name "
       "for object member. at offset 1.",
       BindingPropertyKind::Empty},
  };
  for (const auto& row : kRows) {
    if (std::string_view(row.contentType) == "text/x-yaml" && tests::SkipYamlCases()) continue;
    SCOPED_TRACE(row.text);
    std::vector<BindingProperty> slots(2);
    ArgumentBinder binder(*endpoint, slots);
    const bool bound =
        binder.BindText(row.parameter, row.text, row.contentType, ParameterLocation::Query);
    EXPECT_EQ(bound, row.error[0] == '\0');
    EXPECT_EQ(binder.error().substr(0, std::string_view(row.error).size()), row.error);
    EXPECT_EQ(slots[std::string_view(row.parameter) == "text"].kind(), row.kind);
  }
}

}  // namespace
}  // namespace Kelp
