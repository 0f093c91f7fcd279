#include "host/decode_command.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "tests/yaml_availability.h"

namespace Kelp::Host {
namespace {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

std::string Drain(std::FILE* file) {
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  std::fclose(file);
  return text;
}

Outcome RunCommand(const char* format, const std::string& bytes) {
  // One file per process: test runs of several builds may share the folder.
  const std::string path =
      ::testing::TempDir() + "decode_command_input_" + std::to_string(::getpid());
  std::ofstream(path, std::ios::binary) << bytes;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const int status = RunDecodeCommand(format, path.c_str(), out, err);
  std::remove(path.c_str());
  return {status, Drain(out), Drain(err)};
}

TEST(DecodeCommandTest, PrintsPrettyJsonOrTheReadersMessage) {
  const struct {
    const char* format;
    std::string bytes;
    Outcome expected;
  } kRows[] = {
      {"json", R"({"b":[1,true],"a":null})",
       {0, "{\n    \"a\": null,\n    \"b\": [\n        1,\n        true\n    ]\n}\n", ""}},
      {"yaml", "k: [1, x]\n", {0, "{\n    \"k\": [\n        1,\n        \"x\"\n    ]\n}\n", ""}},
      {"msgpack", std::string("\x81\xA1k\xC3", 4), {0, "{\n    \"k\": true\n}\n", ""}},
      {"json", "   ", {0, "\n", ""}},
      {"json", "{} {}",
       {1, "", "Error: The document root must not be followed by other values. at offset 3.\n"}},
      {"msgpack", std::string("\xCD\x01", 2),
       {1, "", "Invalid MessagePack data. 16-bit integer value at position 1 is truncated.\n"}},
      {"msgpack", std::string("\x01\x02", 2),
       {1, "", "Unexpected bytes after the MessagePack value at position 1.\n"}},
      {"yaml", "a: *b\n", {1, "", "Undefined alias encountered: \"b\". At line: 1 col: 4\n"}},
  };
  for (const auto& row : kRows) {
    if (std::string_view(row.format) == "yaml" && tests::SkipYamlCases()) continue;
    SCOPED_TRACE(row.bytes);
    const Outcome outcome = RunCommand(row.format, row.bytes);
    EXPECT_EQ(outcome.status, row.expected.status);
    EXPECT_EQ(outcome.out, row.expected.out);
    EXPECT_EQ(outcome.err, row.expected.err);
  }
}

TEST(DecodeCommandTest, UsageErrorsReturnTwo) {
  EXPECT_EQ(RunCommand("xml", "<a/>").status, 2);
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  EXPECT_EQ(RunDecodeCommand("json", "/nonexistent/kelp/input.json", out, err), 2);
  EXPECT_EQ(Drain(out), "");
  EXPECT_NE(Drain(err), "");
}

}  // namespace
}  // namespace Kelp::Host
