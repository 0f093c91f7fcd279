#include "host/plugin_library.h"

#include <dlfcn.h>

namespace Kelp::Host {
namespace {

std::string LoaderError() {
  const char* text = dlerror();
  return text == nullptr ? "unknown loader error" : text;
}

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) {
  dlerror();
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle_ == nullptr) {
    error_ = "cannot open " + path + ": " + LoaderError();
    return;
  }
  dlerror();
  void* symbol = dlsym(handle_, KELP_PLUGIN_ENTRY_NAME);
  if (symbol == nullptr) {
    error_ =
        std::string("no entry point " KELP_PLUGIN_ENTRY_NAME " in ") + path + ": " + LoaderError();
    return;
  }
  entry_ = reinterpret_cast<PluginLoadFunction>(symbol);
}

PluginLibrary::~PluginLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

}  // namespace Kelp::Host
