// `plugin-host serve` under load, as a separate process on 127.0.0.1: change
// requests by the thousand with the server's memory flat, reads that keep
// their pace while settings are written, 64 WebSockets of which one reads
// too slowly and is closed alone, and every acknowledged change on the disk
// after SIGTERM. It prints what it measured beside the goals.
//
// Usage: serve_load_test PLUGIN_HOST [--gtest_...]
// KELP_LOAD_CHANGES sets how many change requests the memory check sends
// (20000 by default).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/host/server/socket_client.h"

extern char** environ;

namespace Kelp::Host {
namespace {

using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;
using Testing::HttpReply;
using Testing::SocketClient;

std::string gPluginHost;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// plugin-host serve on a port of the kernel's choosing, with a data folder
// of its own; stopped with SIGTERM.
class ServerProcess {
 public:
  explicit ServerProcess(const std::filesystem::path& data) {
    int out[2];
    if (::pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string dataText = data.string();
    const char* argv[] = {gPluginHost.c_str(), "serve", "--port", "0", "--data",
                          dataText.c_str(),    nullptr};
    const int spawned = ::posix_spawn(&pid_, gPluginHost.c_str(), &actions, nullptr,
                                      const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
      pid_ = -1;
      ::close(out[0]);
      return;
    }
    out_ = out[0];
    // "plugin-host: serving NAME on http://127.0.0.1:PORT/"
    const std::string marker = "http://127.0.0.1:";
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (port_ == 0 && Clock::now() < deadline) {
      char chunk[512];
      pollfd waiting{out_, POLLIN, 0};
      if (::poll(&waiting, 1, 100) <= 0) continue;
      const ssize_t count = ::read(out_, chunk, sizeof chunk);
      if (count <= 0) break;
      output_.append(chunk, static_cast<std::size_t>(count));
      const std::size_t at = output_.find(marker);
      if (at != std::string::npos && output_.find('/', at + marker.size()) != std::string::npos) {
        port_ = static_cast<std::uint16_t>(std::stoul(output_.substr(at + marker.size())));
      }
    }
  }
  ~ServerProcess() {
    if (pid_ > 0) Stop();
    if (out_ >= 0) ::close(out_);
  }

  std::uint16_t port() const { return port_; }

  // The server's resident set, from /proc.
  long RssKiB() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
  }

  // SIGTERM, then its exit status (-1 when it did not end within 10 s).
  int Stop() {
    ::kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 1000; ++i) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::uint16_t port_ = 0;
  std::string output_;
};

// One keep-alive connection sending requests one after another.
class Connection {
 public:
  explicit Connection(std::uint16_t port) : port_(port), socket_(port) {}

  // The status, or 0 when no answer came.
  int Exchange(const std::string& method, const std::string& target, const std::string& body = "") {
    std::string request =
        method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) + "\r\n";
    if (!body.empty()) {
      request +=
          "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
          "\r\n";
    }
    request += "\r\n" + body;
    if (!socket_.Send(request)) return 0;
    const auto reply = socket_.ReadHttpReply(10000);
    if (!reply) return 0;
    return reply->status;
  }

 private:
  std::uint16_t port_;
  SocketClient socket_;
};

const std::string kVolume = "/tav-premade-voice/v1/participants/puuid-1/volume";
const std::string kMicLevel = "/tav-premade-voice/v1/self/micLevel";
const std::string kAvailability = "/tav-premade-voice/v1/availability";

// The two change requests of the memory check, by turns: a participant's
// volume and the microphone level, each to a value it does not hold yet.
int SendChange(Connection& connection, int i) {
  return i % 2 == 0 ? connection.Exchange("PUT", kVolume, std::to_string(i / 2 % 100 + 1))
                    : connection.Exchange("PUT", kMicLevel, std::to_string(i / 2 % 100));
}

// Runs `count` requests of `send` over `connections` connections at once;
// returns the requests per second, or 0 when one was not answered 200.
template <typename Send>
double Load(std::uint16_t port, int connections, int count, Send send) {
  std::atomic<int> next{0};
  std::atomic<bool> failed{false};
  const auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int c = 0; c < connections; ++c) {
    threads.emplace_back([&] {
      Connection connection(port);
      for (int i; !failed && (i = next++) < count;) {
        if (send(connection, i) != 200) failed = true;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  return failed ? 0 : count / SecondsSince(start);
}

struct ReadFigures {
  double perSecond = 0;
  double p50Ms = 0;
  double p99Ms = 0;
};

// GETs of the availability for `seconds` on one connection.
ReadFigures ReadFor(std::uint16_t port, double seconds) {
  Connection connection(port);
  std::vector<double> latencies;
  const auto start = Clock::now();
  while (SecondsSince(start) < seconds) {
    const auto sent = Clock::now();
    if (connection.Exchange("GET", kAvailability) != 200) return {};
    latencies.push_back(SecondsSince(sent) * 1000);
  }
  ReadFigures figures;
  figures.perSecond = latencies.size() / SecondsSince(start);
  std::sort(latencies.begin(), latencies.end());
  figures.p50Ms = latencies[latencies.size() / 2];
  figures.p99Ms = latencies[latencies.size() * 99 / 100];
  return figures;
}

class ServeLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    data_ = std::filesystem::temp_directory_path() /
            ("serve-load-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(data_);
    server_ = std::make_unique<ServerProcess>(data_);
    ASSERT_NE(server_->port(), 0) << "plugin-host serve did not start";
    Connection setup(server_->port());
    ASSERT_EQ(setup.Exchange("POST", "/host/world/form-party", R"({"size": 3})"), 200);
    ASSERT_EQ(setup.Exchange("POST", "/host/world/join-voice", R"({"player": 1})"), 200);
  }
  void TearDown() override {
    server_.reset();
    std::filesystem::remove_all(data_);
  }

  std::filesystem::path data_;
  std::unique_ptr<ServerProcess> server_;
};

TEST_F(ServeLoadTest, MemoryStaysFlatAndReadsKeepTheirPaceWhileSettingsAreWritten) {
  const std::uint16_t port = server_->port();
  const char* asked = std::getenv("KELP_LOAD_CHANGES");
  const int changes = asked != nullptr ? std::max(2000, std::atoi(asked)) : 20000;

  ASSERT_GT(Load(port, 4, 1000, SendChange), 0);
  const long warm = server_->RssKiB();
  const double changeRate = Load(port, 4, changes, SendChange);
  ASSERT_GT(changeRate, 0);
  const long loaded = server_->RssKiB();

  const double putRate = Load(port, 4, 5000, [](Connection& connection, int i) {
    return connection.Exchange("PUT", kMicLevel, std::to_string(i % 100));
  });
  ASSERT_GT(putRate, 0);

  const ReadFigures alone = ReadFor(port, 2);
  std::atomic<bool> writing{true};
  std::atomic<int> writes{0};
  std::thread writer([&] {
    Connection connection(port);
    while (writing) {
      if (connection.Exchange("PUT", kMicLevel, std::to_string(writes++ % 100)) != 200) return;
    }
  });
  const ReadFigures during = ReadFor(port, 2);
  writing = false;
  writer.join();
  ASSERT_GT(alone.perSecond, 0);
  ASSERT_GT(during.perSecond, 0);

  std::printf("serve under load (%d change requests after 1,000 to warm up):\n", changes);
  std::printf("  RSS after 1,000 changes      %8.1f MiB\n", warm / 1024.0);
  std::printf("  RSS after %6d more         %8.1f MiB  (goal: within 2x)\n", changes,
              loaded / 1024.0);
  std::printf("  changes, 4 connections       %8.0f /s\n", changeRate);
  std::printf("  microphone-level PUTs        %8.0f /s  (goal: 2,000)\n", putRate);
  std::printf("  availability GETs alone      %8.0f /s  p50 %.2f ms  p99 %.2f ms\n",
              alone.perSecond, alone.p50Ms, alone.p99Ms);
  std::printf("  ... while settings are written %6.0f /s  p50 %.2f ms  p99 %.2f ms  (%d writes)\n",
              during.perSecond, during.p50Ms, during.p99Ms, writes.load());
  std::printf("  ratio during / alone         %8.2fx  (goal: 0.5x)\n",
              during.perSecond / alone.perSecond);

  // Kept journals are bounded: what grows is noise of the allocator.
  EXPECT_LT(loaded, 2 * warm);
  EXPECT_LT(loaded - warm, 16 * 1024) << "KiB grown";
  // The floors sit well below the goals, so that a loaded machine passes,
  // and far above what a write to the disk per change allows (about 140/s,
  // with GETs at a hundredth of their rate alone). On two cores the GETs
  // share them with the writer and the server, and a build beside the test
  // takes more: 0.17x has been seen so.
  EXPECT_GT(putRate, 700);
  EXPECT_GT(during.perSecond / alone.perSecond, 0.05);

  // Every acknowledged change is on the disk once SIGTERM has ended it.
  Connection last(port);
  ASSERT_EQ(last.Exchange("PUT", kMicLevel, "37"), 200);
  EXPECT_EQ(server_->Stop(), 0);
  std::ifstream file(data_ / "local-tav-premade-voice.json");
  const std::string stored((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
  EXPECT_THAT(stored, HasSubstr(R"("inputVolume":37)"));
}

TEST_F(ServeLoadTest, SixtyFourWebSocketsLeaveHttpAnsweringAndASlowReaderIsClosedAlone) {
  const std::uint16_t port = server_->port();
  const std::string upgrade = "GET /events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                              "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                              "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                              "Sec-WebSocket-Version: 13\r\n\r\n";
  // The first never reads, with a small receive buffer; the others read.
  std::vector<std::unique_ptr<SocketClient>> sockets;
  for (int i = 0; i < 64; ++i) {
    sockets.push_back(std::make_unique<SocketClient>(port, i == 0 ? 4096 : 0));
    ASSERT_TRUE(sockets.back()->Send(upgrade));
    const auto upgraded = sockets.back()->ReadHttpReply();
    ASSERT_TRUE(upgraded.has_value()) << i;
    ASSERT_EQ(upgraded->status, 101) << i;
  }
  SocketClient refused(port);
  ASSERT_TRUE(refused.Send(upgrade));
  const auto full = refused.ReadHttpReply();
  ASSERT_TRUE(full.has_value());
  EXPECT_EQ(full->status, 503);

  std::atomic<bool> reading{true};
  std::vector<int> messages(sockets.size(), 0);
  std::vector<bool> closed(sockets.size(), false);
  std::thread readers([&] {
    while (reading) {
      std::vector<pollfd> waiting;
      for (std::size_t i = 1; i < sockets.size(); ++i) {
        waiting.push_back({sockets[i]->fd(), POLLIN, 0});
      }
      if (::poll(waiting.data(), waiting.size(), 50) <= 0) continue;
      for (std::size_t i = 1; i < sockets.size(); ++i) {
        if ((waiting[i - 1].revents & (POLLIN | POLLHUP)) == 0 || closed[i]) continue;
        if (sockets[i]->ReadWebSocketText(100)) {
          ++messages[i];
          while (sockets[i]->ReadWebSocketText(0)) ++messages[i];
        }
        closed[i] = closed[i] || !sockets[i]->closeFrame().empty();
      }
    }
  });

  // Changes until the slow reader's backlog is too long, with reads of
  // the availability among them answered in time.
  Connection connection(port);
  Connection reader(port);
  int sent = 0;
  bool slowClosed = false;
  double slowestReadMs = 0;
  const auto play = [&]() -> std::string {
    for (; sent < 30000 && !slowClosed; ++sent) {
      if (SendChange(connection, sent) != 200) return "change refused";
      if (sent % 100 != 0) continue;
      const auto asked = Clock::now();
      if (reader.Exchange("GET", kAvailability) != 200) return "read refused";
      slowestReadMs = std::max(slowestReadMs, SecondsSince(asked) * 1000);
      // A place among the 64 is free once the slow reader is gone.
      SocketClient probe(port);
      const auto answer = probe.Send(upgrade) ? probe.ReadHttpReply() : std::nullopt;
      if (!answer) return "upgrade unanswered";
      slowClosed = answer->status == 101;
    }
    return {};
  };
  const std::string failure = play();
  reading = false;
  readers.join();
  ASSERT_EQ(failure, "") << "after " << sent << " changes";
  std::printf("64 WebSockets: the slow reader was closed after %d changes; slowest read %.1f ms\n",
              sent, slowestReadMs);
  EXPECT_TRUE(slowClosed);
  EXPECT_LT(slowestReadMs, 1000);

  // It reads nothing at all: what was under way stays under way, so no
  // close frame can follow it, and after seconds the server lets it go
  // (its place among the 64 is free: the probe above got in). It can still
  // read what was sent before.
  SocketClient& slow = *sockets[0];
  int slowMessages = 0;
  while (slow.ReadWebSocketText(2000)) ++slowMessages;
  EXPECT_GT(slowMessages, 0);
  EXPECT_TRUE(slow.ClosedByServer(2000));
  for (std::size_t i = 1; i < sockets.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_FALSE(closed[i]);
    EXPECT_GT(messages[i], 0);
  }
}

}  // namespace
}  // namespace Kelp::Host

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: serve_load_test PLUGIN_HOST [--gtest_...]\n");
    return 2;
  }
  Kelp::Host::gPluginHost = argv[1];
  return RUN_ALL_TESTS();
}
