#include <windows.h>

#include <cstdio>
#include <random>
#include <system_error>

#include "platform/files.h"

namespace sunlink {

namespace {

[[noreturn]] void fail(DWORD error, const std::string& what, const std::string& path) {
  throw std::system_error(static_cast<int>(error), std::system_category(),
                          what + " \"" + path + "\"");
}

// File names reach the program in the process code page, which is how the C runtime reads them
// too (the settings file is read through it); converted the same way, both name the same file.
std::wstring widen(const std::string& text) {
  const int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

// The temporary file while it is being written: closed and deleted again unless released.
class TemporaryFile {
 public:
  TemporaryFile(HANDLE handle, std::string path)
      : handle_(handle), path_(std::move(path)), widePath_(widen(path_)) {}
  ~TemporaryFile() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    if (!path_.empty()) {
      // It may have been marked read-only already, which would keep it from being deleted.
      SetFileAttributesW(widePath_.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(widePath_.c_str());
    }
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  TemporaryFile(TemporaryFile&& other) noexcept
      : handle_(other.handle_),
        path_(std::move(other.path_)),
        widePath_(std::move(other.widePath_)) {
    other.handle_ = INVALID_HANDLE_VALUE;
    other.path_.clear();
  }

  HANDLE handle() const { return handle_; }
  const std::string& path() const { return path_; }
  const std::wstring& widePath() const { return widePath_; }
  // Closing can report a late write error (on a network share in particular).
  bool close() {
    const BOOL closed = CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed != FALSE;
  }
  void keep() { path_.clear(); }

 private:
  HANDLE handle_;
  std::string path_;
  std::wstring widePath_;
};

// Creates a file that did not exist before, next to path, under a name no one can predict.
// CREATE_NEW fails on any existing name, a planted link included, so the write cannot be
// redirected.
TemporaryFile createTemporary(const std::string& path) {
  std::random_device entropy;
  std::mt19937_64 random(static_cast<std::uint64_t>(entropy()) << 32 ^ entropy() ^
                         static_cast<std::uint64_t>(GetCurrentProcessId()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%012llx.tmp",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    std::string name = path + suffix;
    const HANDLE handle = CreateFileW(widen(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return TemporaryFile(handle, std::move(name));
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
      fail(error, "create temporary file for", path);
  }
  fail(ERROR_FILE_EXISTS, "create temporary file for", path);
}

// The marks a file carries on Windows that the new file takes over from the earlier one, as it
// takes over the permission bits on Linux. Everything else it gets as any new file in the folder.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

}  // namespace

void replaceFile(const std::string& path, const std::string& content) {
  if (path.empty()) fail(ERROR_PATH_NOT_FOUND, "write", path);
  TemporaryFile temporary = createTemporary(path);

  const char* data = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    // WriteFile takes at most 4 GiB at a time.
    const DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(temporary.handle(), data, chunk, &written, nullptr))
      fail(GetLastError(), "write", temporary.path());
    if (written == 0) fail(ERROR_WRITE_FAULT, "write", temporary.path());
    data += written;
    left -= written;
  }
  // The data must be on the disk before the new name points at it; otherwise a power cut right
  // after the rename can leave an empty file where the earlier one was.
  if (!FlushFileBuffers(temporary.handle())) fail(GetLastError(), "flush", temporary.path());
  if (!temporary.close()) fail(GetLastError(), "close", temporary.path());

  const std::wstring target = widen(path);
  const DWORD earlier = GetFileAttributesW(target.c_str());
  const bool plainFile = earlier != INVALID_FILE_ATTRIBUTES &&
                         (earlier & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
  const DWORD kept = plainFile ? earlier & kKeptAttributes : 0;
  if (kept != 0) SetFileAttributesW(temporary.widePath().c_str(), kept);
  // Windows renames nothing over a read-only file: the mark comes off the earlier file just for
  // the rename (the new file carries it from then on), and goes back on if the rename fails.
  const bool readOnly = (kept & FILE_ATTRIBUTE_READONLY) != 0;
  if (readOnly && !SetFileAttributesW(target.c_str(), earlier & ~FILE_ATTRIBUTE_READONLY))
    fail(GetLastError(), "replace", path);
  // One rename, which replaces the earlier file (or a link in its place, not what it points to)
  // whole; write-through returns only once the rename is on the disk.
  if (!MoveFileExW(temporary.widePath().c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    if (readOnly) SetFileAttributesW(target.c_str(), earlier);
    fail(error, "replace", path);
  }
  temporary.keep();
}

}  // namespace sunlink
