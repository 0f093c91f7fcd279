#include "sdk/runtime/log_format.h"

#include <cstring>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sdk/runtime/log_categories.h"
#include "sdk/runtime/logger.h"
#include "tests/runtime/log_test_support.h"

namespace Kelp {
namespace {

constexpr CalendarTime kTime = {2026, 12, 8, 4, 5, 6, 7};

std::string Line(const char* format, const LogRecord& record, std::size_t size = kLogBufferSize) {
  std::string buffer(size, '\x7f');
  FormatLogLine(record, format, buffer.data(), size);
  return buffer.c_str();
}

TEST(LogFormatTest, ReplacesPlaceholdersAndEndsWithOneNewline) {
  const LogRecord record{kTime, 2, kLogDbg | kLogNet, "hello"};
  const struct {
    const char* format;
    const char* line;
  } kRows[] = {
      {"#D", "2026-12-08T04:05:06.007\n"},
      {"#D| #L| #G| #M", "2026-12-08T04:05:06.007|  ERROR| DBG;NET| hello\n"},
      {"[#M]", "[hello]\n"},
      {"#x#Q", "xQ\n"},
      {"##M", "#M\n"},
      {"#1#-#", "1-\n"},
      {"#", "\n"},
      {"", "\n"},
      {"#M\n", "hello\n"},
      {"#M\n\n", "hello\n\n"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.format);
    EXPECT_EQ(Line(row.format, record), row.line);
  }
}

TEST(LogFormatTest, CategoryNames) {
  char buffer[512];
  EXPECT_STREQ(LogCategoryNames(0, buffer, sizeof(buffer)), "");
  EXPECT_STREQ(LogCategoryNames(kLogDbg | kLogGen | kLogXtr | kLogPrf | kLogMem | kLogDsk |
                                    kLogNet | kLogTst,
                                buffer, sizeof(buffer)),
               "DBG;GEN;XTR;PRF;MEM;DSK;NET;TST");
  // Slot 63 is the last to be registered; no test comes near it.
  EXPECT_STREQ(LogCategoryNames(kLogGen | (std::uint64_t{1} << 63), buffer, sizeof(buffer)),
               "GEN;???");
  EXPECT_STREQ(LogCategoryNames(kLogDbg | kLogGen, buffer, 6), "DBG;G");
}

TEST(LogFormatTest, ProcessPlaceholders) {
  testing::FreshLogger logger;
  const LogRecord record{kTime, 0, 0, ""};
  EXPECT_THAT(Line("#H", record), testing::FullyMatches("[0-9]{6}\\.[0-9]{3}\n"));
  EXPECT_THAT(Line("#T", record),
              testing::FullyMatches(std::string(testing::kThreadIdPattern) + "\n"));
  EXPECT_EQ(Line("#E", record), std::string(testing::kProgramFile) + "\n");
  EXPECT_EQ(Line("(#G)", record), "()\n");
}

TEST(LogFormatTest, LongLinesAreCutAndStillEndWithANewline) {
  const std::string message(5000, 'a');
  const LogRecord record{kTime, 3, kLogDbg, message.c_str()};
  const std::string line = Line("#L| #M", record);
  EXPECT_EQ(line.size(), kLogBufferSize - 1);
  EXPECT_EQ(line.back(), '\n');
  EXPECT_EQ(line.substr(0, 9), "ALWAYS| a");

  const LogRecord shortRecord{kTime, 3, kLogDbg, "abcdefghij"};
  EXPECT_EQ(Line("#M", shortRecord, 8), "abcdef\n");
  EXPECT_EQ(Line("#M", shortRecord, 2), "\n");
  // A message that fills the line exactly up to its own newline keeps it.
  const std::string withNewline = std::string(kLogBufferSize - 3, 'b') + "\n";
  const LogRecord newlineRecord{kTime, 3, kLogDbg, withNewline.c_str()};
  EXPECT_EQ(Line("#M", newlineRecord).size(), kLogBufferSize - 2);
}

TEST(LogFormatTest, LevelAndTimestampTexts) {
  const struct {
    std::int32_t level;
    const char* text;
  } kRows[] = {{0, "  OKAY"}, {1, "  WARN"}, {2, " ERROR"}, {3, "ALWAYS"}, {4, "  ????"},
               {-1, "  ????"}};
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.level);
    EXPECT_STREQ(LogLevelText(row.level), row.text);
  }
  char buffer[64];
  EXPECT_STREQ(FormatLogFileTimestamp(kTime, buffer, sizeof(buffer)), "2026-12-08T04-05-06");
  EXPECT_STREQ(FormatLogTimestamp(kTime, buffer, 11), "2026-12-08");
}

}  // namespace
}  // namespace Kelp
