#include "host/standins/json_file.h"

#include <filesystem>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace Kelp::Host {
namespace {

using ::testing::HasSubstr;

// Replacing a file that already exists must work everywhere (on Windows a
// plain rename refuses to), leave no temporary file behind, and keep bytes
// such as "\r\n" exactly as given.
TEST(JsonFileTest, ReplaceFileOverwritesKeepsBytesAndCleansUp) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / "json-file-test-replace";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::filesystem::path file = dir / "state.json";

  for (const std::string text : {"{\"a\":1}", "{\"a\":2,\r\n\"b\":[]}", ""}) {
    SCOPED_TRACE(text);
    ASSERT_EQ(ReplaceFile(file, text), "");
    std::string read, error;
    ASSERT_TRUE(ReadWholeFile(file, read, error)) << error;
    EXPECT_EQ(read, text);
    EXPECT_FALSE(std::filesystem::exists(dir / "state.json.tmp"));
  }

  // A folder that does not exist is an error, and so is reading from it.
  EXPECT_THAT(ReplaceFile(dir / "missing" / "state.json", "{}"), HasSubstr("open"));
  std::string read, error;
  EXPECT_FALSE(ReadWholeFile(dir / "missing" / "state.json", read, error));
  EXPECT_THAT(error, HasSubstr("open"));
  std::filesystem::remove_all(dir);
}

// A replacement that cannot be written leaves the old file as it was: here
// the temporary file's name is taken by a folder.
TEST(JsonFileTest, AFailedReplaceLeavesTheOldFileAsItWas) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / "json-file-test-failed-replace";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::filesystem::path file = dir / "state.json";
  ASSERT_EQ(ReplaceFile(file, "{\"old\":true}"), "");
  std::filesystem::create_directory(dir / "state.json.tmp");

  EXPECT_THAT(ReplaceFile(file, "{\"new\":true}"), HasSubstr("open"));
  std::string read, error;
  ASSERT_TRUE(ReadWholeFile(file, read, error)) << error;
  EXPECT_EQ(read, "{\"old\":true}");
  std::filesystem::remove_all(dir);
}

TEST(JsonFileTest, AbridgedKeepsWhatAPersonReadsAndCutsOnlyBetweenCharacters) {
  const std::string e = "\xC3\xA9";  // two bytes
  const struct {
    std::string text;
    std::string shown;
  } kRows[] = {
      {std::string(4000, 'a'), std::string(4000, 'a')},
      {std::string(4001, 'a'), std::string(4000, 'a') + "... (1 more bytes)"},
      // The character across the cut goes whole to the part left out.
      {std::string(3999, 'a') + e + "b", std::string(3999, 'a') + "... (3 more bytes)"},
  };
  for (const auto& row : kRows) {
    EXPECT_EQ(Abridged(row.text), row.shown) << row.text.size();
  }
}

}  // namespace
}  // namespace Kelp::Host
