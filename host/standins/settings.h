// Stand-in for the settings plugin: the voice service's two stored
// categories, kept as one JSON file per category under a data directory so
// that they survive a restart of the host.
//
// A category reads as {"schemaVersion", "data"}; "data" is absent while
// nothing is stored. A PATCH merges the members it sends into the stored
// record (objects member by member), writes the file and queues a change
// event of the category. A file that is missing or cannot be read as a
// category reads as nothing stored, with a warning in the journal; a corrupt
// file is moved aside to "<file>.corrupt" so that the next write does not
// destroy it.
//
// Files are written on the thread that runs the host loop, and a change is
// answered once its file is on the disk, unless WriteInBackground() hands
// the writes to a DurableWriter: a change is then answered at once and its
// file written moments later, which a server that takes many changes a
// second needs. After a background write failed, the next change is written
// on the loop thread again, and refused when that fails too.
#ifndef KELP_HOST_STANDINS_SETTINGS_H_
#define KELP_HOST_STANDINS_SETTINGS_H_

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/standins/durable_writer.h"
#include "host/standins/stand_in.h"

namespace Kelp::Host {

class SettingsStandIn : public StandIn {
 public:
  static constexpr std::string_view kAccountPath =
      "/tav-settings/v2/account/ZEBPreferences/tav-premade-voice";
  static constexpr std::string_view kLocalPath = "/tav-settings/v2/local/tav-premade-voice";
  static constexpr std::string_view kReadyPath = "/tav-settings/v2/ready";

  // Reads the stored categories from `dataDir` (created when missing). An
  // empty `dataDir` keeps everything in memory.
  SettingsStandIn(ReferenceHost& host, WorldJournal& journal, std::filesystem::path dataDir);

  // Queues the ready event (an Update carrying true).
  void AnnounceReady();
  // The record a GET of `path` answers; null for an unknown path.
  HostValue Record(std::string_view path) const;
  // Stores `record` (replacing the category, as another client would),
  // writes the file and queues a change event. False for an unknown path or
  // when the file could not be written (the stored record is then unchanged).
  bool Replace(std::string_view path, const HostValue& record);
  // The file a category lives in; empty without a data directory.
  std::filesystem::path FileOf(std::string_view path) const;
  // From now on, files are written by a writer thread (see above).
  void WriteInBackground();
  // Waits until every change handed to the writer thread is on the disk,
  // and returns (and warns of) the writes that failed. Nothing to wait for
  // without WriteInBackground().
  std::vector<std::string> FlushWrites();

 private:
  struct Category {
    std::string path;
    std::string fileName;
    HostValue record;  // an object; "data" absent while nothing is stored
  };

  Category* Find(std::string_view path);
  const Category* Find(std::string_view path) const;
  void Load(Category& category);
  // Writes `record` as the category's file and then keeps it; returns the
  // error text of a failed write.
  std::string Store(Category& category, HostValue record);
  HostAnswer Patch(Category& category, const OutboundRequest& request);

  std::filesystem::path dataDir_;
  std::vector<Category> categories_;
  std::unique_ptr<DurableWriter> writer_;  // null: written on the loop thread
};

}  // namespace Kelp::Host

#endif  // KELP_HOST_STANDINS_SETTINGS_H_
