#include "host/standins/durable_writer.h"

#include <utility>

#include "host/standins/json_file.h"

namespace Kelp::Host {

DurableWriter::DurableWriter() : thread_([this] { Drain(); }) {}

DurableWriter::~DurableWriter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  // The thread writes what is queued before it ends.
  thread_.join();
}

void DurableWriter::Write(const std::filesystem::path& path, std::string text) {
  {
    std::lock_guard lock(mutex_);
    queued_.insert_or_assign(path, std::move(text));
  }
  wake_.notify_one();
}

void DurableWriter::Flush() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return queued_.empty() && inProgress_ == 0; });
}

std::optional<std::string> DurableWriter::Failure(const std::filesystem::path& path) const {
  std::lock_guard lock(mutex_);
  const auto found = failures_.find(path);
  if (found == failures_.end()) return std::nullopt;
  return found->second;
}

void DurableWriter::ClearFailure(const std::filesystem::path& path) {
  std::lock_guard lock(mutex_);
  failures_.erase(path);
}

std::uint64_t DurableWriter::writes() const {
  std::lock_guard lock(mutex_);
  return writes_;
}

void DurableWriter::Drain() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
    if (queued_.empty()) return;  // stopping, with nothing left
    auto next = queued_.extract(queued_.begin());
    ++inProgress_;
    lock.unlock();
    std::string error = ReplaceFile(next.key(), next.mapped());
    lock.lock();
    --inProgress_;
    ++writes_;
    if (error.empty()) {
      failures_.erase(next.key());
    } else {
      failures_.insert_or_assign(std::move(next.key()), std::move(error));
    }
    if (queued_.empty() && inProgress_ == 0) idle_.notify_all();
  }
}

}  // namespace Kelp::Host
