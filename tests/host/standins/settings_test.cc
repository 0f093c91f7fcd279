#include "host/standins/settings.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/standins/json_file.h"
#include "tests/host/standins/stand_in_fixture.h"

namespace Kelp::Host {
namespace {

using Testing::StandInTest;

const std::string kAccount(SettingsStandIn::kAccountPath);
const std::string kLocal(SettingsStandIn::kLocalPath);

// A fresh data directory per test, removed afterwards.
class SettingsStandInTest : public StandInTest {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("settings-stand-in-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void WriteFile(const std::string& name, const std::string& text) {
    std::filesystem::create_directories(dir_);
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
  std::string FileText(const std::filesystem::path& path) {
    std::string text, error;
    return ReadWholeFile(path, text, error) ? text : "<" + error + ">";
  }

  std::filesystem::path dir_;
};

TEST_F(SettingsStandInTest, PatchMergesStoresAndQueuesTheChangeOutsideTheRequest) {
  WorldJournal journal(host_);
  SettingsStandIn settings(host_, journal, dir_);
  Start({kAccount, kLocal, std::string(SettingsStandIn::kReadyPath)});
  EXPECT_TRUE(journal.Noted("nothing stored for " + kAccount));

  EXPECT_EQ(Ask(HTTP_METHOD_GET, kAccount).value.ToJson(), R"({"schemaVersion":1})");
  const HostAnswer first =
      Ask(HTTP_METHOD_PATCH, kAccount,
          MakeObject({{"schemaVersion", 1u},
                      {"data", MakeObject({{"autoJoin", false}, {"pushToTalkKey", "F"}})}}));
  EXPECT_FALSE(first.error.has_value());
  // Answered, but the plugin that asked has not been called back.
  EXPECT_THAT(plugin_.received, ::testing::IsEmpty());
  Ask(HTTP_METHOD_PATCH, kAccount,
      MakeObject({{"data", MakeObject({{"muteOnConnect", true}, {"pushToTalkKey", ""}})}}));
  Ask(HTTP_METHOD_PATCH, kLocal, MakeObject({{"data", MakeObject({{"inputVolume", 30u}})}}));
  settings.AnnounceReady();
  host_.RunReady();

  const std::string merged =
      R"({"schemaVersion":1,"data":{"autoJoin":false,"pushToTalkKey":"","muteOnConnect":true}})";
  EXPECT_EQ(Ask(HTTP_METHOD_GET, kAccount).value.ToJson(), merged);
  const auto events = EventsOf(kAccount);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].ToJson(), merged);
  EXPECT_EQ(EventsOf(kLocal).size(), 1u);
  EXPECT_EQ(EventsOf(SettingsStandIn::kReadyPath).size(), 1u);
  EXPECT_EQ(FileText(settings.FileOf(kAccount)), merged);
  EXPECT_FALSE(std::filesystem::exists(settings.FileOf(kAccount).string() + ".tmp"));

  const struct {
    HostValue body;
    const char* error;
  } kRefused[] = {
      {HostValue("text"), "the body of a category PATCH must be an object"},
      {MakeObject({{"data", 3}}), "\"data\" must be an object"},
  };
  for (const auto& row : kRefused) {
    SCOPED_TRACE(row.body.ToJson());
    const HostAnswer answer = Ask(HTTP_METHOD_PATCH, kAccount, row.body);
    EXPECT_EQ(answer.status, 400u);
    EXPECT_EQ(answer.error, row.error);
  }
  EXPECT_EQ(Ask(HTTP_METHOD_GET, kAccount).value.ToJson(), merged);
}

TEST_F(SettingsStandInTest, StoredCategoriesSurviveARestartOfTheHost) {
  const HostValue local =
      MakeObject({{"schemaVersion", 1u},
                  {"data", MakeObject({{"currentCaptureDeviceHandle", "mic \"2\" \xC3\xA9"},
                                       {"inputVolume", 4294967295u},
                                       {"vadSensitivity", 65u}})}});
  {
    ReferenceHost first(nullptr);
    WorldJournal journal(first);
    SettingsStandIn settings(first, journal, dir_);
    ASSERT_TRUE(settings.Replace(kLocal, local));
  }
  WorldJournal journal(host_);
  SettingsStandIn settings(host_, journal, dir_);
  EXPECT_EQ(Ask(HTTP_METHOD_GET, kLocal).value, local);
  EXPECT_TRUE(journal.Noted("read " + kLocal));
  EXPECT_EQ(Ask(HTTP_METHOD_GET, kAccount).value.ToJson(), R"({"schemaVersion":1})");
}

TEST_F(SettingsStandInTest, UnreadableFilesReadAsNothingStoredAndAreKeptAside) {
  const std::string deep = std::string(600, '[') + std::string(600, ']');
  const struct {
    const char* name;
    std::string text;
    const char* why;
  } kRows[] = {
      {"truncated", R"({"schemaVersion":1,"data":{"autoJoin":tr)", "Invalid value."},
      {"empty", "", "The document is empty."},
      {"array", "[1,2]", "not a JSON object"},
      {"data not an object", R"({"data":5})", "\"data\" is no object"},
      {"trailing text", R"({"schemaVersion":1} x)", "must not be followed by other values"},
      {"deep", deep, "nesting deeper than 512"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    WriteFile("local-tav-premade-voice.json", row.text);
    ReferenceHost host(nullptr);
    WorldJournal journal(host);
    SettingsStandIn settings(host, journal, dir_);
    EXPECT_EQ(settings.Record(kLocal).ToJson(), R"({"schemaVersion":1})");
    ASSERT_FALSE(journal.notes().empty());
    bool warned = false;
    for (const WorldNote& note : journal.notes()) {
      warned |= note.warning && note.text.find("is corrupt") != std::string::npos &&
                note.text.find(row.why) != std::string::npos;
    }
    EXPECT_TRUE(warned);
    const std::filesystem::path file = settings.FileOf(kLocal);
    EXPECT_EQ(FileText(file.string() + ".corrupt"), row.text);
    EXPECT_FALSE(std::filesystem::exists(file));
    std::filesystem::remove(file.string() + ".corrupt");
  }
}

TEST_F(SettingsStandInTest, FailuresLeaveTheStoredRecordAndSendNoEvent) {
  WorldJournal journal(host_);
  SettingsStandIn settings(host_, journal, dir_);
  Start({kAccount});
  const HostValue patch = MakeObject({{"data", MakeObject({{"autoJoin", false}})}});

  settings.Fail(503, "settings are down");
  for (std::uint32_t method : {HTTP_METHOD_GET, HTTP_METHOD_PATCH}) {
    const HostAnswer answer = Ask(method, kAccount, patch);
    EXPECT_EQ(answer.status, 503u);
    EXPECT_EQ(answer.error, "settings are down");
  }
  settings.Heal();
  // The temporary file cannot be made: the write fails, nothing changes.
  std::filesystem::create_directories(settings.FileOf(kAccount).string() + ".tmp");
  const HostAnswer unwritable = Ask(HTTP_METHOD_PATCH, kAccount, patch);
  EXPECT_EQ(unwritable.status, 500u);
  EXPECT_THAT(unwritable.error.value_or(""), ::testing::StartsWith("could not store " + kAccount));
  host_.RunReady();
  EXPECT_THAT(EventsOf(kAccount), ::testing::IsEmpty());
  EXPECT_EQ(settings.Record(kAccount).ToJson(), R"({"schemaVersion":1})");
  EXPECT_FALSE(std::filesystem::exists(settings.FileOf(kAccount)));
}

TEST_F(SettingsStandInTest, BackgroundWritesReachTheDiskAndAFailedOneIsNotLost) {
  const auto patch = [](const char* name, std::uint32_t value) {
    return MakeObject({{"data", MakeObject({{name, value}})}});
  };
  std::filesystem::path file;
  {
    WorldJournal journal(host_);
    SettingsStandIn settings(host_, journal, dir_);
    settings.WriteInBackground();
    Start({kLocal});
    file = settings.FileOf(kLocal);
    for (std::uint32_t volume = 0; volume <= 100; ++volume) {
      ASSERT_EQ(Ask(HTTP_METHOD_PATCH, kLocal, patch("inputVolume", volume)).status, 200u);
    }
    EXPECT_THAT(settings.FlushWrites(), ::testing::IsEmpty());
    const std::string written = R"({"schemaVersion":1,"data":{"inputVolume":100}})";
    EXPECT_EQ(FileText(file), written);

    // A background write that fails: the change was answered and stays; the
    // next change is written on the loop thread, and refused while that
    // fails too.
    std::filesystem::create_directories(file.string() + ".tmp");
    EXPECT_EQ(Ask(HTTP_METHOD_PATCH, kLocal, patch("vadSensitivity", 10)).status, 200u);
    const auto failures = settings.FlushWrites();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_THAT(failures[0], ::testing::StartsWith("cannot write " + file.string() + ": open"));
    const HostAnswer refused = Ask(HTTP_METHOD_PATCH, kLocal, patch("inputVolume", 7));
    EXPECT_EQ(refused.status, 500u);
    EXPECT_EQ(FileText(file), written);
    EXPECT_EQ(settings.Record(kLocal).ToJson(),
              R"({"schemaVersion":1,"data":{"inputVolume":100,"vadSensitivity":10}})");
    EXPECT_TRUE(journal.Noted("cannot write " + file.string()));

    std::filesystem::remove(file.string() + ".tmp");
    EXPECT_EQ(Ask(HTTP_METHOD_PATCH, kLocal, patch("inputVolume", 8)).status, 200u);
    EXPECT_EQ(FileText(file),
              R"({"schemaVersion":1,"data":{"inputVolume":8,"vadSensitivity":10}})");
    // The last change is only handed over; stopping writes it.
    EXPECT_EQ(Ask(HTTP_METHOD_PATCH, kLocal, patch("inputVolume", 9)).status, 200u);
  }
  EXPECT_EQ(FileText(file), R"({"schemaVersion":1,"data":{"inputVolume":9,"vadSensitivity":10}})");
}

}  // namespace
}  // namespace Kelp::Host
