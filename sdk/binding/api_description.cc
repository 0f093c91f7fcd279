#include "sdk/binding/api_description.h"

#include <cstring>

namespace Kelp {
namespace {

// The three type words of a record: code, element code and the registered
// name, which only vectors, enums, structs and maps of records carry.
struct TypeWords {
  std::uint32_t code;
  std::uint32_t elementCode;
  std::string_view name;
};

TypeWords WordsOf(const TypeRef& type) {
  TypeWords words{BoundaryTypeCode(type.code), BoundaryTypeCode(type.elementCode), {}};
  switch (type.code) {
    case BindingTypeCode::Vector:
    case BindingTypeCode::Enum:
    case BindingTypeCode::Struct:
    case BindingTypeCode::Map:
      if (type.record != nullptr) words.name = type.record->name;
      break;
    default:
      break;
  }
  return words;
}

const TypeRef& Reported(const TypeRef& type, const TypeRef& describedType) {
  return describedType.code != BindingTypeCode::None ? describedType : type;
}

// Points each record's `next` at the following one; the last stays null.
template <class Record>
Record* Link(std::vector<Record>& records) {
  for (std::size_t i = 0; i + 1 < records.size(); ++i) records[i].next = &records[i + 1];
  return records.empty() ? nullptr : records.data();
}

template <class Record>
Record Zeroed() {
  Record record;
  std::memset(&record, 0, sizeof record);
  return record;
}

}  // namespace

const char* ApiRecordStorage::Text(std::string_view text) {
  if (text.empty()) return "";
  return texts_.emplace_back(text).c_str();
}

const char* const* ApiRecordStorage::TextList(const std::vector<std::string>& texts) {
  if (texts.empty()) return nullptr;
  std::vector<const char*>& list = textLists_.emplace_back();
  list.reserve(texts.size());
  for (const std::string& text : texts) list.push_back(Text(text));
  return list.data();
}

void ApiRecordStorage::FillFunction(ApiFunctionRecord& record, const FunctionRecord& function) {
  std::vector<ApiArgumentRecord>& arguments = arguments_.emplace_back();
  arguments.reserve(function.arguments.size());
  for (const FunctionArgument& argument : function.arguments) {
    auto& out = arguments.emplace_back(Zeroed<ApiArgumentRecord>());
    const TypeWords words = WordsOf(Reported(argument.type, argument.describedType));
    out.name = Text(argument.name);
    out.description = Text(argument.description);
    out.type = words.code;
    out.elementType = words.elementCode;
    out.typeName = Text(words.name);
    out.optional = argument.optional ? 1 : 0;
  }
  const TypeWords returns = WordsOf(function.returns);
  record.name = Text(function.name);
  record.nameSpace = Text(function.nameSpace);
  record.arguments = Link(arguments);
  record.argumentCount = static_cast<std::uint32_t>(arguments.size());
  record.returnType = returns.code;
  record.returnElementType = returns.elementCode;
  record.returnTypeName = Text(returns.name);
  record.description = Text(function.description);
  record.help = Text(function.help);
  record.threadSafe = function.threadSafe ? 1 : 0;
  record.async = function.async && function.returns.record != nullptr
                     ? Text(function.returns.record->name)
                     : "";
  record.tags = TextList(function.tags);
  record.tagCount = static_cast<std::uint32_t>(function.tags.size());
}

ApiDescriptionTables BuildApiDescription(const TypeRegistry& registry) {
  ApiDescriptionTables tables;
  ApiRecordStorage& storage = tables.storage_;

  const std::vector<FunctionRecord> functions = registry.Functions();
  tables.functions_.reserve(functions.size());
  for (const FunctionRecord& function : functions) {
    storage.FillFunction(tables.functions_.emplace_back(Zeroed<ApiFunctionRecord>()), function);
  }

  const std::vector<const TypeRecord*> types = registry.Types();
  tables.types_.reserve(types.size());
  for (const TypeRecord* type : types) {
    auto& out = tables.types_.emplace_back(Zeroed<ApiTypeRecord>());
    out.name = storage.Text(type->name);
    out.nameSpace = storage.Text(type->nameSpace);
    out.size = type->size;
    out.description = storage.Text(type->description);
    out.tags = storage.TextList(type->tags);
    out.tagCount = static_cast<std::uint32_t>(type->tags.size());
    if (!type->fields.empty()) {
      auto& fields = tables.fields_.emplace_back();
      fields.reserve(type->fields.size());
      for (const FieldRecord& field : type->fields) {
        auto& f = fields.emplace_back(Zeroed<ApiFieldRecord>());
        const TypeWords words = WordsOf(Reported(field.type, field.describedType));
        f.name = storage.Text(field.name);
        f.description = storage.Text(field.description);
        f.offset = field.offset;
        f.type = words.code;
        f.elementType = words.elementCode;
        f.typeName = storage.Text(words.name);
        f.optional = field.optional;
      }
      out.fields = Link(fields);
      out.count = static_cast<std::uint32_t>(fields.size());
    } else {
      auto& values = tables.values_.emplace_back();
      values.reserve(type->values.size());
      for (const auto& [name, value] : type->values) {
        auto& v = values.emplace_back(Zeroed<ApiEnumValueRecord>());
        v.name = storage.Text(value.name);
        v.description = storage.Text(value.description);
        v.value = value.value;
      }
      out.values = Link(values);
      out.count = static_cast<std::uint32_t>(values.size());
    }
  }

  const std::vector<ExposedEvent> events = registry.Events();
  tables.events_.reserve(events.size());
  for (const ExposedEvent& event : events) {
    auto& out = tables.events_.emplace_back(Zeroed<ApiEventRecord>());
    out.name = storage.Text(event.name);
    out.nameSpace = storage.Text(event.nameSpace);
    out.typeName = storage.Text(event.payload.record != nullptr ? event.payload.record->name : "");
    out.description = storage.Text(event.description);
    out.tags = storage.TextList(event.tags);
    out.tagCount = static_cast<std::uint32_t>(event.tags.size());
  }

  ApiDescription& header = tables.header_;
  header.functions = Link(tables.functions_);
  header.functionCount = static_cast<std::uint32_t>(tables.functions_.size());
  header.types = Link(tables.types_);
  header.typeCount = static_cast<std::uint32_t>(tables.types_.size());
  header.events = Link(tables.events_);
  header.eventCount = static_cast<std::uint32_t>(tables.events_.size());
  return tables;
}

}  // namespace Kelp
