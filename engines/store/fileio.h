// File primitives of the stores: whole-file reads, atomic replacement and the writers' lock.
#pragma once

#include <string>
#include <string_view>

namespace kxstore {

enum class ReadResult { ok, missing, cannotOpen };

// Reads a whole file. `missing` only when the file does not exist (ENOENT/ENOTDIR).
ReadResult readWholeFile(const std::string& path, std::string& out);

enum class WriteResult { ok, cannotCreate, cannotUpdate };

// Replaces `path` with `content` so that a reader sees either the old or the new file, never a
// mixture, and a crash leaves one of the two: a temporary file in the same folder is written,
// flushed with fsync, renamed over `path`, and the folder is flushed. The mode of an existing
// file is kept; a new file gets 0644 less the umask.
WriteResult writeFileAtomically(const std::string& path, std::string_view content);

// Exclusive writer lock: an in-process mutex (threads) and flock on a lock file (processes; a
// flock taken through another open of the same file in this process also waits). Locks of the
// stores are never nested, so one thread never waits for itself.
class StoreLock {
 public:
  explicit StoreLock(const std::string& lockPath);
  ~StoreLock();
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;

  // False when the lock file could not be opened or locked; nothing is held then.
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
  bool mutexHeld_ = false;
};

}  // namespace kxstore
