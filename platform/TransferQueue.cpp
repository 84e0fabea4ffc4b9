// Overlapped transfers over io_uring, or over a few threads where the kernel gives no ring.
#include "TransferQueue.h"

#include "Errno.h"

#include "DebugLog.h"

#include <liburing.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <ostream>
#include <system_error>
#include <thread>
#include <vector>

namespace platform {

namespace {

// Gives `transfer` its outcome. Nothing of the transfer is touched after it is marked finished:
// its waiter may take that for its end and free it at once. Whoever waits for it is woken
// through something its queue owns.
void finish(Transfer& transfer, bool ok, DWORD error) {
  transfer.ok = ok;
  transfer.error = ok ? 0 : error;
  transfer.finished.store(true, std::memory_order_release);
}

// The kernel runs the transfers; completions are collected by whoever waits for one.
//
// A transfer that is started while others are in flight is not handed to the kernel at once: it
// goes with the next wait (or poll), in the same call, so that a caller keeping many transfers in
// flight makes one system call for several of them. A wait takes in a quarter of those in flight
// at once, not one each time, so that such a caller sleeps and wakes once for several transfers
// while the device still has the others to work on.
//
// Where the kernel offers it, the ring's completions are made ready only when its thread waits
// for them (IORING_SETUP_DEFER_TASKRUN), rather than by interrupting that thread, and the kernel
// wakes the waiter only once as many as it waits for are there. Such a ring takes transfers from
// the thread that made it alone: on any other thread a transfer is moved at once, with pread or
// pwrite, and a transfer started on the ring's thread ends when that thread next waits or polls.
class UringQueue : public TransferQueue {
public:
  explicit UringQueue(int fd) : fd(fd), owner(std::this_thread::get_id()) {}

  // False when the kernel refuses a ring (io_uring disabled, or not allowed to this process),
  // with the errno of its last refusal in `refusal`. A kernel that does not know the deferred way
  // of working gives a ring whose completions are posted when the waiting thread enters the
  // kernel, not by interrupting it while it prepares the next transfer; one that knows neither,
  // a ring of the plain kind.
  bool set_up(int& refusal) {
    single = io_uring_queue_init(ring_entries, &ring,
                                 IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_DEFER_TASKRUN) == 0;
    if (single) {
      ready = true;
      return true;
    }
    int result = io_uring_queue_init(ring_entries, &ring,
                                     IORING_SETUP_COOP_TASKRUN | IORING_SETUP_TASKRUN_FLAG);
    if (result != 0)
      result = io_uring_queue_init(ring_entries, &ring, 0);
    ready = result == 0;
    refusal = -result;
    return ready;
  }

  ~UringQueue() override {
    if (!ready)
      return;
    std::lock_guard<std::mutex> lock(mutex);
    if (may_enter()) {
      while (!inFlight.empty() || !waiting.empty())
        collect(true);
    } else {
      // Only the ring's thread can wait for what it started: the kernel cancels those transfers
      // when the ring goes, keeping their pages until they have ended.
      for (Transfer* lost : waiting)
        abort(*lost);
      for (Transfer* lost : inFlight)
        abort(*lost);
    }
    io_uring_queue_exit(&ring);
  }

  void start(Transfer& transfer) override {
    std::unique_lock<std::mutex> lock(mutex);
    if (broken || !may_enter()) {
      lock.unlock();
      run_transfer_now(fd, transfer);
      return;
    }
    io_uring_sqe* entry = io_uring_get_sqe(&ring);
    while (entry == nullptr && !broken && (!inFlight.empty() || !waiting.empty())) {
      collect(true); // the ring is full: make room
      entry = broken ? nullptr : io_uring_get_sqe(&ring);
    }
    if (entry == nullptr) {
      lock.unlock();
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
    waiting.push_back(&transfer);
    if (inFlight.empty())
      submit(); // the device has nothing to do: it starts now
  }

  void wait_for(Transfer& transfer) override {
    std::unique_lock<std::mutex> lock(mutex);
    if (!may_enter()) {
      // The ring's thread takes the completion in; a transfer of this thread has ended already.
      lock.unlock();
      for (;;) {
        const std::uint32_t seen = concluded.load(std::memory_order_acquire);
        if (transfer.finished.load(std::memory_order_acquire))
          return;
        concluded.wait(seen, std::memory_order_acquire);
      }
    }
    while (!transfer.finished.load(std::memory_order_acquire) &&
           (!inFlight.empty() || !waiting.empty()))
      collect(true);
  }

  void poll() override {
    std::lock_guard<std::mutex> lock(mutex);
    if (may_enter() && (!inFlight.empty() || !waiting.empty()))
      collect(false);
  }

  // The memory becomes one of the ring's registered buffers, in a table made at the first call.
  bool keep_memory(void* start, std::size_t length) override {
    std::lock_guard<std::mutex> lock(mutex);
    if (!may_enter()) {
      SetLastError(ERROR_NOT_SUPPORTED);
      return false;
    }
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
  static constexpr unsigned ring_entries = 128;
  static constexpr std::size_t most_kept = 8;

  // Whether the calling thread may submit to the ring and wait on it.
  bool may_enter() const { return !single || std::this_thread::get_id() == owner; }

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

  // Hands the waiting transfers to the kernel. Called with the lock held.
  void submit() {
    int submitted = 0;
    do
      submitted = io_uring_submit(&ring);
    while (submitted == -EINTR || submitted == -EAGAIN);
    taken(submitted);
  }

  // After a call that was to hand the waiting transfers to the kernel and gave `result`: those
  // the kernel took are in flight. When it refused them, they stay queued in the ring, where
  // nothing more can go through: they are moved here, and so is every transfer from now on.
  // Called with the lock held.
  void taken(int result) {
    const std::size_t left = std::min<std::size_t>(io_uring_sq_ready(&ring), waiting.size());
    const std::size_t went = waiting.size() - left;
    inFlight.insert(inFlight.end(), waiting.begin(),
                    waiting.begin() + static_cast<std::ptrdiff_t>(went));
    waiting.erase(waiting.begin(), waiting.begin() + static_cast<std::ptrdiff_t>(went));
    if (left == 0 || result >= 0 || result == -EINTR || result == -EAGAIN)
      return;
    broken = true;
    std::vector<Transfer*> refused;
    refused.swap(waiting);
    for (Transfer* transfer : refused)
      run_transfer_now(fd, *transfer);
    wake_waiters();
  }

  // Takes in the completions there are, after handing the waiting transfers to the kernel; with
  // `block`, waits for a quarter of those in flight (at least one) when none is there. Called
  // with the lock held, on a thread that may enter the ring.
  void collect(bool block) {
    if (io_uring_cq_ready(&ring) == 0) {
      const std::size_t all = inFlight.size() + waiting.size();
      const auto batch = static_cast<unsigned>(std::max<std::size_t>(all / 4, 1));
      int entered = 0;
      if (broken || waiting.empty()) {
        io_uring_cqe* first = nullptr;
        entered = block ? io_uring_wait_cqe_nr(&ring, &first, batch) : io_uring_get_events(&ring);
      } else {
        entered =
            block ? io_uring_submit_and_wait(&ring, batch) : io_uring_submit_and_get_events(&ring);
        const bool wasBroken = broken;
        taken(entered);
        if (broken != wasBroken)
          return; // the kernel refused the transfers: those in flight are waited for next time
      }
      if (entered < 0 && entered != -EINTR && entered != -EAGAIN && !inFlight.empty() &&
          io_uring_cq_ready(&ring) == 0) {
        // The ring itself failed: nothing more will come out of it, and where the transfers in
        // flight stand is not known.
        broken = true;
        for (Transfer* lost : inFlight) {
          lost->done = 0;
          finish(*lost, false, ERROR_IO_DEVICE);
        }
        inFlight.clear();
        wake_waiters();
        return;
      }
    }
    io_uring_cqe* completion = nullptr;
    bool any = false;
    while (io_uring_peek_cqe(&ring, &completion) == 0 && completion != nullptr) {
      auto* transfer = static_cast<Transfer*>(io_uring_cqe_get_data(completion));
      const int result = completion->res;
      io_uring_cqe_seen(&ring, completion);
      conclude(*transfer, result);
      any = true;
    }
    if (any)
      wake_waiters();
  }

  // Wakes the threads other than the ring's that wait for a transfer to be concluded.
  void wake_waiters() {
    concluded.fetch_add(1, std::memory_order_release);
    concluded.notify_all();
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

  static void abort(Transfer& transfer) {
    transfer.done = 0;
    finish(transfer, false, ERROR_OPERATION_ABORTED);
  }

  int fd;
  std::thread::id owner; // the thread that made the ring
  io_uring ring{};
  bool ready = false;
  bool single = false; // only the ring's own thread may submit and wait
  bool broken = false; // the ring failed: transfers are run at once
  bool table = false;  // the table of registered buffers is there
  std::vector<iovec> kept;
  std::mutex mutex;
  std::vector<Transfer*> waiting;  // prepared in the ring, not yet handed to the kernel, in order
  std::vector<Transfer*> inFlight; // handed to the kernel; at most the ring's entries
  std::atomic<std::uint32_t> concluded{0}; // moves on whenever transfers have been concluded
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

  void poll() override {} // the workers move every transfer on by themselves

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

// Made for one thread of input and output, the one that starts and waits for the transfers: the
// ring holds its lock across the blocking wait in the kernel, which is right only while no other
// thread needs the queue meanwhile (another one would sleep until that wait ends). The thread
// pool, when it is the queue, says why in one debug-log line: asked for, or no ring to be had.
std::unique_ptr<TransferQueue> make_transfer_queue(int fd) {
  const char* asked = std::getenv("CVW_TRANSFER_QUEUE");
  if (asked != nullptr && std::strcmp(asked, "threads") == 0) {
    debug_log() << "TransferQueue.cpp(405): CVW_TRANSFER_QUEUE=threads: transfers go through "
                   "threads\n";
    return std::make_unique<ThreadQueue>(fd);
  }
  auto ring = std::make_unique<UringQueue>(fd);
  int refusal = 0;
  if (ring->set_up(refusal))
    return ring;
  debug_log() << "TransferQueue.cpp(413): the kernel gives no io_uring (errno " << refusal << ": "
              << std::strerror(refusal) << "): transfers go through threads\n";
  return std::make_unique<ThreadQueue>(fd);
}

} // namespace platform
