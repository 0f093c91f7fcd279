#include "sdk/binding/builtin_types.h"

#include "sdk/binding/type_builder.h"

namespace Kelp {
namespace {

constexpr std::string_view kBuiltin = "$builtin";

template <class T>
TypeBuilder<T> Builtin(TypeRegistry& registry, std::string_view name, std::string_view description,
                       std::string_view secondTag = {}) {
  TypeBuilder<T> builder(registry, name);
  builder.Description(description).Tag(kBuiltin).Tag(secondTag);
  return builder;
}

}  // namespace

void RegisterBuiltinTypes(TypeRegistry& registry) {
  Builtin<BindingHelpFormat>(registry, "BindingHelpFormat",
                             "Help format for binding functions and types.", "help")
      .Value("Full", BindingHelpFormat::Full, "Native help format")
      .Value("Epytext", BindingHelpFormat::Epytext, "Python epytext format");

  using Id = BindingFullTypeIdentifier;
  Builtin<Id>(registry, "BindingFullTypeIdentifier", "Describes the type of a value.", "help")
      .Field("type", &Id::type)
      .Field("elementType", &Id::elementType);

  using Argument = BindingFullArgumentHelp;
  Builtin<Argument>(registry, "BindingFullArgumentHelp", "Describes a function parameter.", "help")
      .Field("name", &Argument::name)
      .Field("description", &Argument::description)
      .Field("type", &Argument::type)
      .Field("optional", &Argument::optional);

  using Function = BindingFullFunctionHelp;
  Builtin<Function>(registry, "BindingFullFunctionHelp", "Describes a function.", "help")
      .Field("name", &Function::name)
      .Field("nameSpace", &Function::nameSpace)
      .Field("arguments", &Function::arguments)
      .Field("returns", &Function::returns)
      .Field("description", &Function::description)
      .Field("help", &Function::help)
      .Field("threadSafe", &Function::threadSafe)
      .Field("async", &Function::async)
      .Field("tags", &Function::tags);

  using EnumValue = BindingFullEnumValueHelp;
  Builtin<EnumValue>(registry, "BindingFullEnumValueHelp", "Describes an enumerator.", "help")
      .Field("name", &EnumValue::name)
      .Field("description", &EnumValue::description)
      .Field("value", &EnumValue::value);

  using FieldHelp = BindingFullFieldHelp;
  Builtin<FieldHelp>(registry, "BindingFullFieldHelp", "Describes a member of a struct.", "help")
      .Field("name", &FieldHelp::name)
      .Field("description", &FieldHelp::description)
      .Field("offset", &FieldHelp::offset)
      .Field("type", &FieldHelp::type)
      .Field("optional", &FieldHelp::optional);

  using Type = BindingFullTypeHelp;
  Builtin<Type>(registry, "BindingFullTypeHelp", "Describes a struct or enum type.", "help")
      .Field("name", &Type::name)
      .Field("nameSpace", &Type::nameSpace)
      .Field("size", &Type::size)
      .Field("description", &Type::description)
      .Field("tags", &Type::tags)
      .Field("fields", &Type::fields)
      .Field("values", &Type::values);

  using Event = BindingFullEventHelp;
  Builtin<Event>(registry, "BindingFullEventHelp", "Describes an event.", "help")
      .Field("name", &Event::name)
      .Field("nameSpace", &Event::nameSpace)
      .Field("type", &Event::type)
      .Field("description", &Event::description)
      .Field("tags", &Event::tags);

  using Api = BindingFullApiHelp;
  Builtin<Api>(registry, "BindingFullApiHelp", "Describes the exposed native API.", "help")
      .Field("functions", &Api::functions)
      .Field("types", &Api::types)
      .Field("events", &Api::events);

  using State = BindingAsyncState;
  Builtin<State>(registry, "BindingAsyncState", "Possible states of an asynchronous operation.",
                 "async")
      .Value("None", State::None, "Invalid state")
      .Value("Running", State::Running, "The operation is in flight")
      .Value("Cancelling", State::Cancelling, "A request to cancel the operation has been made")
      .Value("Cancelled", State::Cancelled, "The operation was cancelled")
      .Value("Succeeded", State::Succeeded, "The operation completed successfully")
      .Value("Failed", State::Failed, "The operation encountered an error");

  Builtin<BindingGenericEvent>(registry, "BindingGenericEvent",
                               "Represents generic data for an event.")
      .Field("data", &BindingGenericEvent::data, "Event data");

  Builtin<BindingCallbackEvent>(registry, "BindingCallbackEvent",
                                "Represents the parameters of a call to a provided callback.")
      .Field("id", &BindingCallbackEvent::id, "ID of the callback being invoked")
      .Field("parameters", &BindingCallbackEvent::parameters, "Callback parameters");

  using GenericAsync = BindingGenericAsyncEvent;
  Builtin<GenericAsync>(registry, "BindingGenericAsyncEvent",
                        "Represents generic data for an asynchronous event.", "async")
      .Field("asyncToken", &GenericAsync::asyncToken, "Asynchronous operation token")
      .Field("data", &GenericAsync::data, "Event data");

  using Failure = BindingAsyncFailureEvent;
  Builtin<Failure>(registry, "BindingAsyncFailureEvent",
                   "Represents a failed asynchronous operation.", "async")
      .Field("asyncToken", &Failure::asyncToken, "Asynchronous operation token")
      .Field("error", &Failure::error, "Error message");

  using Cancel = BindingAsyncCancelEvent;
  Builtin<Cancel>(registry, "BindingAsyncCancelEvent",
                  "Represents a cancelled asynchronous operation.", "async")
      .Field("asyncToken", &Cancel::asyncToken, "Asynchronous operation token");

  RegisterEvent<BindingCallbackEvent>(registry, "OnCallback", "Fired when a callback is invoked.",
                                      {kBuiltin});
}

}  // namespace Kelp
