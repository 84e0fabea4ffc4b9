// One pass of a wipe as a strategy walks it over a range of sectors: transfer a chunk, take
// note of the sectors done, and of those skipped after a failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>

class ProcessClient;
class WipeContext;

class Operation {
public:
  // The client's "interrupt" command; it ends the running pass only.
  class InterruptedException : public std::exception {};

  explicit Operation(WipeContext* context) : context_(context) {}
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

  // Transfers `count` sectors from `lba` upwards. Returns how many were transferred before the
  // first failure: `count` when all went well, 0 when the first sector failed.
  virtual std::uint64_t process(std::uint64_t lba, std::uint64_t count) = 0;
  // A run of sectors that process transferred.
  virtual void on_done(std::uint64_t lba, std::uint64_t count) = 0;
  // The run of sectors skipped after a failure, starting with the failing one; empty when no
  // sector is to be skipped.
  virtual void on_error(std::uint64_t lba, std::uint64_t count) = 0;

  // Transfers in flight, for a walk that starts the chunks ahead of the one it waits for. How
  // many transfers of the context's chunk size the operation keeps in flight at once, asked once
  // for a walk; 1 (this default) for one that has no use for the calls below. start begins the
  // transfer that process(lba, count) makes, without its pause point, and finish gives the result
  // of the oldest transfer started and not finished, as process would have returned it; on_done
  // and on_error then concern that transfer. abandon finishes every transfer still in flight and
  // drops their results; what they took from a stream of data goes back to it, so that the walk
  // goes on as if they had never been started. redo, after abandon, transfers the chunk last
  // finished once more, alone and with the data it had: what process would return for it. Every
  // transfer started is finished or abandoned before process is called again.
  virtual std::size_t transfers_in_flight() { return 1; }
  virtual void start(std::uint64_t lba, std::uint64_t count);
  virtual std::uint64_t finish();
  virtual void abandon() {}
  virtual std::uint64_t redo(std::uint64_t lba, std::uint64_t count) { return process(lba, count); }

  // The pause point of a walk with transfers in flight, called with none in flight before the
  // next one is started: a line from the client pauses the walk here (see check_pause), and an
  // "interrupt" throws. line_waiting tells whether such a line has begun, so that the walk starts
  // nothing ahead meanwhile and reaches its pause point once those in flight have ended. Nothing
  // happens, and no line waits, for an operation without a context.
  virtual void pause_point();
  virtual bool line_waiting();

  virtual ~Operation() = default;

protected:
  WipeContext& context() { return *context_; }

private:
  WipeContext* context_;
};

// The error replies. Each waits for the client's answer and drops it; an "interrupt" answer
// throws Operation::InterruptedException.
void reply_read_failed(ProcessClient& client, std::uint64_t lba, std::uint64_t count);
void reply_write_failed(ProcessClient& client, std::uint64_t lba, std::uint64_t count);
void reply_compare_failed(ProcessClient& client, std::uint64_t lba, std::uint64_t count);
void reply_sync_failed(ProcessClient& client);
