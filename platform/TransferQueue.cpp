// Overlapped transfers over io_uring, or over a few threads where the kernel gives no ring.
#include "TransferQueue.h"

#include "Errno.h"

#include <liburing.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace platform {

namespace {

void finish(Transfer& transfer, bool ok, DWORD error) {
  transfer.ok = ok;
  transfer.error = ok ? 0 : error;
  transfer.finished.store(true, std::memory_order_release);
  transfer.finished.notify_all();
}

// The kernel runs the transfers; completions are collected by whoever waits for one.
class UringQueue : public TransferQueue {
public:
  explicit UringQueue(int fd) : fd(fd) {}

  // False when the kernel refuses a ring (io_uring disabled, or not allowed to this process).
  // Completions are posted when the waiting thread enters the kernel, not by interrupting the
  // thread while it prepares the next transfer; a kernel that does not know that way of working
  // gives a ring of the plain kind.
  bool set_up() {
    ready = io_uring_queue_init(ring_entries, &ring,
                                IORING_SETUP_COOP_TASKRUN | IORING_SETUP_TASKRUN_FLAG) == 0 ||
            io_uring_queue_init(ring_entries, &ring, 0) == 0;
    return ready;
  }

  ~UringQueue() override {
    if (!ready)
      return;
    std::lock_guard<std::mutex> lock(mutex);
    while (!inFlight.empty())
      collect();
    io_uring_queue_exit(&ring);
  }

  void start(Transfer& transfer) override {
    std::lock_guard<std::mutex> lock(mutex);
    io_uring_sqe* entry = broken ? nullptr : io_uring_get_sqe(&ring);
    while (entry == nullptr && !broken && !inFlight.empty()) { // the ring is full: make room
      collect();
      entry = broken ? nullptr : io_uring_get_sqe(&ring);
    }
    if (entry == nullptr) {
      run_transfer_now(fd, transfer);
      return;
    }
    const auto length = static_cast<unsigned>(transfer.length);
    const int kept = kept_index(transfer.buffer, transfer.length);
    if (kept >= 0 && transfer.write)
      io_uring_prep_write_fixed(entry, fd, transfer.buffer, length, transfer.offset, kept);
    else if (kept >= 0)
      io_uring_prep_read_fixed(entry, fd, transfer.buffer, length, transfer.offset, kept);
    else if (transfer.write)
      io_uring_prep_write(entry, fd, transfer.buffer, length, transfer.offset);
    else
      io_uring_prep_read(entry, fd, transfer.buffer, length, transfer.offset);
    io_uring_sqe_set_data(entry, &transfer);
    int submitted = 0;
    do
      submitted = io_uring_submit(&ring);
    while (submitted == -EINTR || submitted == -EAGAIN);
    if (submitted < 0) {
      // Nothing went to the kernel, and the entry stays queued in the ring: nothing more can
      // go through it.
      broken = true;
      run_transfer_now(fd, transfer);
      return;
    }
    inFlight.push_back(&transfer);
  }

  void wait_for(Transfer& transfer) override {
    std::lock_guard<std::mutex> lock(mutex);
    while (!transfer.finished.load(std::memory_order_acquire) && !inFlight.empty())
      collect();
  }

  // The memory becomes one of the ring's registered buffers, in a table made at the first call.
  bool keep_memory(void* start, std::size_t length) override {
    std::lock_guard<std::mutex> lock(mutex);
    if (broken || kept.size() >= most_kept) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return false;
    }
    if (!table) {
      const int made = io_uring_register_buffers_sparse(&ring, most_kept);
      if (made < 0) {
        set_last_error_from_errno(-made);
        return false;
      }
      table = true;
    }
    iovec range{start, length};
    const int updated = io_uring_register_buffers_update_tag(
        &ring, static_cast<unsigned>(kept.size()), &range, nullptr, 1);
    if (updated < 0) {
      set_last_error_from_errno(-updated);
      return false;
    }
    kept.push_back(range);
    return true;
  }

private:
  static constexpr unsigned ring_entries = 64;
  static constexpr std::size_t most_kept = 8;

  // The registered buffer that holds the `length` bytes at `buffer` whole; -1 when none does.
  int kept_index(const void* buffer, std::size_t length) const {
    const auto at = reinterpret_cast<std::uintptr_t>(buffer);
    for (std::size_t i = 0; i < kept.size(); ++i) {
      const auto base = reinterpret_cast<std::uintptr_t>(kept[i].iov_base);
      if (at >= base && at - base <= kept[i].iov_len && length <= kept[i].iov_len - (at - base))
        return static_cast<int>(i);
    }
    return -1;
  }

  // Waits for a completion and gives its transfer the outcome, and so for every other
  // completion that has come meanwhile. Called with the lock held.
  void collect() {
    io_uring_cqe* completion = nullptr;
    int waited = 0;
    do
      waited = io_uring_wait_cqe(&ring, &completion);
    while (waited == -EINTR || waited == -EAGAIN);
    if (waited < 0 || completion == nullptr) {
      // The ring itself failed: nothing more will come out of it, and where the transfers in
      // flight stand is not known.
      broken = true;
      for (Transfer* lost : inFlight) {
        lost->done = 0;
        finish(*lost, false, ERROR_IO_DEVICE);
      }
      inFlight.clear();
      return;
    }
    do {
      auto* transfer = static_cast<Transfer*>(io_uring_cqe_get_data(completion));
      const int result = completion->res;
      io_uring_cqe_seen(&ring, completion);
      conclude(*transfer, result);
    } while (io_uring_peek_cqe(&ring, &completion) == 0 && completion != nullptr);
  }

  // Gives `transfer` the outcome `result` of its completion.
  void conclude(Transfer& transfer, int result) {
    const auto found = std::find(inFlight.begin(), inFlight.end(), &transfer);
    if (found != inFlight.end()) {
      *found = inFlight.back();
      inFlight.pop_back();
    }
    if (result == -EINTR || result == -EAGAIN) {
      run_transfer_now(fd, transfer);
    } else if (result < 0) {
      transfer.done = 0;
      finish(transfer, false, win32_error_from_errno(-result));
    } else if (static_cast<std::size_t>(result) < transfer.length) {
      run_transfer_now(fd, transfer, static_cast<std::size_t>(result)); // the rest, if any
    } else {
      transfer.done = transfer.length;
      finish(transfer, true, 0);
    }
  }

  int fd;
  io_uring ring{};
  bool ready = false;
  bool broken = false; // the ring failed: transfers are run at once
  bool table = false;  // the table of registered buffers is there
  std::vector<iovec> kept;
  std::mutex mutex;
  std::vector<Transfer*> inFlight; // at most the ring's entries
};

// Threads of our own, started as they are needed, each moving one transfer at a time.
class ThreadQueue : public TransferQueue {
public:
  explicit ThreadQueue(int fd) : fd(fd) {}

  ~ThreadQueue() override {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true; // the workers empty the queue first
    }
    waiting.notify_all();
    for (std::thread& worker : workers)
      worker.join();
  }

  void start(Transfer& transfer) override {
    {
      std::lock_guard<std::mutex> lock(mutex);
      queue.push_back(&transfer);
      if (idle == 0 && workers.size() < most_workers) {
        try {
          workers.emplace_back(&ThreadQueue::work, this);
        } catch (const std::system_error&) {
          if (workers.empty()) { // no thread to be had: move it here
            queue.pop_back();
            run_transfer_now(fd, transfer);
            return;
          }
        }
      }
    }
    waiting.notify_one();
  }

  // Sleeps until a worker has finished the transfer.
  void wait_for(Transfer& transfer) override {
    std::unique_lock<std::mutex> lock(mutex);
    finished.wait(lock, [&] { return transfer.finished.load(std::memory_order_acquire); });
  }

  // Each pread and pwrite locks its buffer for itself; there is nothing to keep.
  bool keep_memory(void*, std::size_t) override {
    SetLastError(ERROR_NOT_SUPPORTED);
    return false;
  }

private:
  static constexpr std::size_t most_workers = 16;

  void work() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      ++idle;
      waiting.wait(lock, [this] { return stopping || !queue.empty(); });
      --idle;
      if (queue.empty())
        return; // stopping
      Transfer* transfer = queue.front();
      queue.pop_front();
      lock.unlock();
      run_transfer_now(fd, *transfer);
      lock.lock();
      finished.notify_all();
    }
  }

  int fd;
  std::mutex mutex;
  std::condition_variable waiting;
  std::condition_variable finished; // a worker has finished a transfer
  std::deque<Transfer*> queue;
  std::vector<std::thread> workers;
  std::size_t idle = 0;
  bool stopping = false;
};

} // namespace

void run_transfer_now(int fd, Transfer& transfer, std::size_t from) {
  std::size_t done = from;
  auto* bytes = static_cast<char*>(transfer.buffer);
  while (done < transfer.length) {
    const off_t at = static_cast<off_t>(transfer.offset + done);
    const ssize_t n = transfer.write ? pwrite(fd, bytes + done, transfer.length - done, at)
                                     : pread(fd, bytes + done, transfer.length - done, at);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 || (n == 0 && transfer.write)) {
      transfer.done = done;
      finish(transfer, false, win32_error_from_errno(n < 0 ? errno : ENOSPC));
      return;
    }
    if (n == 0)
      break; // the end of the medium
    done += static_cast<std::size_t>(n);
  }
  transfer.done = done;
  finish(transfer, true, 0);
}

std::unique_ptr<TransferQueue> make_transfer_queue(int fd) {
  const char* asked = std::getenv("CVW_TRANSFER_QUEUE");
  const bool threads = asked != nullptr && std::strcmp(asked, "threads") == 0;
  if (!threads) {
    auto ring = std::make_unique<UringQueue>(fd);
    if (ring->set_up())
      return ring;
  }
  return std::make_unique<ThreadQueue>(fd);
}

} // namespace platform
