#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>

#include "platform/files.h"

namespace sunlink {

namespace {

[[noreturn]] void fail(int error, const std::string& what, const std::string& path) {
  throw std::system_error(error, std::generic_category(), what + " \"" + path + "\"");
}

// The temporary file while it is being written: closed and removed again unless released.
class TemporaryFile {
 public:
  TemporaryFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  // close() reports late write errors (on network file systems in particular).
  int close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }
  void keep() { path_.clear(); }

 private:
  int fd_;
  std::string path_;
};

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Creates a file that did not exist before, next to path, with a name no one can predict, the
// way mkstemp does, but with the permission bits a new file normally gets (mkstemp makes 0600).
TemporaryFile createTemporary(const std::string& path) {
  std::random_device entropy;
  std::mt19937_64 random(static_cast<std::uint64_t>(entropy()) << 32 ^ entropy() ^
                         static_cast<std::uint64_t>(::getpid()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%012llx.tmp",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    std::string name = path + suffix;
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) return TemporaryFile(fd, std::move(name));
    if (errno != EEXIST) fail(errno, "create temporary file for", path);
  }
  fail(EEXIST, "create temporary file for", path);
}

}  // namespace

void replaceFile(const std::string& path, const std::string& content) {
  if (path.empty()) fail(ENOENT, "write", path);
  TemporaryFile temporary = createTemporary(path);

  struct stat earlier;
  if (::stat(path.c_str(), &earlier) == 0 && S_ISREG(earlier.st_mode)) {
    ::fchmod(temporary.fd(), earlier.st_mode & 0777);
  }

  const char* data = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    const ssize_t written = ::write(temporary.fd(), data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      fail(errno, "write", temporary.path());
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  // The data must be on the disk before the new name points at it; otherwise a power cut right
  // after the rename can leave an empty file where the earlier one was.
  if (::fsync(temporary.fd()) != 0) fail(errno, "flush", temporary.path());
  if (temporary.close() != 0) fail(errno, "close", temporary.path());
  if (::rename(temporary.path().c_str(), path.c_str()) != 0) fail(errno, "replace", path);
  temporary.keep();

  // Make the rename itself last. Not every file system can flush a folder; the file is in place
  // either way, so a failure here is not reported.
  const int folder = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
}

}  // namespace sunlink
