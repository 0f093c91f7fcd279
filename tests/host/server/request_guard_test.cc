#include "host/server/request_guard.h"

#include <gtest/gtest.h>

namespace Kelp::Host {
namespace {

TEST(RequestGuardTest, TakesOnlyRequestsAddressedToTheServerAndChangesFromItsOwnPages) {
  const struct {
    const char* method;
    std::optional<std::string_view> host;
    std::optional<std::string_view> origin;
    bool upgrade;
    std::uint16_t port;
    const char* refusal;  // "" when taken
  } kRows[] = {
      {"GET", "127.0.0.1:8765", std::nullopt, false, 8765, ""},
      {"GET", "LocalHost:8765", std::nullopt, false, 8765, ""},
      {"PUT", "localhost:8765", "http://localhost:8765", false, 8765, ""},
      {"POST", "127.0.0.1:8765", "http://127.0.0.1:8765", false, 8765, ""},
      {"POST", "127.0.0.1:8765", std::nullopt, false, 8765, ""},
      // A page of another site may send these, but cannot read the answer.
      {"GET", "127.0.0.1:8765", "http://evil.example", false, 8765, ""},
      {"HEAD", "127.0.0.1:8765", "null", false, 8765, ""},
      // Browsers leave out the default port in both headers.
      {"PUT", "localhost", "http://localhost", false, 80, ""},
      {"GET", std::nullopt, std::nullopt, false, 8765,
       "the Host header is missing; it must be 127.0.0.1:8765 or localhost:8765"},
      {"GET", "evil.example:8765", std::nullopt, false, 8765,
       "the Host header must be 127.0.0.1:8765 or localhost:8765, not 'evil.example:8765'"},
      {"GET", "127.0.0.1", std::nullopt, false, 8765,
       "the Host header must be 127.0.0.1:8765 or localhost:8765, not '127.0.0.1'"},
      {"GET", "127.0.0.1:8766", std::nullopt, false, 8765,
       "the Host header must be 127.0.0.1:8765 or localhost:8765, not '127.0.0.1:8766'"},
      {"GET", "127.0.0.1:08765", std::nullopt, false, 8765,
       "the Host header must be 127.0.0.1:8765 or localhost:8765, not '127.0.0.1:08765'"},
      {"GET", "localhost.evil.example:8765", std::nullopt, false, 8765,
       "the Host header must be 127.0.0.1:8765 or localhost:8765, not "
       "'localhost.evil.example:8765'"},
      {"GET", "127.0.0.1:80", std::nullopt, false, 8765,
       "the Host header must be 127.0.0.1:8765 or localhost:8765, not '127.0.0.1:80'"},
      {"POST", "127.0.0.1:8765", "http://evil.example", false, 8765,
       "changes are refused to other pages: Origin 'http://evil.example' is not "
       "http://127.0.0.1:8765"},
      {"DELETE", "127.0.0.1:8765", "null", false, 8765,
       "changes are refused to other pages: Origin 'null' is not http://127.0.0.1:8765"},
      {"OPTIONS", "127.0.0.1:8765", "http://127.0.0.1:9999", false, 8765,
       "changes are refused to other pages: Origin 'http://127.0.0.1:9999' is not "
       "http://127.0.0.1:8765"},
      {"PUT", "127.0.0.1:8765", "https://127.0.0.1:8765", false, 8765,
       "changes are refused to other pages: Origin 'https://127.0.0.1:8765' is not "
       "http://127.0.0.1:8765"},
      {"GET", "127.0.0.1:8765", "http://evil.example", true, 8765,
       "event streams are refused to other pages: Origin 'http://evil.example' is not "
       "http://127.0.0.1:8765"},
      {"GET", "127.0.0.1:8765", "http://localhost:8765", true, 8765, ""},
      {"GET", "127.0.0.1:8765", std::nullopt, true, 8765, ""},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(std::string(row.method) + " Host " + std::string(row.host.value_or("-")) +
                 " Origin " + std::string(row.origin.value_or("-")) +
                 (row.upgrade ? " upgrade" : ""));
    EXPECT_EQ(RefusalOf({row.method, row.host, row.origin, row.upgrade}, row.port), row.refusal);
  }
}

}  // namespace
}  // namespace Kelp::Host
