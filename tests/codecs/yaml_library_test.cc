#include "sdk/codecs/yaml_library.h"

#include <string>

#include <gtest/gtest.h>

#include "sdk/codecs/yaml_reader.h"

namespace Kelp {
namespace {

TEST(YamlLibraryTest, RefusesMissingFilesAndLibrariesWithoutTheParser) {
  const char* const kFiles[] = {
#ifdef _WIN32
      "kelp-no-such-yaml.dll",
      "kernel32.dll",
#else
      "libkelp-no-such-yaml.so.0",
      "libm.so.6",
#endif
  };
  for (const char* file : kFiles) {
    SCOPED_TRACE(file);
    detail::YamlLibrary library{};
    EXPECT_FALSE(detail::LoadYamlLibrary(file, library));
  }
}

// Where the system has no libyaml (a Windows machine without yaml.dll), the
// reader says so by the library's name instead of failing some other way.
TEST(YamlLibraryTest, ReaderWithoutTheSharedLibraryNamesIt) {
  if (detail::SharedYamlLibrary() != nullptr) GTEST_SKIP() << "libyaml is installed here";
  const ConversionResult result = ReadYaml("a: 1");
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.error(), std::string("YAML support is unavailable: ") +
                                detail::kYamlLibraryName + " could not be loaded.");
}

}  // namespace
}  // namespace Kelp
