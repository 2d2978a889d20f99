#include "engines/store/fileio.h"

#include <atomic>
#include <cerrno>
#include <mutex>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kxstore {
namespace {

// One mutex for all store writers of this process. Writers are short and rare, and a single
// mutex cannot be taken in two orders.
std::mutex& writersMutex() {
  static std::mutex m;
  return m;
}

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

ReadResult readWholeFile(const std::string& path, std::string& out) {
  out.clear();
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return (errno == ENOENT || errno == ENOTDIR) ? ReadResult::missing : ReadResult::cannotOpen;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return ReadResult::cannotOpen;
  }
  char buf[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      out.clear();
      return ReadResult::cannotOpen;
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return ReadResult::ok;
}

WriteResult writeFileAtomically(const std::string& path, std::string_view content) {
  static std::atomic<unsigned> counter{0};
  const std::string tmp = path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
  mode_t mode = 0644;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;

  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return WriteResult::cannotCreate;
  bool ok = writeAll(fd, content);
  if (ok && (mode & 07777) != 0644) ok = ::fchmod(fd, mode) == 0;
  if (ok) ok = ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok) ok = ::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(tmp.c_str());
    return WriteResult::cannotUpdate;
  }
  // The rename itself must reach the disk, or a crash could bring the old file back.
  const int dfd = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return WriteResult::ok;
}

StoreLock::StoreLock(const std::string& lockPath) {
  writersMutex().lock();
  mutexHeld_ = true;
  int fd;
  do {
    fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    writersMutex().unlock();
    mutexHeld_ = false;
    return;
  }
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    ::close(fd);
    writersMutex().unlock();
    mutexHeld_ = false;
    return;
  }
  fd_ = fd;
}

StoreLock::~StoreLock() {
  if (fd_ >= 0) {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
  }
  if (mutexHeld_) writersMutex().unlock();
}

}  // namespace kxstore
