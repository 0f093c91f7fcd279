#include "host/plugin_library.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace Kelp::Host {
namespace {

#ifdef _WIN32
// The system's text for the calling thread's last error, without its line end.
std::string LoaderError() {
  const DWORD code = GetLastError();
  char text[512] = {};
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                     text, sizeof(text), nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  if (message.empty()) message = "unknown loader error";
  return message + " (error " + std::to_string(code) + ")";
}
#else
std::string LoaderError() {
  const char* text = dlerror();
  return text == nullptr ? "unknown loader error" : text;
}
#endif

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path)
    : PluginLibrary(path, EntryNameForLibrary(path)) {}

#ifdef _WIN32
// As with RTLD_NODELETE, the module is pinned: FreeLibrary balances the
// reference count, but the library stays mapped until the process ends.
PluginLibrary::PluginLibrary(const std::string& path, const std::string& entryName) {
  if (entryName.empty()) {
    error_ = "no entry point name for " + path;
    return;
  }
  handle_ = LoadLibraryA(path.c_str());
  if (handle_ == nullptr) {
    error_ = "cannot open " + path + ": " + LoaderError();
    return;
  }
  HMODULE pinned = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     static_cast<LPCSTR>(handle_), &pinned);
  FARPROC symbol = GetProcAddress(static_cast<HMODULE>(handle_), entryName.c_str());
  if (symbol == nullptr) {
    error_ = "no entry point " + entryName + " in " + path + ": " + LoaderError();
    return;
  }
  entry_ = reinterpret_cast<PluginLoadFunction>(reinterpret_cast<void*>(symbol));
}

PluginLibrary::~PluginLibrary() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}
#else
PluginLibrary::PluginLibrary(const std::string& path, const std::string& entryName) {
  if (entryName.empty()) {
    error_ = "no entry point name for " + path;
    return;
  }
  dlerror();
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle_ == nullptr) {
    error_ = "cannot open " + path + ": " + LoaderError();
    return;
  }
  dlerror();
  void* symbol = dlsym(handle_, entryName.c_str());
  if (symbol == nullptr) {
    error_ = "no entry point " + entryName + " in " + path + ": " + LoaderError();
    return;
  }
  entry_ = reinterpret_cast<PluginLoadFunction>(symbol);
}

PluginLibrary::~PluginLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}
#endif

std::string EntryNameForLibrary(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (name.starts_with("lib")) name.remove_prefix(3);
  const std::size_t dot = name.find('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  if (name.empty()) return {};
  std::string entry = "load_";
  for (const char c : name) entry.push_back(c == '-' ? '_' : c);
  return entry;
}

}  // namespace Kelp::Host
