// libyaml, loaded at run time from its own shared library (libyaml-0.so.2,
// or yaml.dll on Windows). Only the record layouts come from <yaml.h>; the
// six functions the reader needs are looked up by name.
#ifndef KELP_SDK_CODECS_YAML_LIBRARY_H_
#define KELP_SDK_CODECS_YAML_LIBRARY_H_

#include <cstddef>

#include <yaml.h>

namespace Kelp::detail {

struct YamlLibrary {
  int (*parserInitialize)(yaml_parser_t* parser);
  void (*parserSetEncoding)(yaml_parser_t* parser, yaml_encoding_t encoding);
  void (*parserSetInputString)(yaml_parser_t* parser, const unsigned char* input,
                               std::size_t size);
  int (*parserParse)(yaml_parser_t* parser, yaml_event_t* event);
  void (*eventDelete)(yaml_event_t* event);
  void (*parserDelete)(yaml_parser_t* parser);
};

// The library's file name as it is looked up.
extern const char* const kYamlLibraryName;

// Loads `fileName` and resolves the six functions into `library`. Returns
// false when the file cannot be loaded or lacks one of them; a library
// that loaded is kept loaded for the life of the process either way.
bool LoadYamlLibrary(const char* fileName, YamlLibrary& library);

// The process-wide library, loaded from kYamlLibraryName on first use; null
// when it cannot be loaded. Safe to call from any thread.
const YamlLibrary* SharedYamlLibrary();

}  // namespace Kelp::detail

#endif  // KELP_SDK_CODECS_YAML_LIBRARY_H_
