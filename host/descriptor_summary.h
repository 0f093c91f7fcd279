// A readable summary of a plugin's API descriptor: its endpoint functions,
// types and events, read by walking the arrays by their counts.
#ifndef KELP_HOST_DESCRIPTOR_SUMMARY_H_
#define KELP_HOST_DESCRIPTOR_SUMMARY_H_

#include <string>
#include <vector>

#include "sdk/plugin/abi.h"

namespace Kelp::Host {

struct DescriptorSummary {
  struct Function {
    std::string name;
    std::string method;  // "GET", ...; empty for method 0
    std::string path;
  };
  std::vector<Function> functions;
  std::vector<std::string> types;
  std::vector<std::string> events;
  // Breaches of the descriptor's layout: a null array with a non-zero count,
  // a record whose `next` is not the following record of its array (or not
  // null for the last one).
  std::vector<std::string> problems;
};

// Null texts read as "<null>"; a null descriptor gives an empty summary
// with one problem.
DescriptorSummary SummarizeDescriptor(const PluginApiDescriptor* descriptor);

// Several lines: each function with its method and path, the type and event
// names as wrapped lists, then the problems.
std::string FormatDescriptorSummary(const DescriptorSummary& summary);

}  // namespace Kelp::Host

#endif  // KELP_HOST_DESCRIPTOR_SUMMARY_H_
