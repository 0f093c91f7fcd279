// Documents generated from a plugin's API descriptor: the API help in its
// two formats (the "Full" tree and epytext texts) and an OpenAPI 3 document
// of the endpoint functions, with a schema for every registered type.
#ifndef KELP_HOST_SERVER_API_DOCS_H_
#define KELP_HOST_SERVER_API_DOCS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_value.h"
#include "sdk/plugin/abi.h"

namespace Kelp::Host {

// A type as the descriptor writes it: a binding type code (1 "bool" to 19
// "map"), the element's code for a vector or map, and the registered name
// of the record or enumeration involved.
struct ApiTypeRef {
  std::uint32_t code = 0;
  std::uint32_t elementCode = 0;
  std::string typeName;
};

struct ApiArgument {
  std::string name;
  std::string description;
  ApiTypeRef type;
  bool optional = false;
  std::uint32_t location = 0;  // 0 any, 1 query, 2 path, 5 body
};

struct ApiFunction {
  std::string name;
  std::string nameSpace;
  std::string description;
  std::string help;
  std::string method;  // "GET", ...; empty when the function takes any
  std::string path;    // template; empty for a function reached by name
  std::vector<ApiArgument> arguments;
  ApiTypeRef returns;
  bool threadSafe = false;
  std::string async;
  std::vector<std::string> tags;
};

struct ApiField {
  std::string name;
  std::string description;
  std::uint32_t offset = 0;
  ApiTypeRef type;
  bool optional = false;
};

struct ApiEnumValue {
  std::string name;
  std::string description;
  std::int32_t value = 0;
};

struct ApiType {
  std::string name;
  std::string nameSpace;
  std::uint32_t size = 0;
  std::string description;
  std::vector<std::string> tags;
  bool isEnum = false;  // values instead of fields
  std::vector<ApiField> fields;
  std::vector<ApiEnumValue> values;
};

struct ApiEvent {
  std::string name;
  std::string nameSpace;
  std::string typeName;
  std::string description;
  std::vector<std::string> tags;
};

// The descriptor copied into plain values, every section sorted by name.
// Null texts read as empty; a null array is read as empty whatever its
// count claims.
struct ApiModel {
  std::string pluginName;
  std::vector<ApiFunction> functions;
  std::vector<ApiType> types;
  std::vector<ApiEvent> events;

  const ApiType* FindType(const std::string& name) const;
};

ApiModel ReadApiModel(const PluginApiDescriptor* descriptor, std::string pluginName);

// The code's short name ("bool" ... "map"); empty outside 1 to 19.
std::string TypeCodeName(std::uint32_t code);

// {"functions": [...], "types": [...], "events": [...]} in the "Full"
// format: one record per item, with full type identifiers
// {"type", "elementType"}.
HostValue FullHelp(const ApiModel& model);
// The same three sections as objects mapping each item's name to its
// epytext text (lines end with "\r\n").
HostValue EpytextHelp(const ApiModel& model);
// An OpenAPI 3.0 document: one path per endpoint template, one operation
// per method, path and query parameters with their types, the body
// parameter as the request body, and components/schemas for every type.
HostValue OpenApiDocument(const ApiModel& model, const std::string& version);

}  // namespace Kelp::Host

#endif  // KELP_HOST_SERVER_API_DOCS_H_
