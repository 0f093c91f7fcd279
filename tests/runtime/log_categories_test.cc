#include "sdk/runtime/log_categories.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "sdk/runtime/log_record.h"

namespace Kelp {
namespace {

TEST(LogCategoriesTest, PredefinedNamesKeepTheirBits) {
  const struct {
    const char* name;
    std::uint64_t mask;
  } kRows[] = {{"DBG", kLogDbg}, {"GEN", kLogGen},     {"XTR", kLogXtr}, {"PRF", kLogPrf},
               {"MEM", kLogMem}, {"DSK", kLogDsk},     {"NET", kLogNet}, {"TST", kLogTst},
               {"NETWORK", kLogNet}, {"", 0}, {nullptr, 0}};
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name != nullptr ? row.name : "(null)");
    EXPECT_EQ(LogCategoryMask(row.name), row.mask);
  }
}

TEST(LogCategoriesTest, RegisteringANameTwiceGivesTheSameBit) {
  const std::uint64_t first = LogCategoryMask("AUD");
  EXPECT_GT(first, kLogTst);
  EXPECT_EQ(first & (first - 1), 0u) << "one bit";
  EXPECT_EQ(LogCategoryMask("AUDIO"), first);
  const std::uint64_t second = LogCategoryMask("VCE");
  EXPECT_NE(second, first);
  EXPECT_EQ(LogCategoryMask("VCE"), second);
  char buffer[64];
  EXPECT_STREQ(LogCategoryNames(first | second | kLogDbg, buffer, sizeof(buffer)), "DBG;AUD;VCE");
  // Shorter names are names of their own.
  const std::uint64_t twoLetters = LogCategoryMask("AU");
  EXPECT_NE(twoLetters, first);
  EXPECT_STREQ(LogCategoryNames(twoLetters, buffer, sizeof(buffer)), "AU");
}

TEST(LogCategoriesDeathTest, AFullTableGivesNoBit) {
  // Runs in a child process: filling the table would change it for every
  // other test.
  EXPECT_EXIT(
      {
        std::uint64_t seen = 0;
        for (int i = 0; i < 100; ++i) {
          const std::string name = "Z" + std::to_string(i);
          const std::uint64_t mask = LogCategoryMask(name.c_str());
          if (mask == 0) {
            char names[512];
            LogCategoryNames(~std::uint64_t{0}, names, sizeof(names));
            std::exit(std::string(names).find("???") == std::string::npos ? 0 : 2);
          }
          if ((seen & mask) != 0) std::exit(3);
          seen |= mask;
        }
        std::exit(4);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace Kelp
