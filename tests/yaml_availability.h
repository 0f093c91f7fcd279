// Whether a test can run its YAML cases. libyaml is a dependency of the tests
// everywhere except on Windows: Debian has no yaml.dll to go with the Windows
// build, so the test runs under Wine go without it and leave those cases out.
#ifndef KELP_TESTS_YAML_AVAILABILITY_H_
#define KELP_TESTS_YAML_AVAILABILITY_H_

#include "sdk/codecs/yaml_library.h"

namespace Kelp::tests {

inline bool SkipYamlCases() {
#ifdef _WIN32
  return detail::SharedYamlLibrary() == nullptr;
#else
  return false;
#endif
}

}  // namespace Kelp::tests

#endif  // KELP_TESTS_YAML_AVAILABILITY_H_
