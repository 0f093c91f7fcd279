#include "host/server/failure_status.h"

#include <string>

#include <gtest/gtest.h>

namespace Kelp::Host {
namespace {

TEST(FailureStatusTest, StatusZeroIsTheClientsMistakeOnlyForABindingFailureBeforeAnyRequest) {
  const struct {
    std::uint32_t status;
    const char* error;
    bool sentRequests;
    unsigned expected;
  } kRows[] = {
      // The plugin's own status stands, whatever the text.
      {409, "bad thing", false, 409},
      {503, "Unknown argument 'a' for 'F'.", false, 503},
      {404, "", true, 404},
      // Binding failures, one row per shape of the SDK's messages.
      {0, "Unknown argument 'bogus' for 'GetTavPremadeVoiceV1Availability'.", false, 400},
      {0, "Argument 'id' for 'GetThing' was specified in an invalid location.", false, 400},
      {0, "Expected value for argument 'volume'.", false, 400},
      {0, "Index x1 is in an incorrect format", false, 400},
      {0, "Index 7 is out of range", false, 400},
      {0, "Argument 'settings' is nested too deeply", false, 400},
      {0,
       "Couldn't deserialize JSON value for parameter 'volume' of 'PutVolume': Error: Invalid "
       "value. at offset 0.",
       false, 400},
      {0, "Couldn't deserialize YAML value for parameter 'v' of 'F': ", false, 400},
      {0, "Unsupported body content type", false, 400},
      {0, "Extra MessgePack data found in body", false, 400},
      {0, "Invalid MessagePack data at position 3.", false, 400},
      {0, "A value for 'volume' is required.", false, 400},
      {0, "Value loud for 'volume' of type int32 is in an incorrect format", false, 400},
      {0,
       "Value maybe for 'muted' of type bool is in an incorrect format. Options are \"true\", "
       "\"false\", \"1\", \"0\".",
       false, 400},
      {0, "Value 4294967296 for 'volume' of type int32 is out of range", false, 400},
      {0,
       "Couldn't assign value to 'volume' of type int32 because the input is of an invalid type "
       "object.",
       false, 400},
      {0, "SHOUT is not a valid TavPremadeVoiceInputMode enumeration value for 'inputMode'.", false,
       400},
      {0, "7 is not a valid enumeration value for 'inputMode'.", false, 400},
      // The same texts once the handler ran and sent a request: what it
      // passes on is not about this request's arguments.
      {0, "A value for 'volume' is required.", true, 500},
      {0, "Unsupported body content type", true, 500},
      // Failures of the plugin or of a peer, without a status.
      {0, "", false, 500},
      {0, "Out of memory while encoding the response", false, 500},
      {0, "Couldn't convert native value because it's an unregistered structure.", false, 500},
      {0, "Error response for PUT /voice/v1/volume: A value for 'volume' is required.", true, 500},
      {0, "Error response for PUT /voice/v1/volume: Unknown argument 'a' for 'b'.", false, 500},
      {0, "Unsupported body content type!", false, 500},
      {0, "A value for 'volume' is required", false, 500},
      // A status outside the error range is no choice the host keeps.
      {200, "Unknown argument 'a' for 'b'.", false, 500},
      {600, "bad", false, 500},
      {399, "bad", false, 500},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(std::to_string(row.status) + " '" + row.error + "'" +
                 (row.sentRequests ? " after a request" : ""));
    EXPECT_EQ(FailureStatus(row.status, row.error, row.sentRequests), row.expected);
  }
}

}  // namespace
}  // namespace Kelp::Host
