// The overlapped transfers of one open descriptor of the Linux machine: they run while their
// caller goes on, and each is waited for on its own.
//
// Two ways of running them: io_uring (the kernel runs the transfers, no thread of ours is
// involved, and the memory the caller keeps for its buffers is registered with the ring once, so
// that a transfer from it does not pin its pages again) and, where the kernel refuses this process
// a ring, a few threads of our own that each move one transfer at a time with pread and pwrite. The
// environment variable CVW_TRANSFER_QUEUE ("io_uring" or "threads") picks one, for the benchmark
// that compares them. The ring hands transfers to the kernel and takes them back in batches, and
// may serve only the thread that made it (see UringQueue).
#pragma once

#include "Machine.h"

#include <memory>

namespace platform {

class TransferQueue {
public:
  virtual ~TransferQueue() = default;

  // Starts `transfer`, which stays in place until wait_for has returned for it.
  virtual void start(Transfer& transfer) = 0;
  // Returns once `transfer`, started here, has finished.
  virtual void wait_for(Transfer& transfer) = 0;
  // Moves the transfers on without waiting: those started are handed over, and those that have
  // ended are marked finished (see Device::poll).
  virtual void poll() = 0;
  // Locks the `length` bytes at `start` for the transfers to come, which stays allocated until
  // the queue is gone (see Device::keep_memory). False with the last error set when it cannot.
  virtual bool keep_memory(void* start, std::size_t length) = 0;
};

// A queue for `fd`, which the caller keeps open for longer than the queue, driven by one thread
// of input and output (see TransferQueue.cpp). Its destructor waits for the transfers in flight.
// A queue of threads logs why it is not the ring: CVW_TRANSFER_QUEUE asked for it, or the
// kernel refused a ring (with the errno).
std::unique_ptr<TransferQueue> make_transfer_queue(int fd);

// Moves the bytes of `transfer` after its first `from` in the calling thread, retrying
// interrupted calls, and marks it finished. A read that reaches the end of the medium ends
// there; a write that moves nothing fails.
void run_transfer_now(int fd, Transfer& transfer, std::size_t from = 0);

} // namespace platform
