// The random data of a pass, chunk after chunk, drawn ahead on threads of its own: while the
// caller writes the chunks it has taken, the filler threads draw the next ones into the free
// buffers of a ring, each from the process generator's state jumped ahead to where its chunk
// begins, and hand them over finished, in order.
// Each chunk goes into the ring buffer after the one before, so that a caller with several chunks
// in flight has each in a buffer of its own.
//
// A chunk drawn ahead is taken only when the caller asks for exactly the length that was drawn,
// from the state the process generator still has; anything else is drawn again in place, and the
// fillers start over from there, with a new plan. So the data and the process generator's state
// are exactly what plain fill_random calls, chunk by chunk, would give, and a chunk drawn ahead
// but never taken leaves no trace.
//
// Every buffer of the ring has one owner at a time, and only its owner writes it: nobody, one
// filler drawing a chunk into it, the drawn chunk waiting to be taken, or the caller (drawing a
// chunk in place, or still using one it took). The owner changes only with the lock held, and a
// filler or the caller that wants a buffer another one owns waits until it is given back. So no
// two threads ever write one buffer, whatever the timing; a draw begun under a plan that has
// been given up is finished into its own buffer and then dropped.
//
// Nobody ever polls: a thread that has to wait for another sleeps on a condition variable. The
// fillers, once they have filled every free buffer, sleep until a quarter of them are free again,
// so that they are woken once for several chunks, not for each. When the chunk the caller asks
// for next is one that no filler has begun (the fillers were not scheduled in time on a busy
// machine), the caller draws it itself from the plan, rather than sleeping until one does.
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
  // Who may write a buffer of the ring.
  enum class Owner { Nobody, Filler, Drawn, Caller };

  // One buffer of the ring and the chunk in it: the chunk's number, the plan it is drawn under,
  // its length and the generator's states at its start and end.
  struct Slot {
    Owner owner = Owner::Nobody;
    std::uint64_t chunk = 0;
    std::uint64_t plan = 0;
    std::uint64_t length = 0;
    RandomState start{};
    RandomState end{};
  };

  void work();
  // The slot of chunk `number`.
  Slot& slot_of(std::uint64_t number) {
    return slots[static_cast<std::size_t>(number % slots.size())];
  }
  // Whether `slot` holds, or is being drawn with, the chunk `taken` as the caller asks for it
  // now: `length` bytes from the process generator's state. Called with the lock held.
  bool holds_next(const Slot& slot, std::uint64_t length) const;
  // Whether a filler has a chunk to draw now. Called with the lock held.
  bool has_room();
  // Claims the next chunk of the plan, chunk `claimedUpTo`, for `owner`, and moves the plan on
  // past it. Called with the lock held, with the plan set and the chunk's slot free.
  Slot& claim(Owner owner);
  // Gives the caller chunk `taken`, whose slot it owns, and takes back the buffer of the chunk
  // it no longer holds. Called with the lock held.
  void hand_out();
  // Starts the filler threads; none when no thread can be had.
  void start_fillers();

  BufferRing& ring;
  std::size_t keep;
  std::size_t ahead; // chunks drawn ahead at most

  std::mutex mutex;
  std::condition_variable fillerWakes;
  std::condition_variable takerWakes;
  // Chunks are numbered from 0 in the order they are handed out; chunk n lies in slot n modulo
  // the ring's size. The caller has taken those below `taken`. The plan: while `planned`, the
  // next chunk to draw is `claimedUpTo`, `guess` bytes from `frontier`, and each claim moves
  // `frontier` on by `jump`. `plan` counts the plans: a draw begun under an earlier one is of no
  // use any more.
  std::vector<Slot> slots;
  std::uint64_t taken = 0;
  std::uint64_t claimedUpTo = 0;
  std::uint64_t guess = 0;
  std::unique_ptr<XorshiftJump> jump; // over the outputs of a chunk of `guess` bytes
  RandomState frontier{};
  std::uint64_t plan = 0;
  bool planned = false;
  std::size_t asleep = 0; // fillers waiting for room
  bool takerWaiting = false;
  bool failed = false; // a filler could not draw: every chunk is drawn in place
  bool stopping = false;
  std::vector<std::thread> workers;
};
