// The voice settings through the whole client: stored categories, setters,
// reset, first experience, and the settings plugin failing.
#include <string>

#include <gtest/gtest.h>

#include "tests/integration/voice_settings_world.h"

namespace Kelp::Host::Testing {
namespace {

using VoiceSettingsTest = VoiceSettingsWorld;

constexpr const char* kSettings = "/tav-premade-voice/v1/settings";

TEST_F(VoiceSettingsTest, FirstStartWritesDefaultsOnceAndARestartRewritesNothing) {
  world().SignIn();
  EXPECT_EQ(Bodies(HTTP_METHOD_PATCH, kAccount).size(), 1u);
  EXPECT_EQ(Bodies(HTTP_METHOD_PATCH, kLocal).size(), 1u);
  EXPECT_EQ(world().settings().Record(kAccount).ToJson(),
            R"({"schemaVersion":1,"data":{"autoJoin":true,"inputMode":"voiceActivity",)"
            R"("muteOnConnect":false,"pushToTalkKey":"[<Unbound>]",)"
            R"("showFirstExperienceInGame":true,"showFirstExperienceInZEB":true}})");
  EXPECT_EQ(world().settings().Record(kLocal).ToJson(),
            R"({"schemaVersion":1,"data":{"currentCaptureDeviceHandle":"",)"
            R"("inputVolume":50,"vadSensitivity":65}})");
  ASSERT_FALSE(Published(kSettings).empty());
  EXPECT_EQ(Published(kSettings).back().Find("pttKey")->ToJson(), R"("[<Unbound>]")");

  ASSERT_FALSE(Call(HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/micLevel", "30").failed);
  ASSERT_FALSE(Call(HTTP_METHOD_POST, "/tav-premade-voice/v1/first-experience/zeb").failed);
  world().Settle();

  Restart();
  world().SignIn();
  EXPECT_TRUE(Bodies(HTTP_METHOD_PATCH, kAccount).empty());
  EXPECT_TRUE(Bodies(HTTP_METHOD_PATCH, kLocal).empty());
  const InvokeResult settings = Call(HTTP_METHOD_GET, kSettings);
  EXPECT_EQ(settings.value.Find("micLevel")->ToJson(), "30");
  const InvokeResult shown = Call(HTTP_METHOD_GET, "/tav-premade-voice/v1/first-experience");
  EXPECT_EQ(shown.value.ToJson(),
            R"({"showFirstExperienceInGame":true,"showFirstExperienceInZEB":false})");
}

TEST_F(VoiceSettingsTest, EverySetterWritesItsCategoryAndTheValueComesBack) {
  world().SignIn();
  const struct {
    std::uint32_t method;
    const char* path;
    const char* body;
    const std::string& category;
    const char* stored;  // key in the category
    const char* storedValue;
    const char* shown;  // key in the settings record
  } kRows[] = {
      {HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/micLevel", "30", kLocal, "inputVolume", "30",
       "micLevel"},
      {HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/activationSensitivity", "80", kLocal,
       "vadSensitivity", "80", "vadSensitivity"},
      {HTTP_METHOD_PUT, "/tav-premade-voice/v1/capturedevices", R"("mic-2")", kLocal,
       "currentCaptureDeviceHandle", R"("mic-2")", "currentCaptureDeviceHandle"},
      {HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/inputMode", R"("pushToTalk")", kAccount,
       "inputMode", R"("pushToTalk")", "inputMode"},
      // Stored bit for bit; the voice engine bounds what it shows.
      {HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/micLevel", "-1", kLocal, "inputVolume",
       "4294967295", nullptr},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(std::string(row.path) + " " + row.body);
    const std::size_t writes = Bodies(HTTP_METHOD_PATCH, row.category).size();
    const InvokeResult answer = Call(row.method, row.path, row.body);
    EXPECT_FALSE(answer.failed) << answer.error;
    ASSERT_EQ(Bodies(HTTP_METHOD_PATCH, row.category).size(), writes + 1);
    world().Settle();
    EXPECT_EQ(Stored(row.category, row.stored), row.storedValue);
    if (row.shown != nullptr) {
      EXPECT_EQ(Call(HTTP_METHOD_GET, kSettings).value.Find(row.shown)->ToJson(), row.storedValue);
    }
  }
  // The mode switch took the derived flags and told the voice engine.
  const HostValue settings = Call(HTTP_METHOD_GET, kSettings).value;
  EXPECT_EQ(settings.Find("pttActive")->ToJson(), "true");
  EXPECT_EQ(settings.Find("vadActive")->ToJson(), "false");
  EXPECT_EQ(world().voiceChat().pushToTalk().ToJson(),
            R"({"pttEnabled":true,"pttKeyBinding":"[<Unbound>]"})");

  // Without a voice server the change still shows, to readers and to the
  // interface that follows the events; the engine gets it on connecting.
  world().DropVoiceServer();
  ASSERT_FALSE(Call(HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/micLevel", "33").failed);
  world().Settle();
  EXPECT_EQ(Published(kSettings).back().Find("micLevel")->ToJson(), "33");
  EXPECT_EQ(Call(HTTP_METHOD_GET, kSettings).value.Find("micLevel")->ToJson(), "33");
  world().ConnectVoiceServer();
  EXPECT_EQ(world().voiceChat().settings().Find("micLevel")->ToJson(), "33");
}

// Two changes made before the first one's change event comes back: the
// second write must carry the first.
TEST_F(VoiceSettingsTest, QuickSuccessiveChangesAllSurvive) {
  world().SignIn();
  ASSERT_FALSE(Call(HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/micLevel", "30").failed);
  ASSERT_FALSE(
      Call(HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/activationSensitivity", "80").failed);
  ASSERT_FALSE(Call(HTTP_METHOD_POST, "/tav-premade-voice/v1/first-experience/zeb").failed);
  ASSERT_FALSE(Call(HTTP_METHOD_POST, "/tav-premade-voice/v1/first-experience/game").failed);
  world().Settle();
  EXPECT_EQ(Stored(kLocal, "inputVolume"), "30");
  EXPECT_EQ(Stored(kLocal, "vadSensitivity"), "80");
  EXPECT_EQ(Stored(kAccount, "showFirstExperienceInZEB"), "false");
  EXPECT_EQ(Stored(kAccount, "showFirstExperienceInGame"), "false");
  const HostValue settings = Call(HTTP_METHOD_GET, kSettings).value;
  EXPECT_EQ(settings.Find("micLevel")->ToJson(), "30");
  EXPECT_EQ(settings.Find("vadSensitivity")->ToJson(), "80");
  EXPECT_EQ(Call(HTTP_METHOD_GET, "/tav-premade-voice/v1/first-experience").value.ToJson(),
            R"({"showFirstExperienceInGame":false,"showFirstExperienceInZEB":false})");

  // The reset keeps the introductions off and restores the rest.
  ASSERT_FALSE(Call(HTTP_METHOD_POST, "/tav-premade-voice/v1/settings/reset").failed);
  world().Settle();
  EXPECT_EQ(Stored(kLocal, "inputVolume"), "50");
  EXPECT_EQ(Stored(kAccount, "showFirstExperienceInZEB"), "false");
  EXPECT_EQ(Stored(kAccount, "showFirstExperienceInGame"), "false");
  ASSERT_FALSE(Call(HTTP_METHOD_POST, "/tav-premade-voice/v1/first-experience/reset").failed);
  world().Settle();
  EXPECT_EQ(Stored(kAccount, "showFirstExperienceInZEB"), "true");
}

// Before the settings are ready a setter reads its category itself; only
// when that read fails too is the change refused, and nothing is written.
TEST_F(VoiceSettingsTest, ChangesBeforeTheCategoryIsKnownReadItOrAreRefused) {
  world().settings().Fail(503, "settings store starting", HTTP_METHOD_GET);
  const struct {
    std::uint32_t method;
    const char* path;
    const char* body;
    const char* error;
  } kRows[] = {
      {HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/micLevel", "30", "Local"},
      {HTTP_METHOD_PUT, "/tav-premade-voice/v1/capturedevices", R"("mic-2")", "Local"},
      {HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/inputMode", R"("pushToTalk")", "Account"},
      {HTTP_METHOD_POST, "/tav-premade-voice/v1/first-experience/zeb", nullptr, "Account"},
      {HTTP_METHOD_POST, "/tav-premade-voice/v1/settings/reset", nullptr, "Account"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.path);
    const InvokeResult answer =
        Call(row.method, row.path,
             row.body != nullptr ? std::optional<std::string>(row.body) : std::nullopt);
    EXPECT_TRUE(answer.failed);
    EXPECT_EQ(answer.status, 503u);
    EXPECT_EQ(answer.error,
              std::string(row.error) + " settings are not loaded yet; try again later");
  }
  EXPECT_TRUE(Bodies(HTTP_METHOD_PATCH, kAccount).empty());
  EXPECT_TRUE(Bodies(HTTP_METHOD_PATCH, kLocal).empty());

  // Readable again, without a ready event: the category (stored by an
  // older version, with one member only) is read and the change goes on.
  ASSERT_TRUE(world().settings().Replace(
      kLocal, MakeObject({{"schemaVersion", 1u}, {"data", MakeObject({{"inputVolume", 20u}})}})));
  world().Heal("settings");
  const InvokeResult answer = Call(HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/micLevel", "30");
  EXPECT_FALSE(answer.failed) << answer.error;
  world().Settle();
  EXPECT_EQ(Stored(kLocal, "inputVolume"), "30");
  // The members the stored record lacked kept their defaults.
  EXPECT_EQ(Stored(kLocal, "vadSensitivity"), "65");
  EXPECT_EQ(Call(HTTP_METHOD_GET, kSettings).value.Find("vadSensitivity")->ToJson(), "65");
}

TEST_F(VoiceSettingsTest, AFailedReadOnReadyOverwritesNothingAndIsRetried) {
  world().SignIn();
  ASSERT_FALSE(Call(HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/micLevel", "30").failed);
  ASSERT_FALSE(Call(HTTP_METHOD_POST, "/tav-premade-voice/v1/first-experience/zeb").failed);
  world().Settle();
  const std::string account = world().settings().Record(kAccount).ToJson();

  Restart();
  world().Fail("settings", 500, "settings store busy");
  world().SignIn();
  EXPECT_TRUE(Bodies(HTTP_METHOD_PATCH, kAccount).empty());
  EXPECT_TRUE(Bodies(HTTP_METHOD_PATCH, kLocal).empty());
  EXPECT_EQ(LogCount("fetch failed on settings ready, keeping current values"), 2u);

  // Nothing is settable meanwhile: the setter's own read fails too.
  EXPECT_EQ(Call(HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/micLevel", "45").status, 503u);

  // The read is tried again by itself, without another ready event.
  world().Heal("settings");
  host().AdvanceClock(5);
  world().Settle();
  EXPECT_EQ(world().settings().Record(kAccount).ToJson(), account);
  EXPECT_EQ(Stored(kLocal, "inputVolume"), "30");
  EXPECT_EQ(Call(HTTP_METHOD_GET, kSettings).value.Find("micLevel")->ToJson(), "30");
  EXPECT_EQ(Call(HTTP_METHOD_GET, "/tav-premade-voice/v1/first-experience")
                .value.Find("showFirstExperienceInZEB")
                ->ToJson(),
            "false");
}

}  // namespace
}  // namespace Kelp::Host::Testing
