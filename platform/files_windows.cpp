#include <aclapi.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

#include "platform/files.h"
#include "platform/signals.h"

namespace sunlink {

namespace {

[[noreturn]] void fail(DWORD error, const std::string& what, const std::string& path) {
  throw std::system_error(static_cast<int>(error), std::system_category(),
                          what + " \"" + path + "\"");
}

std::wstring widen(const std::string& text, UINT codePage) {
  const int length =
      MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string narrow(const std::wstring& text, UINT codePage) {
  const int length = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length,
                      nullptr, nullptr);
  return bytes;
}

// File names reach the program in the process code page, which is how the C runtime reads them
// too (the settings file is read through it); converted the same way, both name the same file.
std::wstring fromUser(const std::string& path) { return widen(path, CP_ACP); }

bool startsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.compare(0, std::wcslen(prefix), prefix) == 0;
}

// A name as the user would write it: without the long-path prefix.
std::wstring withoutLongPrefix(const std::wstring& path) {
  if (startsWith(path, L"\\\\?\\UNC\\")) return L"\\\\" + path.substr(8);
  if (startsWith(path, L"\\\\?\\")) return path.substr(4);
  return path;
}

// For messages.
std::string shown(const std::wstring& path) { return narrow(withoutLongPrefix(path), CP_ACP); }

std::wstring fullPathOf(const std::wstring& path, const std::string& given) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) fail(GetLastError(), "replace", given);
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);
  }
}

// The "\\?\" form of a full path: longer than 260 characters, and taken exactly as it is, so the
// temporary's name can have the target's length and more. Only for names already made whole by
// the system (GetFullPathNameW, GetFinalPathNameByHandleW): nothing is trimmed or turned into a
// device any more.
std::wstring longForm(const std::wstring& full) {
  if (startsWith(full, L"\\\\?\\")) return full;
  if (startsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// The file the given name finally reaches: the one to replace.
struct Target {
  std::wstring path;  // long form
  bool exists = false;
  DWORD attributes = 0;
};

// What the given name reached, when links led elsewhere, is named too (Windows compares names
// without regard to case).
[[noreturn]] void refuse(const std::string& given, const std::wstring& full,
                         const std::wstring& reached, const char* kind) {
  std::string named;
  if (!reached.empty() &&
      CompareStringOrdinal(withoutLongPrefix(reached).c_str(), -1, withoutLongPrefix(full).c_str(),
                           -1, TRUE) != CSTR_EQUAL)
    named = " (links to \"" + shown(reached) + "\")";
  throw std::runtime_error("replace \"" + given + "\"" + named + ": " + kind +
                           ", not a regular file; nothing written");
}

Target finalTarget(const std::string& given) {
  const std::wstring name = fromUser(given);
  const std::wstring full = fullPathOf(name, given);
  // The system's own rules make a DOS device name (NUL, CON, COM3, also NUL.txt or C:\dir\nul on
  // Windows before 11) into a name in the device space "\\.\"; renaming over one would not make a
  // settings file.
  const bool deviceName = startsWith(full, L"\\\\.\\");
  // Opened without FILE_FLAG_OPEN_REPARSE_POINT: symbolic links and junctions are followed, on
  // the way and at the end, as the system follows them for any program that opens the name.
  const HANDLE file = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (deviceName) refuse(given, full, L"", "a device");
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
      fail(error, "replace", given);
    // Not there. The name itself may still be a link whose target does not exist: replacing the
    // link by a file would lose it, and following it by hand is more than a settings file needs.
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
      refuse(given, full, L"", "a link to a file that does not exist");
    return Target{longForm(full), false, 0};
  }
  const DWORD type = GetFileType(file);
  BY_HANDLE_FILE_INFORMATION information{};
  const BOOL described = GetFileInformationByHandle(file, &information);
  std::wstring reached(32768, L'\0');
  const DWORD length =
      GetFinalPathNameByHandleW(file, reached.data(), static_cast<DWORD>(reached.size()),
                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  const DWORD error = GetLastError();
  CloseHandle(file);
  reached.resize(length > 0 && length < reached.size() ? length : 0);
  if (type == FILE_TYPE_CHAR) refuse(given, full, reached, "a character device");
  if (type == FILE_TYPE_PIPE) refuse(given, full, reached, "a pipe");
  if (type != FILE_TYPE_DISK) refuse(given, full, reached, "a device");
  if (!described) fail(error, "replace", given);
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    refuse(given, full, reached, "a folder");
  // A volume without a drive letter has no name of that kind; the name as given reaches the file.
  return Target{reached.empty() ? longForm(full) : longForm(reached), true,
                information.dwFileAttributes};
}

// The temporary file while it is being written: closed and deleted again unless released.
class TemporaryFile {
 public:
  TemporaryFile(HANDLE handle, std::wstring path)
      : handle_(handle), path_(std::move(path)), announced_(narrow(path_, CP_UTF8)) {}
  ~TemporaryFile() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    if (!path_.empty()) {
      // It may have been marked read-only already, which would keep it from being deleted.
      SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(path_.c_str());
    }
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  HANDLE handle() const { return handle_; }
  const std::wstring& path() const { return path_; }
  // Closing can report a late write error (on a network share in particular).
  bool close() {
    const BOOL closed = CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed != FALSE;
  }
  void keep() { path_.clear(); }

 private:
  HANDLE handle_;
  std::wstring path_;
  // A run ended by Ctrl-C or a closed console while the file exists deletes it too; named in
  // UTF-8, which holds every name Windows can give a file. Declared last: withdrawn only after
  // the file is gone.
  RemovedOnTermination announced_;
};

// The longest file name (one part of a path) the file systems Windows writes take, in UTF-16
// units: NTFS, exFAT, FAT with long names and ReFS alike.
constexpr std::size_t kNameMax = 255;

// The temporary's name: the target's name, cut short when needed so that the whole fits the
// limit, then a random part. A cut never splits a character in two.
std::wstring temporaryName(const std::wstring& target, std::uint64_t randomPart) {
  const std::size_t slash = target.find_last_of(L'\\');
  std::wstring base = target.substr(slash + 1);
  wchar_t suffix[32];
  std::swprintf(suffix, 32, L".%012llx.tmp",
                static_cast<unsigned long long>(randomPart & 0xFFFFFFFFFFFFull));
  const std::size_t room = kNameMax - std::wcslen(suffix);
  if (base.size() > room) {
    std::size_t cut = room;
    if (cut > 0 && IS_HIGH_SURROGATE(base[cut - 1])) --cut;
    base.resize(cut);
  }
  return target.substr(0, slash + 1) + base + suffix;
}

// Creates a file that did not exist before, next to the target, under a name no one can predict.
// CREATE_NEW fails on any existing name, a planted link included, so the write cannot be
// redirected. Others may delete it while it is open: a termination request deletes it then.
TemporaryFile createTemporary(const std::wstring& target, const std::string& given) {
  std::random_device entropy;
  std::mt19937_64 random(static_cast<std::uint64_t>(entropy()) << 32 ^ entropy() ^
                         static_cast<std::uint64_t>(GetCurrentProcessId()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::wstring name = temporaryName(target, random());
    const HANDLE handle = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return TemporaryFile(handle, std::move(name));
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
      fail(error, "create temporary file for", given);
  }
  fail(ERROR_FILE_EXISTS, "create temporary file for", given);
}

// The marks a file carries on Windows that the new file takes over from the earlier one, as it
// takes over the permission bits on Linux. Everything else it gets as any new file in the folder.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The earlier file's access rules (its DACL, protected from the folder's or not) and its owner and
// group onto the new one. Giving a file to another owner takes a right that administrators have
// and others lack; what cannot be kept is left as the new file has it: the content is what counts.
void keepSecurity(const std::wstring& earlier, const std::wstring& temporary) {
  PSID owner = nullptr;
  PSID group = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(
          earlier.c_str(), SE_FILE_OBJECT,
          OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
          &owner, &group, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
    return;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  // Entries the earlier file inherited from its folder are worked out again from the folder.
  const SECURITY_INFORMATION inheritance = (control & SE_DACL_PROTECTED) != 0
                                               ? PROTECTED_DACL_SECURITY_INFORMATION
                                               : UNPROTECTED_DACL_SECURITY_INFORMATION;
  std::wstring name = temporary;
  SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | inheritance,
                        nullptr, nullptr, dacl, nullptr);
  SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner, nullptr,
                        nullptr, nullptr);
  SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, GROUP_SECURITY_INFORMATION, nullptr, group,
                        nullptr, nullptr);
  LocalFree(descriptor);
}

}  // namespace

void replaceFile(const std::string& path, const std::string& content) {
  if (path.empty()) fail(ERROR_PATH_NOT_FOUND, "write", path);
  const Target target = finalTarget(path);
  TemporaryFile temporary = createTemporary(target.path, path);

  const char* data = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    // WriteFile takes at most 4 GiB at a time.
    const DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(temporary.handle(), data, chunk, &written, nullptr))
      fail(GetLastError(), "write", shown(temporary.path()));
    if (written == 0) fail(ERROR_WRITE_FAULT, "write", shown(temporary.path()));
    data += written;
    left -= written;
  }
  // The data must be on the disk before the new name points at it; otherwise a power cut right
  // after the rename can leave an empty file where the earlier one was.
  if (!FlushFileBuffers(temporary.handle())) fail(GetLastError(), "flush", shown(temporary.path()));
  if (!temporary.close()) fail(GetLastError(), "close", shown(temporary.path()));

  const DWORD kept = target.exists ? target.attributes & kKeptAttributes : 0;
  if (target.exists) keepSecurity(target.path, temporary.path());
  if (kept != 0) SetFileAttributesW(temporary.path().c_str(), kept);
  // Windows renames nothing over a read-only file: the mark comes off the earlier file just for
  // the rename (the new file carries it from then on), and goes back on if the rename fails.
  const bool readOnly = (kept & FILE_ATTRIBUTE_READONLY) != 0;
  if (readOnly &&
      !SetFileAttributesW(target.path.c_str(), target.attributes & ~FILE_ATTRIBUTE_READONLY))
    fail(GetLastError(), "replace", path);
  // One rename, which replaces the earlier file whole; write-through returns only once the rename
  // is on the disk.
  if (!MoveFileExW(temporary.path().c_str(), target.path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    if (readOnly) SetFileAttributesW(target.path.c_str(), target.attributes);
    fail(error, "replace", path);
  }
  temporary.keep();
}

}  // namespace sunlink
