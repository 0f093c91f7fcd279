// Replaces files on a thread of its own, so that the thread that serves
// requests never waits for the disk.
//
// Write() hands over the whole new text of a file and returns at once. The
// writer thread replaces the file as ReplaceFile does (temporary copy,
// flushed, renamed over the old one). While a file is being written, later
// texts for it only replace each other: the next write takes the newest,
// so a burst of changes costs two writes, and a change reaches the disk at
// the latest when the write in progress and its own have finished.
//
// A write that fails is not tried again by the writer; the caller learns of
// it from Failure() and decides (the settings stand-in then writes on its
// own thread, and refuses the change when that fails too). The failure is
// kept until a later write of the file works, or ClearFailure(). Flush()
// waits until every text handed over has been written or has failed; the
// destructor flushes, so nothing acknowledged is lost when the host stops.
//
// Example:
//   DurableWriter writer;
//   writer.Write(dir / "a.json", text);   // returns before the disk is touched
//   writer.Flush();                       // a.json holds `text` (or failed)
//   if (auto error = writer.Failure(dir / "a.json")) Warn(*error);
#ifndef KELP_HOST_STANDINS_DURABLE_WRITER_H_
#define KELP_HOST_STANDINS_DURABLE_WRITER_H_

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace Kelp::Host {

class DurableWriter {
 public:
  DurableWriter();
  ~DurableWriter();
  DurableWriter(const DurableWriter&) = delete;
  DurableWriter& operator=(const DurableWriter&) = delete;

  // Queues `text` as the next content of `path`, replacing any text still
  // queued for it.
  void Write(const std::filesystem::path& path, std::string text);
  // Returns once every queued text is on the disk or has failed.
  void Flush();
  // Why the last write of `path` failed; nothing when it did not.
  std::optional<std::string> Failure(const std::filesystem::path& path) const;
  // Forgets the failure of `path` (the caller has written it since).
  void ClearFailure(const std::filesystem::path& path);
  // How many file replacements the writer thread has made (failed ones
  // included).
  std::uint64_t writes() const;

 private:
  void Drain();

  mutable std::mutex mutex_;
  std::condition_variable wake_;  // work queued, or stopping
  std::condition_variable idle_;  // a write finished
  std::map<std::filesystem::path, std::string> queued_;
  std::map<std::filesystem::path, std::string> failures_;
  std::size_t inProgress_ = 0;
  std::uint64_t writes_ = 0;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once everything above is made
};

}  // namespace Kelp::Host

#endif  // KELP_HOST_STANDINS_DURABLE_WRITER_H_
