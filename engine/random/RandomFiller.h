// The random data of a pass, chunk after chunk, drawn ahead on threads of its own: while the
// caller writes the chunks it has taken, the filler threads draw the next ones into the free
// buffers of a ring, each from the process generator's state jumped ahead to where its chunk
// begins, and hand them over finished, in order.
// Each chunk goes into the ring buffer after the one before, so that a caller with several chunks
// in flight has each in a buffer of its own.
//
// A chunk drawn ahead is taken only when the caller asks for exactly the length that was drawn,
// from the state the process generator still has; anything else is drawn again in place, and the
// filler starts over from there. So the data and the process generator's state are exactly what
// plain fill_random calls, chunk by chunk, would give, and a chunk drawn ahead but never taken
// leaves no trace.
//
// Nobody ever polls: a thread that has to wait for another sleeps on a condition variable. The
// fillers, once they have filled every free buffer, sleep until a quarter of them are free again,
// so that they are woken once for several chunks, not for each.
#pragma once

#include "BufferRing.h"
#include "Random.h"
#include "XorshiftJump.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class RandomFiller {
public:
  // How many chunks of `bytes` bytes to draw ahead: enough to keep the filler asleep most of the
  // time for small chunks, a few for large ones, one for the largest.
  static std::size_t ahead_for(std::uint64_t bytes);

  // Draws into `ring`, of which the caller holds `keep` chunks at a time (the chunk a call returns
  // stays valid for `keep` - 1 further calls); the other buffers are drawn ahead. When no thread
  // can be had, every chunk is drawn in place.
  RandomFiller(BufferRing& ring, std::size_t keep);
  // Stops the filler threads and waits for them.
  ~RandomFiller();
  RandomFiller(const RandomFiller&) = delete;
  RandomFiller& operator=(const RandomFiller&) = delete;

  // The next `length` bytes (at most the ring's buffer size) of the process generator, which
  // moves on past them. Main thread only. Throws std::bad_alloc when a long fill's jump tables
  // cannot be had, and std::length_error for a length that no buffer holds.
  const unsigned char* next(std::uint64_t length);

private:
  // One chunk drawn ahead: its length and the generator's states at its start and end; `ready`
  // once it is drawn.
  struct Drawn {
    std::uint64_t length = 0;
    RandomState start{};
    RandomState end{};
    bool ready = false;
  };

  void work();
  // Whether a filler has a chunk to draw now. Called with the lock held.
  bool has_room() const;
  // Starts the filler threads; none when no thread can be had.
  void start_fillers();

  BufferRing& ring;
  std::size_t ahead; // chunks drawn ahead at most

  std::mutex mutex;
  std::condition_variable fillerWakes;
  std::condition_variable takerWakes;
  // Chunks are numbered from 0 in the order they are handed out. Those from `taken` to `drawnUpTo`
  // (exclusive) are drawn and waiting; those up to `claimedUpTo` are being drawn; the next filler
  // draws chunk `claimedUpTo`, `guess` bytes from `frontier`, and moves `frontier` on by `jump`.
  std::vector<Drawn> drawn; // by chunk number modulo the ring's size
  std::uint64_t taken = 0;
  std::uint64_t drawnUpTo = 0;
  std::uint64_t claimedUpTo = 0;
  std::uint64_t guess = 0;
  std::unique_ptr<XorshiftJump> jump; // over the outputs of a chunk of `guess` bytes
  RandomState frontier{};
  std::uint64_t generation = 0; // moves on when what the fillers draw is no longer wanted
  std::size_t drawing = 0;      // fillers drawing, with the lock released
  std::size_t asleep = 0;       // fillers waiting for room
  bool takerWaiting = false;
  bool failed = false; // a filler could not draw: every chunk is drawn in place
  bool stopping = false;
  std::vector<std::thread> workers;
};
