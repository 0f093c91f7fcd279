// A plugin library opened the way the plugin host opens it: dlopen with
// RTLD_NOW | RTLD_LOCAL, then the one entry point looked up by name.
//
// Closing does not unmap the library (RTLD_NODELETE): like the client, which
// unloads plugin libraries only at exit, the host lets a library keep its
// process-wide state (its logger lives until the process ends), so a leak
// checker sees that state as reachable and not as lost.
#ifndef KELP_HOST_PLUGIN_LIBRARY_H_
#define KELP_HOST_PLUGIN_LIBRARY_H_

#include <string>
#include <string_view>

#include "sdk/plugin/abi.h"

namespace Kelp::Host {

class PluginLibrary {
 public:
  // Opens `path` and looks up the entry named after the library's file
  // (EntryNameForLibrary), or `entryName` when given. Failures are kept in
  // error(); the library is then not usable.
  explicit PluginLibrary(const std::string& path);
  PluginLibrary(const std::string& path, const std::string& entryName);
  // Drops the host's reference to the library: every plugin loaded from it
  // must be shut down first.
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

// The entry a plugin library exports, "load_" followed by its file name
// without folders, a leading "lib" and the extension, with "-" as "_":
// ".../libtav_premade_voice.so" gives load_tav_premade_voice,
// "hello-world.dll" load_hello_world. Empty when no name is left.
std::string EntryNameForLibrary(std::string_view path);

}  // namespace Kelp::Host

#endif  // KELP_HOST_PLUGIN_LIBRARY_H_
