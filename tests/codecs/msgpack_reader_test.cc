#include "sdk/codecs/msgpack_reader.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/codecs/describe.h"

namespace Kelp {
namespace {

using testing::Describe;
using Bytes = std::vector<std::uint8_t>;

MessagePackReadResult Read(const Bytes& bytes) { return ReadMessagePack(bytes); }

TEST(MessagePackReaderTest, MapsFormatsToKinds) {
  const struct {
    Bytes bytes;
    const char* described;
  } kRows[] = {
      {{0x05}, "s5"},
      {{0xCC, 0x05}, "u5"},
      {{0xFF}, "s-1"},
      {{0xD0, 0x80}, "s-128"},
      {{0xD1, 0xFF, 0x00}, "s-256"},
      {{0xD3, 0x80, 0, 0, 0, 0, 0, 0, 0}, "s-9223372036854775808"},
      {{0xCF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "u18446744073709551615"},
      {{0xCA, 0x3F, 0x00, 0x00, 0x00}, "f0.5"},
      {{0xCB, 0xBF, 0xE0, 0, 0, 0, 0, 0, 0}, "f-0.5"},
      {{0xC0}, "null"},
      {{0xC2}, "false"},
      {{0xC3}, "true"},
      {{0xA2, 'h', 'i'}, "\"hi\""},
      {{0xD9, 0x00}, "\"\""},
      {{0xC4, 0x02, 0xAB, 0xCD}, "blob(abcd)"},
      {{0x92, 0x01, 0xC0}, "[s1,null]"},
      {{0x82, 0xA1, 'b', 0x01, 0xA1, 'a', 0x90}, "{a:[],b:s1}"},
      {{0xDC, 0x00, 0x01, 0xC3}, "[true]"},
      {{0xDF, 0, 0, 0, 1, 0xA1, 'k', 0x80}, "{k:{}}"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.described);
    const MessagePackReadResult read = Read(row.bytes);
    ASSERT_TRUE(read.result.ok()) << read.result.error();
    EXPECT_EQ(Describe(read.result.value()), row.described);
    EXPECT_EQ(read.consumed, row.bytes.size());
  }
}

TEST(MessagePackReaderTest, StopsAfterTheRootOrAtTheEndOfInput) {
  const struct {
    Bytes bytes;
    const char* described;
    std::size_t consumed;
  } kRows[] = {
      {{}, "null", 0},
      {{0x01, 0x02, 0x03}, "s1", 1},
      {{0x93, 0x01, 0x02}, "[s1,s2]", 3},  // announces 3, holds 2: not an error
      {{0x82, 0xA1, 'a', 0x01}, "{a:s1}", 4},
      {{0x81, 0xA1, 'a'}, "{}", 3},
      {{0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}, "[s1]", 6},
      {{0xDF, 0xFF, 0xFF, 0xFF, 0xFF}, "{}", 5},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.described);
    const MessagePackReadResult read = Read(row.bytes);
    ASSERT_TRUE(read.result.ok()) << read.result.error();
    EXPECT_EQ(Describe(read.result.value()), row.described);
    EXPECT_EQ(read.consumed, row.consumed);
  }
}

// 65 keys are past the size up to which a structure keeps name order as it
// grows; the reader must sort it however the input ends.
TEST(MessagePackReaderTest, LargeMapsEndInNameOrderWhereverTheInputEnds) {
  Bytes descending = {0xDE, 0x00, 0x41};
  for (int k = 64; k >= 0; --k) {
    const std::string key = (k < 10 ? "k0" : "k") + std::to_string(k);
    descending.push_back(0xA3);
    for (const char c : key) descending.push_back(static_cast<std::uint8_t>(c));
    descending.push_back(static_cast<std::uint8_t>(k));
  }
  Bytes inArray = descending;
  inArray.insert(inArray.begin(), 0x92);  // the array's second element never comes
  Bytes truncated = descending;
  truncated[2] = 0x50;  // announces 80 entries, holds 65
  const struct {
    const char* name;
    Bytes bytes;
    const char* path;
  } kRows[] = {{"root map", descending, ""}, {"map in an open array", inArray, "0"},
               {"map missing entries", truncated, ""}};
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    const MessagePackReadResult read = Read(row.bytes);
    ASSERT_TRUE(read.result.ok()) << read.result.error();
    const BindingProperty& map =
        *row.path == 0 ? read.result.value() : read.result.value()[std::size_t{0}];
    ASSERT_EQ(map.size(), 65u);
    for (const char* key : {"k00", "k31", "k64"}) {
      const BindingProperty* field = map.Find(key);
      ASSERT_NE(field, nullptr) << key;
      EXPECT_EQ(field->GetSigned(), std::stoi(key + 1));
    }
  }
}

TEST(MessagePackReaderTest, RepeatedKeysWriteIntoTheSameField) {
  const struct {
    Bytes bytes;
    const char* described;
  } kRows[] = {
      {{0x82, 0xA1, 'a', 0x01, 0xA1, 'a', 0x02}, "{a:s2}"},
      {{0x82, 0xA1, 'a', 0x01, 0xA1, 'a', 0xC0}, "{a:s1}"},
      {{0x82, 0xA1, 'a', 0x81, 0xA1, 'x', 0x01, 0xA1, 'a', 0x81, 0xA1, 'y', 0x02},
       "{a:{x:s1,y:s2}}"},
      // A later array writes from index 0 up over what is there.
      {{0x82, 0xA1, 'a', 0x93, 0x01, 0x02, 0x03, 0xA1, 'a', 0x92, 0x09, 0xC0}, "{a:[s9,s2,s3]}"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.described);
    const MessagePackReadResult read = Read(row.bytes);
    ASSERT_TRUE(read.result.ok()) << read.result.error();
    EXPECT_EQ(Describe(read.result.value()), row.described);
  }
}

TEST(MessagePackReaderTest, RefusesMalformedInputWithItsPosition) {
  const struct {
    Bytes bytes;
    const char* error;
  } kRows[] = {
      {{0x81, 0x01, 0x02}, "Invalid MessagePack data at position 2. Map keys must be strings."},
      {{0xCD, 0x01}, "Invalid MessagePack data. 16-bit integer value at position 1 is truncated."},
      {{0xCC}, "Invalid MessagePack data. 8-bit integer value at position 1 is truncated."},
      {{0xCA, 0, 0}, "Invalid MessagePack data. 32-bit integer value at position 1 is truncated."},
      {{0xD3, 0}, "Invalid MessagePack data. 64-bit integer value at position 1 is truncated."},
      {{0xA3, 0x61}, "Invalid MessagePack data. String of size 3 at position 1 is truncated."},
      {{0xC4, 0x05, 1}, "Invalid MessagePack data. Raw bytes of size 5 at position 2 are truncated."},
      {{0xDB, 0xFF, 0xFF, 0xFF, 0xFF, 'x'},
       "Invalid MessagePack data. String of size 4294967295 at position 5 is truncated."},
      {{0xC6, 0xFF, 0xFF, 0xFF, 0xFF},
       "Invalid MessagePack data. Raw bytes of size 4294967295 at position 5 are truncated."},
      {{0xDA, 0x00}, "Invalid MessagePack data. 16-bit integer value at position 1 is truncated."},
      {{0x81, 0xD9}, "Invalid MessagePack data. 8-bit integer value at position 2 is truncated."},
      {{0xD4, 0x01, 0x02}, "Invalid MessagePack data at position 1."},
      {{0xC1}, "Invalid MessagePack data at position 1."},
      {{0x91, 0xC7, 0x01, 0x01, 0x00}, "Invalid MessagePack data at position 2."},
      {{0xD6, 0xFF, 0, 0, 0, 0}, "Invalid MessagePack data at position 1."},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.error);
    const MessagePackReadResult read = Read(row.bytes);
    EXPECT_FALSE(read.result.ok());
    EXPECT_EQ(read.result.error(), row.error);
    EXPECT_EQ(read.result.value().size(), 1u);  // only the message
  }
}

TEST(MessagePackReaderTest, AcceptsTheDepthLimitAndRefusesOneMore) {
  Bytes deepest(kMaxNestingDepth, 0x91);
  deepest.push_back(0x01);
  const MessagePackReadResult ok = Read(deepest);
  EXPECT_TRUE(ok.result.ok()) << ok.result.error();
  EXPECT_EQ(ok.consumed, deepest.size());

  Bytes arrays(kMaxNestingDepth + 1, 0x91);
  EXPECT_EQ(Read(arrays).result.error(),
            "Invalid MessagePack data at position 513. The data is nested deeper than 512 levels.");
}

}  // namespace
}  // namespace Kelp

#include "sdk/binding/memory.h"

namespace Kelp {
namespace {

TEST(MessagePackReaderTest, ClaimedCountsDoNotReserveMemory) {
  // 500 nested arrays, each claiming 2^32 - 1 elements, in 2.5 KB.
  Bytes bytes;
  for (int i = 0; i < 500; ++i) bytes.insert(bytes.end(), {0xDD, 0xFF, 0xFF, 0xFF, 0xFF});
  const MemoryStats before = ReadMemoryStats();
  const MessagePackReadResult read = Read(bytes);
  const MemoryStats after = ReadMemoryStats();
  ASSERT_TRUE(read.result.ok()) << read.result.error();
  EXPECT_EQ(read.consumed, bytes.size());
  EXPECT_LT(after.bytesAllocated - before.bytesAllocated, 4u << 20);
}

}  // namespace
}  // namespace Kelp
