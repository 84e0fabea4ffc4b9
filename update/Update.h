// The update feed: fetching an address over HTTP/1.0, reading the feed's enclosure, and judging
// the names and addresses it gives. No toolkit: the dialog that shows all this is the desktop
// program's (UpdateDialog).
//
// A feed names the newest version in the attributes of its first "<enclosure", which must stand
// in this order (anything may lie between them):
//   <enclosure version="wipedesk v140101" url="http://host/wipedesk-140101.bin"
//              length="1234567" releaseNotesUrl="http://host/notes.html" />
#pragma once

#include "UsesInterfaceCallback.h"

#include <glib.h>

#include <cstdint>
#include <string>

// What a feed announces.
class UpdateInfo {
public:
  const std::string& version() const { return version_; }
  void set_version(const std::string& version) { version_ = version; }
  // The address of the file to download.
  const std::string& url() const { return url_; }
  void set_url(const std::string& url) { url_ = url; }
  // The size of that file in bytes.
  std::uint32_t length() const { return length_; }
  void set_length(std::uint32_t length) { length_ = length; }
  const std::string& release_notes_url() const { return releaseNotesUrl_; }
  void set_release_notes_url(const std::string& url) { releaseNotesUrl_ = url; }

private:
  std::string version_;
  std::string url_;
  std::uint32_t length_ = 0;
  std::string releaseNotesUrl_;
};

// Finds `name` + "=\"" at or after `from` in `text` (a plain search, so "url" also matches the
// end of "releaseNotesUrl") and stores the text up to the next double quote in `value`. Returns
// the position of that closing quote; std::string::npos, with one debug-log line and `value`
// unchanged, when the pattern or the closing quote is missing.
std::size_t find_attribute(const std::string& text, std::size_t from, const std::string& name,
                           std::string& value);

// The name a download from `url` is saved under: the last part of the url's path (before any
// "?" or "#"), after its last "/" or "\". Empty when that gives no usable name: nothing, ".",
// "..", or control characters.
std::string update_file_name(const std::string& url);

// Whether the shell may open `address` as release notes: only web addresses ("http://",
// "https://", in any letter case).
bool is_web_address(const std::string& address);

class Update : public UsesInterfaceCallback {
public:
  // Where fetched bytes go.
  class Stream {
  public:
    virtual ~Stream() = default;
    // Takes the next `count` bytes. Returns false when it cannot, which ends the transfer as a
    // failure.
    virtual bool write(const char* bytes, std::size_t count) = 0;
  };

  // How long a response body may or must be.
  struct Body {
    std::uint64_t limit; // more bytes than this fail the transfer, after the first `limit`
    bool exact;          // fewer bytes than `limit` fail it as well

    static Body at_most(std::uint64_t bytes) { return {bytes, false}; }
    static Body exactly(std::uint64_t bytes) { return {bytes, true}; }
  };

  // The most a feed may hold, and the header block of any response.
  static constexpr std::uint64_t feed_limit = 1024 * 1024;
  static constexpr std::size_t header_limit = 64 * 1024;
  // How long a connection, a send or a receive may go without any progress by default.
  static constexpr int default_timeout_ms = 15000;
  // How long a whole check may take by default, however slowly the server answers.
  static constexpr int default_check_limit_ms = 60000;

  using UsesInterfaceCallback::check;

  // Starts Windows Sockets (version 1.1). Returns false, with a debug-log line, when it cannot.
  static bool start_sockets();

  // Fetches the feed at `address` (at most feed_limit bytes) and reads it into `info`, within
  // check_limit_ms in all (the name lookup aside, which the system's resolver bounds). Returns
  // false, with debug-log lines, when either fails; `info` may then hold part of the feed.
  bool check(const std::string& address, UpdateInfo& info);

  // Fetches `address` ("http://host[:port]/path"; port 80 unless the host names one) with a
  // GET request of HTTP/1.0 and writes the body of the response to `stream`. Only a response
  // whose status is 200 and whose header block (at most header_limit bytes) ends with a blank
  // line counts, and its body must fit `body`. Connecting, sending and receiving wait in slices
  // of 100 ms with a check before each (so Cancel stops the transfer at once, by the exception
  // the check throws) and give up after timeout_ms without progress. Returns true when the whole
  // body was written; false, with debug-log lines, on any failure (bytes already written stay
  // written). The connection is closed on every way out.
  bool fetch(const std::string& address, Stream& stream, Body body);

  // Reads the attributes "version", "url", "length" and "releaseNotesUrl" of the first
  // "<enclosure" of `feed`, in that order, into `info`. "length" is read as the C library's
  // strtoul does on a 32-bit system (white space and a sign first, digits up to the first other
  // character, none giving 0, more than 32 bits giving 4294967295). Returns false, with
  // debug-log lines, when something is missing; what was read before stays in `info`.
  static bool parse_feed(const std::string& feed, UpdateInfo& info);

  int timeout_ms() const { return timeoutMs_; }
  void set_timeout_ms(int milliseconds) { timeoutMs_ = milliseconds; }
  int check_limit_ms() const { return checkLimitMs_; }
  void set_check_limit_ms(int milliseconds) { checkLimitMs_ = milliseconds; }

private:
  // How long the next wait may take: the timeout, or less when the deadline comes sooner.
  int wait_limit_ms() const;

  int timeoutMs_ = default_timeout_ms;
  int checkLimitMs_ = default_check_limit_ms;
  // When the running check must end (monotonic microseconds); 0 while no check runs.
  gint64 deadline_ = 0;
};

// An Update::Stream that keeps every byte in a text.
class StreamString : public Update::Stream {
public:
  bool write(const char* bytes, std::size_t count) override {
    text.append(bytes, count);
    return true;
  }
  std::string text;
};
