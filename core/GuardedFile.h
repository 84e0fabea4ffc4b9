// A file named in its folder, which was opened once: every read, save and rename names the file
// in that folder, so that nothing put in place of its path afterwards (a link, another folder)
// redirects them. The program runs as root; a file it keeps open to change for a long time, as
// the wipe history, is held so.
#pragma once

#include "Crt.h"

#include <cstddef>
#include <memory>
#include <string>

class GuardedFile {
public:
  // No file: kept in nothing, every call fails.
  GuardedFile() = default;

  // `name` in the folder `folder` (UTF-8), the folder opened now as it is: one of the program's
  // own, which whoever may change may change the program itself. When it cannot be opened the
  // file has no folder, and reason() says why.
  static GuardedFile in_folder(const std::string& folder, const std::string& name);
  // The file `path` (UTF-8), its folder found by a guarded walk that trusts root and the users
  // that `trust` names (open_guarded_folder). When the walk refuses, the file has no folder,
  // and reason() says why.
  static GuardedFile guarded(const std::string& path, Trust trust);
  // The file `path`, refused for `reason`: it has no folder.
  static GuardedFile refused(const std::string& path, const std::string& reason);

  // The path told to the operator; empty for no file.
  const std::string& path() const { return path_; }
  // The file's own name in its folder.
  const std::string& name() const { return name_; }
  // Whether the folder was opened.
  bool has_folder() const { return folder_ != nullptr; }
  // Why there is no folder: a sentence for the operator.
  const std::string& reason() const { return reason_; }
  // The folder's descriptor for the calls of Crt.h (a lock beside the file, say); -1 when none.
  int folder() const;

  // What stands at the name now; Other when there is no folder or it cannot be told.
  Standing standing() const;
  // Reads the whole file into `text`. False, with `text` unchanged, when it cannot: also when
  // what stands at the name is no regular file (a link is not followed).
  bool read(std::string& text) const;
  // Replaces the file in one step (replace_file_at); a link at the name is replaced, never
  // followed. False, with errno set, when it cannot.
  bool replace(const void* data, std::size_t length, Ownership ownership) const;
  // Whether replace can succeed now: there is a folder, it takes a new file, and what stands at
  // the name is a regular file, a link or nothing. When not, `why` receives the reason.
  bool can_replace(std::string& why) const;
  // Opens the file for writing from its start (open_at_for_writing: made when missing, emptied
  // otherwise, only a regular file, a link at the name not followed). Returns the descriptor,
  // or -1 with errno set.
  int open_for_writing() const;
  // Renames what stands at the name, as it is, to `name` in the same folder; nothing may stand
  // there. False, with errno set, when it cannot.
  bool rename(const std::string& name) const;

private:
  class Folder;
  std::shared_ptr<const Folder> folder_;
  std::string name_;
  std::string path_;
  std::string reason_;
};
