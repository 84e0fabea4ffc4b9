// The random data of a pass, chunk after chunk, drawn ahead: while the caller writes one chunk,
// a worker thread draws the next one into the next of a ring of buffers, from a copy of the
// process generator's state. Each chunk goes into the buffer after the one before, so that a
// caller with several chunks in flight has each in a buffer of its own. A chunk is taken only when
// the caller asks for exactly the length that was drawn, from the state the process generator still
// has; anything else is drawn again in place. So the data and the process generator's state are
// exactly what plain fill_random calls, chunk by chunk, would give, and a chunk drawn ahead but
// never taken leaves no trace.
//
// The two threads hand chunks over through one atomic word. Each side first polls it for a
// short while, since a thread put to sleep and woken again for every chunk costs more than
// drawing a chunk of the usual size; only then does it block.
#pragma once

#include "BufferRing.h"
#include "Random.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

class RandomFiller {
public:
  // Draws into a ring of `buffers` buffers (at least two) of `capacity` bytes: `first`, then
  // buffers allocated as they are first needed. When the thread cannot be had, every chunk is
  // drawn in place.
  RandomFiller(unsigned char* first, std::uint64_t capacity, std::size_t buffers = 2);
  // Waits for a chunk under way and drops it.
  ~RandomFiller();
  RandomFiller(const RandomFiller&) = delete;
  RandomFiller& operator=(const RandomFiller&) = delete;

  // The next `length` bytes (at most the capacity) of the process generator, which moves on past
  // them. They stay valid for as many further calls as the ring has buffers, less two. Main
  // thread only. Throws std::bad_alloc when a buffer or a long fill's jump tables cannot be had.
  const unsigned char* next(std::uint64_t length);

private:
  enum Phase : unsigned { Idle, Asked, Drawn, Failed, Stopping };

  void work();
  // Waits until the phase is no longer `from`, and returns it.
  Phase await_change(Phase from);
  void set_phase(Phase to);
  std::uint64_t capacity;
  BufferRing ring;
  std::size_t turn = 0; // the ring buffer of the next chunk
  bool inPlace = false; // no thread to be had

  // The chunk asked for: written by the main thread while the phase is not Asked, read by the
  // worker once it has seen Asked; the end state is the worker's, read once it has set Drawn.
  std::atomic<unsigned> phase{Idle};
  unsigned char* aheadBuffer = nullptr;
  std::uint64_t aheadLength = 0;
  RandomState aheadStart{};
  RandomState aheadEnd{};
  std::thread worker;
};
