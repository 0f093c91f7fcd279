// Deeply nested input: refused past the limit by every decoder, and handled
// on a small stack up to it.
#include <pthread.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sdk/binding/binding_value.h"
#include "sdk/codecs/json_reader.h"
#include "sdk/codecs/json_writer.h"
#include "sdk/codecs/msgpack_reader.h"
#include "sdk/codecs/yaml_reader.h"
#include "tests/yaml_availability.h"

namespace Kelp {
namespace {

constexpr int kMillion = 1000000;

ConversionResult ReadPack(const std::string& bytes) {
  return std::move(
      ReadMessagePack({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}).result);
}

TEST(DeepNestingTest, AMillionLevelsAreRefusedByEveryDecoder) {
  const std::string brackets(kMillion, '[');
  EXPECT_EQ(ReadJson(brackets).error(),
            "Error: The document is nested deeper than 512 levels at offset 512.");
  std::string members;
  for (int i = 0; i < kMillion / 5; ++i) members += "{\"a\":";
  EXPECT_EQ(ReadJson(members).error(),
            "Error: The document is nested deeper than 512 levels at offset 2560.");
  EXPECT_EQ(ReadPack(std::string(kMillion, '\x91')).error(),
            "Invalid MessagePack data at position 513. The data is nested deeper than 512 levels.");
  EXPECT_EQ(ReadPack(std::string(kMillion, '\x81')).error(),
            "Invalid MessagePack data at position 2. Map keys must be strings.");
  std::string maps;
  for (int i = 0; i < kMillion / 3; ++i) maps += "\x81\xA0";
  EXPECT_EQ(ReadPack(maps).error(),
            "Invalid MessagePack data at position 1025. The data is nested deeper than 512 levels.");
  if (tests::SkipYamlCases()) return;
  EXPECT_EQ(ReadYaml(brackets + std::string(kMillion, ']')).error(),
            "The document is nested deeper than 512 levels. At line: 1 col: 513");
  std::string blocks;
  for (int i = 0; i < 2000; ++i) blocks += std::string(i, ' ') + "-\n";
  EXPECT_EQ(ReadYaml(blocks).error(),
            "The document is nested deeper than 512 levels. At line: 513 col: 513");
}

// AddressSanitizer's unoptimised frames with their redzones take several
// times the stack of a release build.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kStackScale = 4;
#else
constexpr std::size_t kStackScale = 1;
#endif

// Runs `body` on a thread with a 256 KiB stack, as a host may give us.
void RunOnSmallStack(const std::function<void()>& body) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, kStackScale * 256 * 1024), 0);
  pthread_t thread;
  auto run = [](void* argument) -> void* {
    (*static_cast<const std::function<void()>*>(argument))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&body)),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

// Everything done with a tree after decoding it, on the deepest tree.
void UseDeepestTree(const ConversionResult& read) {
  ASSERT_TRUE(read.ok()) << read.error();
  BindingValue boundary{};
  ASSERT_TRUE(ToBindingValue(read.value(), nullptr, boundary));
  BindingProperty back;
  BindingResult failure{};
  EXPECT_TRUE(ToBindingProperty(boundary, "body", back, failure));
  Destroy(boundary);
  EXPECT_TRUE(back == read.value());
  const std::string compact = WriteJson(read.value());
  const std::string pretty = WriteJson(read.value(), nullptr, "\n");
  EXPECT_FALSE(compact.empty());
  EXPECT_GT(pretty.size(), compact.size());
  BindingProperty copy = read.value();
  BindingProperty moved = std::move(copy);
  BindingProperty child;
  child = moved;
  moved.Reset();
  EXPECT_TRUE(child == read.value());
}

TEST(DeepNestingTest, TheDeepestAcceptedInputWorksOnASmallStack) {
  std::string json;
  for (int i = 0; i < kMaxNestingDepth; ++i) json += i % 2 ? "[" : "{\"k\":";
  json += "1";
  for (int i = kMaxNestingDepth - 1; i >= 0; --i) json += i % 2 ? "]" : "}";
  std::string pack;
  for (int i = 0; i < kMaxNestingDepth; ++i) pack += i % 2 ? "\x91" : "\x81\xA1k";
  pack += '\x01';
  std::string yaml;
  for (int i = 0; i < kMaxNestingDepth; ++i) yaml += i % 2 ? "[" : "{k: ";
  yaml += "1";
  for (int i = kMaxNestingDepth - 1; i >= 0; --i) yaml += i % 2 ? "]" : "}";

  RunOnSmallStack([&] {
    UseDeepestTree(ReadJson(json));
    UseDeepestTree(ReadPack(pack));
    if (!tests::SkipYamlCases()) UseDeepestTree(ReadYaml(yaml));
  });
}

}  // namespace
}  // namespace Kelp
