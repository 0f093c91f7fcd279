// Which entry the host looks up in a plugin library.
#include <string>

#include <gtest/gtest.h>

#include "host/plugin_library.h"

namespace Kelp::Host {
namespace {

TEST(EntryNameForLibraryTest, NamesTheEntryAfterTheFile) {
  const struct {
    const char* path;
    const char* entry;
  } kRows[] = {
      {"build/premade_voice/libtav_premade_voice.so", "load_tav_premade_voice"},
      {"/opt/plugins/libhello.so", "load_hello"},
      {"libhello.so.18.0.0", "load_hello"},
      {"hello-world.dll", "load_hello_world"},
      {"C:\\plugins\\tav-premade-voice.dll", "load_tav_premade_voice"},
      {"hello", "load_hello"},
      // Nothing left to name an entry after.
      {"dir/lib.so", ""},
      {"dir/", ""},
      {"", ""},
  };
  for (const auto& row : kRows) {
    EXPECT_EQ(EntryNameForLibrary(row.path), row.entry) << row.path;
  }
}

TEST(PluginLibraryTest, FailuresNameWhatWasMissing) {
  const PluginLibrary unnamed("dir/lib.so");
  EXPECT_FALSE(unnamed.ok());
  EXPECT_EQ(unnamed.error(), "no entry point name for dir/lib.so");
  EXPECT_EQ(unnamed.entry(), nullptr);

  const PluginLibrary missing("/nonexistent/libhello.so", "load_hello");
  EXPECT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().rfind("cannot open /nonexistent/libhello.so: ", 0), 0u)
      << missing.error();
}

}  // namespace
}  // namespace Kelp::Host
