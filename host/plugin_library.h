// A plugin library opened the way the plugin host opens it: dlopen with
// RTLD_NOW | RTLD_LOCAL, then the one entry point looked up by name.
#ifndef KELP_HOST_PLUGIN_LIBRARY_H_
#define KELP_HOST_PLUGIN_LIBRARY_H_

#include <string>

#include "sdk/plugin/abi.h"

namespace Kelp::Host {

class PluginLibrary {
 public:
  // Opens `path` and looks up KELP_PLUGIN_ENTRY_NAME. Failures are kept in
  // error(); the library is then not usable.
  explicit PluginLibrary(const std::string& path);
  // Closes the library: every plugin loaded from it must be shut down first.
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  bool ok() const { return entry_ != nullptr; }
  // Empty when ok(); otherwise what failed, with the loader's own text.
  const std::string& error() const { return error_; }
  // Null unless ok().
  PluginLoadFunction entry() const { return entry_; }

 private:
  void* handle_ = nullptr;
  PluginLoadFunction entry_ = nullptr;
  std::string error_;
};

}  // namespace Kelp::Host

#endif  // KELP_HOST_PLUGIN_LIBRARY_H_
