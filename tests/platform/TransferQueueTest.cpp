// Which queue moves the overlapped transfers of the Linux machine, and what it says about it: the
// thread pool where it is asked for, and where the kernel refuses a ring, which a child process
// of the test makes it do with a seccomp filter (the test process itself keeps its ring).
#include "TransferQueue.h"

#include "LogCapture.h"
#include "RingRefusal.h"
#include "TempDir.h"
#include "TestMachine.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

namespace {

// Writes 4096 bytes of 'q' at 4096 through a fresh queue for the file at `path`; the debug log
// the queue wrote, and "moved" when the write went well.
std::string write_through_queue(const std::string& path) {
  LogCapture log;
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0)
    return "cannot open " + path;
  bool moved = false;
  {
    const std::unique_ptr<platform::TransferQueue> queue = platform::make_transfer_queue(fd);
    std::string data(4096, 'q');
    platform::Transfer transfer;
    transfer.write = true;
    transfer.offset = 4096;
    transfer.buffer = data.data();
    transfer.length = data.size();
    queue->start(transfer);
    queue->wait_for(transfer);
    moved = transfer.ok && transfer.done == data.size();
  }
  ::close(fd);
  return log.text() + (moved ? "moved" : "not moved");
}

std::string bytes_at(const std::string& path, std::streamoff offset, std::size_t length) {
  std::ifstream stream(path, std::ios::binary);
  stream.seekg(offset);
  std::string bytes(length, '\0');
  stream.read(bytes.data(), static_cast<std::streamsize>(length));
  return bytes;
}

class TransferQueues : public ::testing::Test {
protected:
  void SetUp() override { std::ofstream(path, std::ios::binary) << std::string(16384, '\0'); }

  TempDir dir;
  std::string path = dir.file("image");
};

TEST_F(TransferQueues, ThreadsAskedForAreSaid) {
  ScopedEnvironment threads("CVW_TRANSFER_QUEUE", std::string("threads"));
  const std::string report = write_through_queue(path);
  EXPECT_EQ("TransferQueue.cpp(405): CVW_TRANSFER_QUEUE=threads: transfers go through "
            "threads\nmoved",
            report);
  EXPECT_EQ(std::string(4096, 'q'), bytes_at(path, 4096, 4096));
}

TEST_F(TransferQueues, ARefusedRingIsSaidWithItsReasonAndTheThreadsMoveTheBytes) {
  ScopedEnvironment unset("CVW_TRANSFER_QUEUE", std::nullopt);
  int report[2];
  ASSERT_EQ(0, pipe(report));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(report[0]);
    const std::string text =
        refuse_io_uring() ? write_through_queue(path) : std::string("no seccomp filter here");
    const ssize_t ignored = ::write(report[1], text.data(), text.size());
    (void)ignored;
    _exit(0);
  }
  ::close(report[1]);
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = ::read(report[0], buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<std::size_t>(n));
  ::close(report[0]);
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  if (text == "no seccomp filter here")
    GTEST_SKIP() << text;
  EXPECT_EQ("TransferQueue.cpp(413): the kernel gives no io_uring (errno 1: " +
                std::string(std::strerror(EPERM)) + "): transfers go through threads\nmoved",
            text);
  EXPECT_EQ(std::string(4096, 'q'), bytes_at(path, 4096, 4096));
}

} // namespace
