#include "host/descriptor_summary.h"

#include "host/http_method.h"

namespace Kelp::Host {
namespace {

std::string Text(const char* text) { return text == nullptr ? "<null>" : text; }

// Walks `count` records of one array, checking each record's link to the
// next. `Link` returns a record's `next`; `Describe` turns it into an entry.
template <typename Record, typename Link, typename Describe>
void WalkArray(const char* what, Record* records, std::uint32_t count, Link link, Describe describe,
               std::vector<std::string>& problems) {
  if (records == nullptr) {
    if (count != 0) {
      problems.push_back(std::string("null ") + what + " array with count " +
                         std::to_string(count));
    }
    return;
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    describe(records[i]);
    const void* expected = i + 1 < count ? &records[i + 1] : nullptr;
    if (link(records[i]) != expected) {
      problems.push_back(std::string(what) + " " + std::to_string(i) +
                         ": next does not point to the following record");
    }
  }
}

}  // namespace

DescriptorSummary SummarizeDescriptor(const PluginApiDescriptor* descriptor) {
  DescriptorSummary summary;
  if (descriptor == nullptr) {
    summary.problems.push_back("no descriptor");
    return summary;
  }
  WalkArray(
      "function", descriptor->functions, descriptor->functionCount,
      [](const EndpointFunctionRecord& record) -> const void* { return record.description.next; },
      [&](const EndpointFunctionRecord& record) {
        summary.functions.push_back(
            {Text(record.description.name),
             record.method == HTTP_METHOD_NONE ? "" : MethodText(record.method, record.methodName),
             record.path == nullptr ? "" : record.path});
      },
      summary.problems);
  WalkArray(
      "type", descriptor->types, descriptor->typeCount,
      [](const ApiTypeRecord& record) -> const void* { return record.next; },
      [&](const ApiTypeRecord& record) { summary.types.push_back(Text(record.name)); },
      summary.problems);
  WalkArray(
      "event", descriptor->events, descriptor->eventCount,
      [](const ApiEventRecord& record) -> const void* { return record.next; },
      [&](const ApiEventRecord& record) { summary.events.push_back(Text(record.name)); },
      summary.problems);
  return summary;
}

namespace {

// "<title>: <count>" and the names after it, comma-separated and wrapped
// into indented lines of at most about 100 characters.
std::string FormatNames(const char* title, const std::vector<std::string>& names) {
  std::string text = std::string(title) + ": " + std::to_string(names.size());
  std::size_t lineLength = 100;  // starts a new line at the first name
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string item = names[i] + (i + 1 < names.size() ? "," : "");
    if (lineLength + 1 + item.size() > 100) {
      text += "\n ";
      lineLength = 1;
    }
    text += " " + item;
    lineLength += 1 + item.size();
  }
  return text + "\n";
}

}  // namespace

std::string FormatDescriptorSummary(const DescriptorSummary& summary) {
  std::string text = "functions: " + std::to_string(summary.functions.size()) + "\n";
  for (const auto& function : summary.functions) {
    text += "  " + function.name;
    if (!function.method.empty() || !function.path.empty()) {
      text += "  (" + function.method + " " + function.path + ")";
    }
    text += "\n";
  }
  text += FormatNames("types", summary.types);
  text += FormatNames("events", summary.events);
  for (const auto& problem : summary.problems) text += "problem: " + problem + "\n";
  return text;
}

}  // namespace Kelp::Host
