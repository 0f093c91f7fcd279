#include "sdk/binding/message_format.h"

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

namespace Kelp {
namespace {

TEST(MessageFormatTest, PlaceholdersAndSpecifications) {
  const struct {
    std::string got;
    const char* expected;
  } rows[] = {
      {FormatMessage("'%1' of %2", {"name", 7}), "'name' of 7"},
      {FormatMessage("%2 before %1", {"a", "b"}), "b before a"},
      {FormatMessage("100%% of %1", {3}), "100% of 3"},
      {FormatMessage("%1$05d|%1$-4x|%1$X", {255}), "00255|ff  |FF"},
      {FormatMessage("%1$.2f %1", {2.5}), "2.50 2.5"},
      {FormatMessage("%1", {2147483648.0}), "2.14748e+09"},
      {FormatMessage("%1 %2", {std::int64_t{-9000000000}, std::uint64_t{18446744073709551615u}}),
       "-9000000000 18446744073709551615"},
      {FormatMessage("%1$lld", {std::uint64_t{5}}), "5"},
      // Letters a type does not accept fall back to its default.
      {FormatMessage("%1$s %2$d %3$x", {2.5, "text", 1.0}), "2.5 text 1"},
      {FormatMessage("%1$n", {3}), "3"},
      {FormatMessage("%1$c", {std::int64_t{65}}), "65"},
      {FormatMessage("%1$c", {65}), "A"},
      // Text keeps width, precision and "-" only.
      {FormatMessage("[%1$-5s][%1$.2s][%1$05s]", {"abc"}), "[abc  ][ab][  abc]"},
      // A number past the last argument prints nothing.
      {FormatMessage("a%3b", {1}), "ab"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.expected);
    EXPECT_EQ(row.got, row.expected);
  }
}

TEST(MessageFormatTest, TextArgumentsAreNeverFormats) {
  EXPECT_EQ(FormatMessage("Value %1 for '%2'", {"%s%n%1", "%d"}), "Value %s%n%1 for '%d'");
}

TEST(MessageFormatTest, LongSpecificationEndsFormatting) {
  EXPECT_EQ(FormatMessage("a%1$" + std::string(57, '0') + "1d|b", {7}), "a7|b");
  EXPECT_EQ(FormatMessage("a%1$" + std::string(59, '0') + "1d|b", {7}), "a");
  EXPECT_EQ(FormatMessage("tail %1$", {7}), "tail ");
}

TEST(MessageFormatTest, OutputIsCutAt4095Bytes) {
  const std::string big(5000, 'x');
  EXPECT_EQ(FormatMessage("%1", {big}).size(), 4095u);
  EXPECT_EQ(FormatMessage(big, {}).size(), 4095u);
  const std::string padded = FormatMessage("a%1$999999999d", {1});
  EXPECT_EQ(padded.size(), 4095u);
  EXPECT_EQ(padded.substr(0, 2), "a ");
}

}  // namespace
}  // namespace Kelp
