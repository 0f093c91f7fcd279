#include "sdk/codecs/yaml_library.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace Kelp::detail {
namespace {

#ifdef _WIN32
void* OpenLibrary(const char* fileName) { return LoadLibraryA(fileName); }
void* FindSymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
#else
void* OpenLibrary(const char* fileName) { return dlopen(fileName, RTLD_NOW | RTLD_LOCAL); }
void* FindSymbol(void* library, const char* name) { return dlsym(library, name); }
#endif

template <typename Function>
bool Resolve(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(FindSymbol(library, name));
  return function != nullptr;
}

}  // namespace

#ifdef _WIN32
const char* const kYamlLibraryName = "yaml.dll";
#else
const char* const kYamlLibraryName = "libyaml-0.so.2";
#endif

bool LoadYamlLibrary(const char* fileName, YamlLibrary& library) {
  void* handle = OpenLibrary(fileName);
  if (handle == nullptr) return false;
  return Resolve(handle, "yaml_parser_initialize", library.parserInitialize) &&
         Resolve(handle, "yaml_parser_set_encoding", library.parserSetEncoding) &&
         Resolve(handle, "yaml_parser_set_input_string", library.parserSetInputString) &&
         Resolve(handle, "yaml_parser_parse", library.parserParse) &&
         Resolve(handle, "yaml_event_delete", library.eventDelete) &&
         Resolve(handle, "yaml_parser_delete", library.parserDelete);
}

const YamlLibrary* SharedYamlLibrary() {
  static const YamlLibrary* const kLibrary = []() -> const YamlLibrary* {
    static YamlLibrary library;
    return LoadYamlLibrary(kYamlLibraryName, library) ? &library : nullptr;
  }();
  return kLibrary;
}

}  // namespace Kelp::detail
