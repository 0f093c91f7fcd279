#include "host/server/api_docs.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <limits>

#include "host/http_method.h"

namespace Kelp::Host {
namespace {

constexpr std::uint32_t kCodeVector = 15;
constexpr std::uint32_t kCodeEnum = 16;
constexpr std::uint32_t kCodeStruct = 17;
constexpr std::uint32_t kCodeMap = 19;
constexpr std::uint32_t kLocationBody = 5;

std::string Text(const char* text) { return text == nullptr ? std::string() : text; }

std::vector<std::string> Texts(const char* const* texts, std::uint32_t count) {
  std::vector<std::string> list;
  if (texts == nullptr) return list;
  for (std::uint32_t i = 0; i < count; ++i) list.push_back(Text(texts[i]));
  return list;
}

template <typename Item>
void SortByName(std::vector<Item>& items) {
  std::stable_sort(items.begin(), items.end(),
                   [](const Item& a, const Item& b) { return a.name < b.name; });
}

// Packed records: every field is read by value.
ApiTypeRef TypeOf(std::uint32_t code, std::uint32_t elementCode, const char* typeName) {
  return {code, elementCode, Text(typeName)};
}

ApiFunction ReadFunction(const EndpointFunctionRecord& record) {
  const ApiFunctionRecord& description = record.description;
  ApiFunction function;
  function.name = Text(description.name);
  function.nameSpace = Text(description.nameSpace);
  function.description = Text(description.description);
  function.help = Text(description.help);
  const std::uint32_t method = record.method;
  if (method != HTTP_METHOD_NONE) function.method = MethodText(method, record.methodName);
  function.path = Text(record.path);
  const ApiArgumentRecord* arguments = description.arguments;
  const std::uint32_t argumentCount = description.argumentCount;
  const ParameterLocationRecord* location = record.parameters;
  for (std::uint32_t i = 0; arguments != nullptr && i < argumentCount; ++i) {
    const ApiArgumentRecord& argument = arguments[i];
    ApiArgument copy{Text(argument.name), Text(argument.description),
                     TypeOf(argument.type, argument.elementType, argument.typeName),
                     argument.optional != 0, 0};
    if (location != nullptr) {
      copy.location = location->location;
      location = location->next;
    }
    function.arguments.push_back(std::move(copy));
  }
  function.returns =
      TypeOf(description.returnType, description.returnElementType, description.returnTypeName);
  function.threadSafe = description.threadSafe != 0;
  function.async = Text(description.async);
  function.tags = Texts(description.tags, description.tagCount);
  return function;
}

ApiType ReadType(const ApiTypeRecord& record) {
  ApiType type;
  type.name = Text(record.name);
  type.nameSpace = Text(record.nameSpace);
  type.size = record.size;
  type.description = Text(record.description);
  type.tags = Texts(record.tags, record.tagCount);
  const std::uint32_t count = record.count;
  if (record.fields != nullptr) {
    for (std::uint32_t i = 0; i < count; ++i) {
      const ApiFieldRecord& field = record.fields[i];
      type.fields.push_back({Text(field.name), Text(field.description), field.offset,
                             TypeOf(field.type, field.elementType, field.typeName),
                             field.optional != 0});
    }
  } else {
    type.isEnum = true;
    for (std::uint32_t i = 0; record.values != nullptr && i < count; ++i) {
      const ApiEnumValueRecord& value = record.values[i];
      type.values.push_back({Text(value.name), Text(value.description), value.value});
    }
  }
  return type;
}

// ---- Full and epytext help ----------------------------------------------

std::string ElementText(const ApiTypeRef& type) {
  if (type.elementCode == kCodeEnum || type.elementCode == kCodeStruct) {
    return type.typeName.empty() ? TypeCodeName(type.elementCode) : type.typeName;
  }
  return TypeCodeName(type.elementCode);
}

HostValue FullIdentifier(const ApiTypeRef& type) {
  if (type.code == kCodeVector || type.code == kCodeMap) {
    return MakeObject({{"type", TypeCodeName(type.code)}, {"elementType", ElementText(type)}});
  }
  if (type.code == kCodeEnum || type.code == kCodeStruct) {
    return MakeObject({{"type", type.typeName.empty() ? TypeCodeName(type.code) : type.typeName},
                       {"elementType", ""}});
  }
  return MakeObject({{"type", TypeCodeName(type.code)}, {"elementType", ""}});
}

HostValue TextArray(const std::vector<std::string>& texts) {
  HostArray array;
  for (const std::string& text : texts) array.emplace_back(text);
  return HostValue(std::move(array));
}

std::string EpytextEscape(const std::string& text) {
  std::string escaped;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '-' && i == 0) {
      escaped += "E{-}";
    } else if (c == '{') {
      escaped += "E{lb}";
    } else if (c == '}') {
      escaped += "E{rb}";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string EpytextTypeName(std::uint32_t code, std::uint32_t elementCode,
                            const std::string& typeName) {
  if (code >= 1 && code <= 13) return TypeCodeName(code);
  switch (code) {
    case 14:
      return "bytearray";
    case 18:
      return "callback";
    case kCodeVector:
      return "list[" + EpytextTypeName(elementCode, 0, typeName) + "]";
    case kCodeMap:
      return "dict[" + EpytextTypeName(elementCode, 0, typeName) + "]";
    case kCodeEnum:
    case kCodeStruct:
      return "L{" + typeName + "}";
    default:
      return "";
  }
}

std::string EpytextTypeName(const ApiTypeRef& type) {
  return EpytextTypeName(type.code, type.elementCode, type.typeName);
}

std::string Paragraph(const std::string& text) {
  return text.empty() ? "" : EpytextEscape(text) + "\r\n\r\n";
}

std::string TagsLine(const std::vector<std::string>& tags) {
  if (tags.empty()) return "";
  std::string line = "@tags: ";
  for (std::size_t i = 0; i < tags.size(); ++i) line += (i == 0 ? "" : ",") + tags[i];
  return line + "\r\n";
}

std::string FunctionEpytext(const ApiFunction& function) {
  std::string text = Paragraph(function.description) + Paragraph(function.help);
  for (const ApiArgument& argument : function.arguments) {
    if (!argument.description.empty()) {
      text += "@param " + argument.name + ": " + (argument.optional ? "(optional) " : "") +
              EpytextEscape(argument.description) + "\r\n";
    }
    text += "@type " + argument.name + ": " + EpytextTypeName(argument.type) + "\r\n";
  }
  if (function.returns.code != 0) text += "@rtype: " + EpytextTypeName(function.returns) + "\r\n";
  text += TagsLine(function.tags);
  if (function.threadSafe) text += "@threadsafe: true\r\n";
  if (!function.async.empty()) text += "@async: " + EpytextTypeName(function.returns) + "\r\n";
  return text;
}

std::string TypeEpytext(const ApiType& type) {
  std::string text = Paragraph(type.description);
  if (!type.isEnum) {
    for (const ApiField& field : type.fields) {
      text += "@ivar " + field.name + ": " + field.description + "\r\n";
      text += "@type " + field.name + ": " + EpytextTypeName(field.type) + "\r\n";
    }
    return text + TagsLine(type.tags);
  }
  std::vector<ApiEnumValue> values = type.values;
  std::stable_sort(values.begin(), values.end(),
                   [](const ApiEnumValue& a, const ApiEnumValue& b) { return a.value < b.value; });
  for (const ApiEnumValue& value : values) {
    text += "@cvar " + value.name + ": (" + std::to_string(value.value) + ")";
    if (!value.description.empty()) text += " " + value.description;
    text += "\r\n";
  }
  return text + TagsLine(type.tags) + "@size: " + std::to_string(type.size) + "\r\n";
}

// ---- OpenAPI ------------------------------------------------------------

HostValue SchemaOfCode(std::uint32_t code, const std::string& typeName);

HostValue Reference(const std::string& typeName) {
  return MakeObject({{"$ref", "#/components/schemas/" + typeName}});
}

HostValue IntegerSchema(const char* format, std::int64_t minimum, std::uint64_t maximum) {
  HostValue schema = MakeObject({{"type", "integer"}});
  if (format != nullptr) schema.Set("format", format);
  schema.Set("minimum", minimum);
  schema.Set("maximum", maximum);
  return schema;
}

HostValue SchemaOfCode(std::uint32_t code, const std::string& typeName) {
  switch (code) {
    case 1:
      return MakeObject({{"type", "boolean"}});
    case 2:
      return IntegerSchema(nullptr, -128, 127);
    case 3:
      return IntegerSchema(nullptr, 0, 255);
    case 4:
      return IntegerSchema(nullptr, -32768, 32767);
    case 5:
      return IntegerSchema(nullptr, 0, 65535);
    case 6:
      return IntegerSchema("int32", std::numeric_limits<std::int32_t>::min(),
                           std::numeric_limits<std::int32_t>::max());
    case 7:
      return IntegerSchema("int64", 0, std::numeric_limits<std::uint32_t>::max());
    case 8:
      return MakeObject({{"type", "integer"}, {"format", "int64"}});
    case 9:
      return MakeObject({{"type", "integer"}, {"minimum", 0}});
    case 10:
      return MakeObject({{"type", "number"}, {"format", "float"}});
    case 11:
      return MakeObject({{"type", "number"}, {"format", "double"}});
    case 12:
      return MakeObject({{"type", "string"}});
    case 14:
      return MakeObject({{"type", "string"}, {"format", "byte"}});
    case 18:
      return MakeObject({{"type", "integer"}, {"format", "int64"}});
    case kCodeEnum:
    case kCodeStruct:
      if (!typeName.empty()) return Reference(typeName);
      return code == kCodeEnum ? MakeObject({{"type", "string"}})
                               : MakeObject({{"type", "object"}});
    default:
      // "object" (13) holds any value; unknown codes say nothing more.
      return HostValue(HostObject());
  }
}

HostValue SchemaOf(const ApiTypeRef& type) {
  if (type.code == kCodeVector) {
    return MakeObject(
        {{"type", "array"}, {"items", SchemaOfCode(type.elementCode, type.typeName)}});
  }
  if (type.code == kCodeMap) {
    return MakeObject({{"type", "object"},
                       {"additionalProperties", SchemaOfCode(type.elementCode, type.typeName)}});
  }
  return SchemaOfCode(type.code, type.typeName);
}

HostValue TypeSchema(const ApiType& type) {
  HostValue schema;
  if (type.isEnum) {
    HostArray names;
    for (const ApiEnumValue& value : type.values) names.emplace_back(value.name);
    schema = MakeObject({{"type", "string"}, {"enum", HostValue(std::move(names))}});
  } else {
    HostObject properties;
    HostArray required;
    for (const ApiField& field : type.fields) {
      HostValue property = SchemaOf(field.type);
      if (!field.description.empty() && property.Find("$ref") == nullptr) {
        property.Set("description", field.description);
      }
      properties.emplace_back(field.name, std::move(property));
      if (!field.optional) required.emplace_back(field.name);
    }
    schema = MakeObject({{"type", "object"}, {"properties", HostValue(std::move(properties))}});
    if (!required.empty()) schema.Set("required", HostValue(std::move(required)));
  }
  if (!type.description.empty()) schema.Set("description", type.description);
  return schema;
}

// "{+rest}" and "{#rest}" take several segments; OpenAPI knows one form.
std::string OpenApiPath(const std::string& path) {
  std::string converted;
  for (std::size_t i = 0; i < path.size(); ++i) {
    converted += path[i];
    if (path[i] == '{' && i + 1 < path.size() && (path[i + 1] == '+' || path[i + 1] == '#')) ++i;
  }
  return converted.empty() || converted[0] != '/' ? "/" + converted : converted;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The placeholder names of a path template, in order.
std::vector<std::string> Placeholders(const std::string& path) {
  std::vector<std::string> names;
  std::size_t open = path.find('{');
  while (open != std::string::npos) {
    const std::size_t close = path.find('}', open);
    if (close == std::string::npos) break;
    std::string name = path.substr(open + 1, close - open - 1);
    if (!name.empty() && (name[0] == '+' || name[0] == '#')) name.erase(0, 1);
    names.push_back(std::move(name));
    open = path.find('{', close);
  }
  return names;
}

HostValue Operation(const ApiFunction& function) {
  std::vector<std::string> placeholders = Placeholders(function.path);
  HostValue operation = MakeObject({{"operationId", function.name}});
  if (!function.description.empty()) operation.Set("summary", function.description);
  if (!function.help.empty()) operation.Set("description", function.help);
  if (!function.tags.empty()) operation.Set("tags", TextArray(function.tags));
  HostArray parameters;
  for (const ApiArgument& argument : function.arguments) {
    HostValue schema = SchemaOf(argument.type);
    if (argument.location == kLocationBody) {
      operation.Set(
          "requestBody",
          MakeObject(
              {{"required", !argument.optional},
               {"content", MakeObject({{"application/json", MakeObject({{"schema", schema}})}})}}));
      continue;
    }
    const auto placeholder = std::find(placeholders.begin(), placeholders.end(), argument.name);
    const bool inPath = placeholder != placeholders.end();
    if (inPath) placeholders.erase(placeholder);
    HostValue parameter = MakeObject({{"name", argument.name},
                                      {"in", inPath ? "path" : "query"},
                                      {"required", inPath || !argument.optional},
                                      {"schema", schema}});
    if (!argument.description.empty()) parameter.Set("description", argument.description);
    parameters.push_back(std::move(parameter));
  }
  // A placeholder without a parameter still takes a segment.
  for (const std::string& name : placeholders) {
    parameters.push_back(MakeObject({{"name", name},
                                     {"in", "path"},
                                     {"required", true},
                                     {"schema", MakeObject({{"type", "string"}})}}));
  }
  if (!parameters.empty()) operation.Set("parameters", HostValue(std::move(parameters)));
  HostValue success = MakeObject({{"description", "Success"}});
  if (function.returns.code != 0) {
    success.Set(
        "content",
        MakeObject({{"application/json", MakeObject({{"schema", SchemaOf(function.returns)}})}}));
  }
  const HostValue failure = MakeObject(
      {{"description", "The plugin's error, with its status"},
       {"content", MakeObject({{"application/json",
                                MakeObject({{"schema", Reference("PluginHostError")}})}})}});
  operation.Set("responses", MakeObject({{"200", success}, {"default", failure}}));
  return operation;
}

}  // namespace

const ApiType* ApiModel::FindType(const std::string& name) const {
  for (const ApiType& type : types) {
    if (type.name == name) return &type;
  }
  return nullptr;
}

std::string TypeCodeName(std::uint32_t code) {
  static constexpr const char* kNames[] = {"",       "bool",   "int8",   "uint8",    "int16",
                                           "uint16", "int32",  "uint32", "int64",    "uint64",
                                           "float",  "double", "string", "object",   "blob",
                                           "vector", "enum",   "struct", "callback", "map"};
  return code < std::size(kNames) ? kNames[code] : "";
}

ApiModel ReadApiModel(const PluginApiDescriptor* descriptor, std::string pluginName) {
  ApiModel model;
  model.pluginName = std::move(pluginName);
  if (descriptor == nullptr) return model;
  for (std::uint32_t i = 0; descriptor->functions != nullptr && i < descriptor->functionCount;
       ++i) {
    model.functions.push_back(ReadFunction(descriptor->functions[i]));
  }
  for (std::uint32_t i = 0; descriptor->types != nullptr && i < descriptor->typeCount; ++i) {
    model.types.push_back(ReadType(descriptor->types[i]));
  }
  for (std::uint32_t i = 0; descriptor->events != nullptr && i < descriptor->eventCount; ++i) {
    const ApiEventRecord& event = descriptor->events[i];
    model.events.push_back({Text(event.name), Text(event.nameSpace), Text(event.typeName),
                            Text(event.description), Texts(event.tags, event.tagCount)});
  }
  SortByName(model.functions);
  SortByName(model.types);
  SortByName(model.events);
  return model;
}

HostValue FullHelp(const ApiModel& model) {
  HostArray functions;
  for (const ApiFunction& function : model.functions) {
    HostArray arguments;
    for (const ApiArgument& argument : function.arguments) {
      arguments.push_back(MakeObject({{"name", argument.name},
                                      {"description", argument.description},
                                      {"type", FullIdentifier(argument.type)},
                                      {"optional", argument.optional}}));
    }
    functions.push_back(MakeObject({{"name", function.name},
                                    {"nameSpace", function.nameSpace},
                                    {"arguments", HostValue(std::move(arguments))},
                                    {"returns", FullIdentifier(function.returns)},
                                    {"description", function.description},
                                    {"help", function.help},
                                    {"threadSafe", function.threadSafe},
                                    {"async", function.async},
                                    {"tags", TextArray(function.tags)}}));
  }
  HostArray types;
  for (const ApiType& type : model.types) {
    HostArray fields;
    for (const ApiField& field : type.fields) {
      fields.push_back(MakeObject({{"name", field.name},
                                   {"description", field.description},
                                   {"offset", field.offset},
                                   {"type", FullIdentifier(field.type)},
                                   {"optional", field.optional}}));
    }
    HostArray values;
    for (const ApiEnumValue& value : type.values) {
      values.push_back(MakeObject(
          {{"name", value.name}, {"description", value.description}, {"value", value.value}}));
    }
    types.push_back(MakeObject({{"name", type.name},
                                {"nameSpace", type.nameSpace},
                                {"size", type.size},
                                {"description", type.description},
                                {"tags", TextArray(type.tags)},
                                {"fields", HostValue(std::move(fields))},
                                {"values", HostValue(std::move(values))}}));
  }
  HostArray events;
  for (const ApiEvent& event : model.events) {
    events.push_back(
        MakeObject({{"name", event.name},
                    {"nameSpace", event.nameSpace},
                    {"type", MakeObject({{"type", event.typeName}, {"elementType", ""}})},
                    {"description", event.description},
                    {"tags", TextArray(event.tags)}}));
  }
  return MakeObject({{"functions", HostValue(std::move(functions))},
                     {"types", HostValue(std::move(types))},
                     {"events", HostValue(std::move(events))}});
}

HostValue EpytextHelp(const ApiModel& model) {
  HostValue functions(HostObject{});
  for (const ApiFunction& function : model.functions) {
    functions.Set(function.name, FunctionEpytext(function));
  }
  HostValue types(HostObject{});
  for (const ApiType& type : model.types) types.Set(type.name, TypeEpytext(type));
  HostValue events(HostObject{});
  for (const ApiEvent& event : model.events) {
    events.Set(event.name, EpytextEscape(event.description) + "\r\n\r\n" + TagsLine(event.tags));
  }
  return MakeObject({{"functions", functions}, {"types", types}, {"events", events}});
}

HostValue OpenApiDocument(const ApiModel& model, const std::string& version) {
  HostValue paths(HostObject{});
  for (const ApiFunction& function : model.functions) {
    if (function.path.empty() || function.method.empty()) continue;
    const std::string method = Lower(function.method);
    static constexpr const char* kMethods[] = {"get",  "put",   "post",   "delete",
                                               "head", "patch", "options"};
    if (std::find(std::begin(kMethods), std::end(kMethods), method) == std::end(kMethods)) continue;
    const std::string path = OpenApiPath(function.path);
    HostValue item = paths.Find(path) != nullptr ? *paths.Find(path) : HostValue(HostObject{});
    // Two functions on one method and path: the first one is reached.
    if (item.Find(method) == nullptr) item.Set(method, Operation(function));
    paths.Set(path, std::move(item));
  }
  HostValue schemas(HostObject{});
  for (const ApiType& type : model.types) schemas.Set(type.name, TypeSchema(type));
  schemas.Set(
      "PluginHostError",
      MakeObject({{"type", "object"},
                  {"properties", MakeObject({{"message", MakeObject({{"type", "string"}})},
                                             {"status", MakeObject({{"type", "integer"}})}})},
                  {"required", HostValue(HostArray{HostValue("message")})}}));
  return MakeObject(
      {{"openapi", "3.0.3"},
       {"info", MakeObject({{"title", model.pluginName.empty() ? "plugin" : model.pluginName},
                            {"version", version}})},
       {"servers", HostValue(HostArray{MakeObject({{"url", "/"}})})},
       {"paths", paths},
       {"components", MakeObject({{"schemas", schemas}})}});
}

}  // namespace Kelp::Host
