#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <stdexcept>
#include <system_error>

#include "platform/files.h"
#include "platform/signals.h"

namespace sunlink {

namespace {

[[noreturn]] void fail(int error, const std::string& what, const std::string& path) {
  throw std::system_error(error, std::generic_category(), what + " \"" + path + "\"");
}

// A target left alone: the message names the file given, the file its links reach, and why.
[[noreturn]] void refuse(const std::string& path, const std::string& target,
                         const std::string& reason) {
  const std::string named = target == path ? "" : " (links to \"" + target + "\")";
  throw std::runtime_error("replace \"" + path + "\"" + named + ": " + reason +
                           "; nothing written");
}

// The temporary file while it is being written: closed and removed again unless released.
class TemporaryFile {
 public:
  TemporaryFile(int fd, std::string path) : fd_(fd), path_(std::move(path)), announced_(path_) {}
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
  // A run ended by Ctrl-C or kill while the file exists removes it too. Declared last: withdrawn
  // only after the file is gone.
  RemovedOnTermination announced_;
};

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// What a file is, for the message that refuses to replace it.
const char* kindOf(mode_t mode) {
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISDIR(mode)) return "a folder";
  return "not a regular file";
}

// The kernel's own rule for links in shared folders (fs.protected_symlinks), applied to the links
// this program follows by itself: in a sticky folder that everyone may write to, only a link of
// the user's own or of the folder's owner is followed. Files there are held to the same rule.
bool mayFollow(const std::string& link, const struct stat& linkStatus) {
  struct stat folder;
  if (::stat(folderOf(link).c_str(), &folder) != 0) return false;
  const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
  return !shared || linkStatus.st_uid == ::geteuid() || linkStatus.st_uid == folder.st_uid;
}

// Why the existing file target is left alone, or nullptr: a backup replaces only a file the user
// could have written with the shell's `>`. Not one write-protected for the user (the kernel lets
// root write any file, as `>` would), nor, in a shared folder, one owned neither by the user nor
// by the folder's owner, which the kernel refuses to `>` there when fs.protected_regular is on:
// held to here whatever that setting, since a rename would give another user's file new content
// all the same.
const char* whyNotReplaced(const std::string& target, const struct stat& status) {
  if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES)
    return "the file is write-protected";
  if (!mayFollow(target, status)) return "another user's file in a shared folder";
  return nullptr;
}

// The file that path finally names, with symbolic links followed (a relative link from its own
// folder), and whether it exists (then `status` describes it).
std::string finalTarget(const std::string& path, struct stat& status, bool& exists) {
  std::string current = path;
  for (int links = 0; links <= 40; ++links) {  // as many as the kernel follows
    if (::lstat(current.c_str(), &status) != 0) {
      if (errno != ENOENT) fail(errno, "replace", path);
      exists = false;
      return current;
    }
    if (!S_ISLNK(status.st_mode)) {
      exists = true;
      return current;
    }
    if (!mayFollow(current, status)) fail(EACCES, "follow the link", current);
    std::string target(PATH_MAX, '\0');
    const ssize_t length = ::readlink(current.c_str(), &target[0], target.size());
    if (length < 0) fail(errno, "follow the link", current);
    if (static_cast<std::size_t>(length) >= target.size())
      fail(ENAMETOOLONG, "follow the link", current);
    target.resize(static_cast<std::size_t>(length));
    current = target[0] == '/' ? target : folderOf(current) + "/" + target;
  }
  fail(ELOOP, "replace", path);
}

// The temporary's name: the target's name, cut short when needed so that the whole fits the
// folder's limit, then a random part. A cut never splits a UTF-8 character, so a listing of the
// folder shows the name readably.
std::string temporaryName(const std::string& target, std::uint64_t randomPart) {
  const std::string folder = folderOf(target);
  const std::size_t slash = target.rfind('/');
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".%012llx.tmp",
                static_cast<unsigned long long>(randomPart & 0xFFFFFFFFFFFFull));
  const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  const std::size_t nameMax = limit > 0 ? static_cast<std::size_t>(limit) : NAME_MAX;
  const std::size_t room = nameMax > std::strlen(suffix) ? nameMax - std::strlen(suffix) : 0;
  if (base.size() > room) {
    std::size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) --cut;
    base.resize(cut);
  }
  const std::string name = base + suffix;
  return slash == std::string::npos ? name : target.substr(0, slash + 1) + name;
}

// Creates a file that did not exist before, next to target, with a name no one can predict, the
// way mkstemp does, but with the permission bits a new file normally gets (mkstemp makes 0600).
TemporaryFile createTemporary(const std::string& target, const std::string& path) {
  std::random_device entropy;
  std::mt19937_64 random(static_cast<std::uint64_t>(entropy()) << 32 ^ entropy() ^
                         static_cast<std::uint64_t>(::getpid()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = temporaryName(target, random());
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) return TemporaryFile(fd, std::move(name));
    if (errno != EEXIST) fail(errno, "create temporary file for", path);
  }
  fail(EEXIST, "create temporary file for", path);
}

// The earlier file's owner, group and permission bits onto the new one. Owner and group first:
// changing them clears the set-user-id and set-group-id bits, which the mode then brings back.
// Only root (or a user with the right) may give a file away; a user may still keep the group when
// a member of it. What cannot be kept is left as the new file has it: the content is what counts.
void keepAttributes(int fd, const struct stat& earlier) {
  if (earlier.st_uid != ::geteuid() || earlier.st_gid != ::getegid()) {
    // The group alone, when the owner could not be given; its failure is no failure either.
    if (::fchown(fd, earlier.st_uid, earlier.st_gid) != 0 &&
        ::fchown(fd, static_cast<uid_t>(-1), earlier.st_gid) != 0) {
    }
  }
  static_cast<void>(::fchmod(fd, earlier.st_mode & 07777));
}

}  // namespace

void replaceFile(const std::string& path, const std::string& content) {
  if (path.empty()) fail(ENOENT, "write", path);
  struct stat earlier;
  bool exists = false;
  const std::string target = finalTarget(path, earlier, exists);
  // Renaming over it would put a regular file where a device node (or a pipe another program
  // reads) was, and a folder cannot be replaced at all.
  if (exists && !S_ISREG(earlier.st_mode))
    refuse(path, target, std::string(kindOf(earlier.st_mode)) + ", not a regular file");
  const char* refused = exists ? whyNotReplaced(target, earlier) : nullptr;
  if (refused != nullptr) refuse(path, target, refused);
  TemporaryFile temporary = createTemporary(target, path);
  if (exists) keepAttributes(temporary.fd(), earlier);

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
  if (::rename(temporary.path().c_str(), target.c_str()) != 0) fail(errno, "replace", path);
  temporary.keep();

  // Make the rename itself last. Not every file system can flush a folder; the file is in place
  // either way, so a failure here is not reported.
  const int folder = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
}

}  // namespace sunlink
