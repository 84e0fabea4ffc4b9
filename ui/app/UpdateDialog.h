// The update check at start-up: the feed is fetched under a "Please Wait" box, a newer version
// is offered to the operator, and when taken it is downloaded under a box with its progress into
// a private temporary folder and handed to the shell to open.
#pragma once

#include "Update.h"
#include "UsesInterfaceCallback.h"

#include <gtk/gtk.h>

#include <cstdint>
#include <string>

// The bounds of an update check.
struct UpdateLimits {
  // How long looking for an update may take in all.
  int checkMs = Update::default_check_limit_ms;
  // The largest download offered; a feed that announces more is not believed.
  std::uint64_t largestDownload = std::uint64_t(1) << 30;
  // Room left free in the temporary folder beside the download.
  std::uint64_t spareSpace = std::uint64_t(64) << 20;
};

// The entry point of the update check. Start-up calls it before the main window exists, when
// the program configuration has "Update URL":
//
//   const config::Value& config = program_config();
//   if (config.has("Update URL") &&
//       run_update_dialog(nullptr, config.get_string("Update URL"),
//                         config.get_string("Program Name") + " " +
//                             config.get_string("Program Revision")))
//     return 0; // the new version is being opened: end at once
//
// `address` is the feed's address, `runningVersion` the version that runs now, in the form the
// feed's "version" takes; a feed's version that is greater as a byte string is newer. Returns
// true when a newer version was downloaded completely and opened (the program is to end), false
// in every other case (no network, nothing newer, the operator said no or cancelled, any fault),
// after its debug-log lines. The operator is told only when a download that the operator accepted
// fails (an error box; not after a Cancel): looking for an update fails silently. A feed that
// announces more than `limits.largestDownload` bytes is not offered, and a download needs its
// size and `limits.spareSpace` free in the temporary folder before it begins. Runs on the GTK
// thread and returns only when done; every wait gives up after Update::default_timeout_ms
// without progress, looking for an update after `limits.checkMs` in all, and Cancel stops it at
// once.
bool run_update_dialog(GtkWindow* parent, const std::string& address,
                       const std::string& runningVersion,
                       const UpdateLimits& limits = UpdateLimits());

// An Update::Stream into a new file, reporting each block to its callback: set_progress
// (progress_by, bytes), then check.
class StreamFile : public Update::Stream, public UsesInterfaceCallback {
public:
  // Creates the file `path` (UTF-8), which must not exist yet; a link there is not followed.
  // When it cannot, writes a debug-log line and stays not open.
  explicit StreamFile(const std::string& path);
  ~StreamFile() override;
  StreamFile(const StreamFile&) = delete;
  StreamFile& operator=(const StreamFile&) = delete;

  bool is_open() const { return fd >= 0; }
  // Writes all `count` bytes, then reports them. Returns false, with a debug-log line, when
  // they cannot all be written.
  bool write(const char* bytes, std::size_t count) override;
  // Closes the file. Returns false when it was not open or closing failed (the last bytes may
  // not have reached the disk).
  bool close();

private:
  int fd = -1;
};
