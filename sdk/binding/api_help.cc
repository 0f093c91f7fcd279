#include "sdk/binding/api_help.h"

#include <algorithm>
#include <vector>

#include "sdk/binding/conversion.h"

namespace Kelp {
namespace {

constexpr std::string_view kEnd = "\r\n";
constexpr std::string_view kParagraph = "\r\n\r\n";

TypeRef ElementOf(const TypeRef& type) { return TypeRef{type.elementCode, {}, type.record}; }

std::string RecordName(const TypeRef& type, const char* fallback) {
  return type.record != nullptr ? type.record->name : fallback;
}

void AppendParagraph(std::string& out, std::string_view text) {
  if (text.empty()) return;
  out += EpytextEscape(text);
  out += kParagraph;
}

void AppendTags(std::string& out, const std::vector<std::string>& tags) {
  if (tags.empty()) return;
  out += "@tags: ";
  for (std::size_t i = 0; i < tags.size(); ++i) {
    if (i != 0) out += ',';
    out += tags[i];
  }
  out += kEnd;
}

std::string StructEpytext(const TypeRecord& type) {
  std::string out;
  AppendParagraph(out, type.description);
  for (const FieldRecord& field : type.fields) {
    out += "@ivar " + field.name + ": " + field.description + std::string(kEnd);
    out += "@type " + field.name + ": " + EpytextTypeName(field.type) + std::string(kEnd);
  }
  AppendTags(out, type.tags);
  return out;
}

std::string EnumEpytext(const TypeRecord& type) {
  std::string out;
  AppendParagraph(out, type.description);
  std::vector<const EnumValueRecord*> values;
  for (const auto& [name, value] : type.values) values.push_back(&value);
  // Numeric order; values sharing a number keep their name order.
  std::stable_sort(values.begin(), values.end(),
                   [](const auto* a, const auto* b) { return a->value < b->value; });
  for (const EnumValueRecord* value : values) {
    out += "@cvar " + value->name + ": (" + std::to_string(value->value) + ")";
    if (!value->description.empty()) out += " " + value->description;
    out += kEnd;
  }
  AppendTags(out, type.tags);
  out += "@size: " + std::to_string(type.size) + std::string(kEnd);
  return out;
}

BindingFullFunctionHelp FullFunction(const FunctionRecord& function) {
  BindingFullFunctionHelp help;
  help.name = function.name;
  help.nameSpace = function.nameSpace;
  for (const FunctionArgument& argument : function.arguments) {
    help.arguments.push_back({argument.name, argument.description,
                              FullTypeIdentifier(argument.type), argument.optional});
  }
  help.returns = FullTypeIdentifier(function.returns);
  help.description = function.description;
  help.help = function.help;
  help.threadSafe = function.threadSafe;
  if (function.async) help.async = RecordName(function.returns, "");
  help.tags = function.tags;
  return help;
}

BindingFullTypeHelp FullType(const TypeRecord& type) {
  BindingFullTypeHelp help;
  help.name = type.name;
  help.nameSpace = type.nameSpace;
  help.size = type.size;
  help.description = type.description;
  help.tags = type.tags;
  for (const FieldRecord& field : type.fields) {
    help.fields.push_back({field.name, field.description, field.offset,
                           FullTypeIdentifier(field.type), field.optional != 0});
  }
  for (const auto& [name, value] : type.values) {
    help.values.push_back({value.name, value.description, value.value});
  }
  return help;
}

BindingFullEventHelp FullEvent(const ExposedEvent& event) {
  return {event.name, event.nameSpace, FullTypeIdentifier(event.payload), event.description,
          event.tags};
}

// Appends `help` to the collection `section`; the element stays empty when
// the help record's type is missing from the registry.
template <class Help>
void AppendFull(BindingProperty& section, const Help& help, const TypeRegistry& registry) {
  BindingProperty& element = section.Append();
  ConversionResult result;
  ToProperty(result, help, registry, element);
  if (!result.ok()) element.Reset();
}

}  // namespace

BindingFullTypeIdentifier FullTypeIdentifier(const TypeRef& type) {
  switch (type.code) {
    case BindingTypeCode::Vector:
    case BindingTypeCode::Map:
      return {TypeCodeName(type.code), FullTypeIdentifier(ElementOf(type)).type};
    case BindingTypeCode::Enum:
      return {RecordName(type, "enum"), ""};
    case BindingTypeCode::Struct:
      return {RecordName(type, "struct"), ""};
    default:
      return {TypeCodeName(type.code), ""};
  }
}

std::string EpytextEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '-' && i == 0) {
      out += "E{-}";
    } else if (c == '{') {
      out += "E{lb}";
    } else if (c == '}') {
      out += "E{rb}";
    } else {
      out += c;
    }
  }
  return out;
}

std::string EpytextTypeName(const TypeRef& type) {
  const auto code = static_cast<std::uint32_t>(type.code);
  if (code >= 1 && code <= 13) return TypeCodeName(type.code);
  switch (type.code) {
    case BindingTypeCode::Blob:
      return "bytearray";
    case BindingTypeCode::Callback:
      return "callback";
    case BindingTypeCode::Vector:
      return "list[" + EpytextTypeName(ElementOf(type)) + "]";
    case BindingTypeCode::Map:
      return "dict[" + EpytextTypeName(ElementOf(type)) + "]";
    case BindingTypeCode::Enum:
      return "L{" + RecordName(type, "enum") + "}";
    case BindingTypeCode::Struct:
      return "L{" + RecordName(type, "struct") + "}";
    default:
      return {};
  }
}

std::string FunctionEpytext(const FunctionRecord& function) {
  std::string out;
  AppendParagraph(out, function.description);
  AppendParagraph(out, function.help);
  for (const FunctionArgument& argument : function.arguments) {
    if (!argument.description.empty()) {
      out += "@param " + argument.name + ": ";
      if (argument.optional) out += "(optional) ";
      out += EpytextEscape(argument.description);
      out += kEnd;
    }
    out += "@type " + argument.name + ": " + EpytextTypeName(argument.type) + std::string(kEnd);
  }
  if (function.returns.code != BindingTypeCode::None) {
    out += "@rtype: " + EpytextTypeName(function.returns) + std::string(kEnd);
  }
  AppendTags(out, function.tags);
  if (function.threadSafe) out += "@threadsafe: true\r\n";
  if (function.async) out += "@async: " + EpytextTypeName(function.returns) + std::string(kEnd);
  return out;
}

std::string TypeEpytext(const TypeRecord& type) {
  return type.isEnum != 0 ? EnumEpytext(type) : StructEpytext(type);
}

std::string EventEpytext(const ExposedEvent& event) {
  std::string out = EpytextEscape(event.description);
  out += kParagraph;
  AppendTags(out, event.tags);
  return out;
}

BindingProperty HelpValue(std::int32_t format, const TypeRegistry& registry) {
  BindingProperty help;
  // Adding a field moves its siblings, so all three exist before any is held.
  help["functions"];
  help["types"];
  help["events"];
  BindingProperty& functions = *help.Find("functions");
  BindingProperty& types = *help.Find("types");
  BindingProperty& events = *help.Find("events");
  // Snapshots come in name order already (the registry's maps are ordered
  // byte-wise).
  if (format == static_cast<std::int32_t>(BindingHelpFormat::Full)) {
    functions.MakeCollection();
    types.MakeCollection();
    events.MakeCollection();
    for (const FunctionRecord& f : registry.Functions()) {
      AppendFull(functions, FullFunction(f), registry);
    }
    for (const TypeRecord* t : registry.Types()) AppendFull(types, FullType(*t), registry);
    for (const ExposedEvent& e : registry.Events()) AppendFull(events, FullEvent(e), registry);
  } else if (format == static_cast<std::int32_t>(BindingHelpFormat::Epytext)) {
    functions.MakeStructure();
    types.MakeStructure();
    events.MakeStructure();
    for (const FunctionRecord& f : registry.Functions()) {
      functions[f.name].SetString(FunctionEpytext(f));
    }
    for (const TypeRecord* t : registry.Types()) types[t->name].SetString(TypeEpytext(*t));
    for (const ExposedEvent& e : registry.Events()) events[e.name].SetString(EventEpytext(e));
  }
  return help;
}

}  // namespace Kelp
