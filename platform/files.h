// Files written whole.
#pragma once

#include <string>

namespace sunlink {

// Replaces the regular file named by path with content, so that anyone reading it sees either the
// earlier file or the whole new one, never a part, even after a crash or a power cut. Promises:
//
// - Target. A symbolic link at path (or a chain of them) is followed: the file it finally names is
//   replaced and the links stay as they are; a link that names no file yet gets one. A link found
//   in a shared folder (sticky and writable by all, such as /tmp) that belongs neither to the user
//   nor to the folder's owner is not followed: it may have been planted there to redirect the
//   write, and the failure reason is "Permission denied". When the target exists and is not a
//   regular file (a device, a FIFO, a socket, a folder) nothing is written and the failure names
//   its kind.
// - Refusals (Linux). An existing file is replaced only where the shell's `>` could have written
//   it: not when it is write-protected for the user (root writes any file), nor when, in a shared
//   folder, it belongs neither to the user nor to the folder's owner. Nothing is written and the
//   failure gives the reason. On Windows a read-only file is replaced and keeps its mark.
// - Way of writing. The content goes to a new temporary file in the target's folder, created
//   exclusively under a name no one can predict that fits the folder's limit on the length of a
//   file name (whatever the target's name), is flushed to the disk and then renamed over the
//   target.
// - Attributes. The new file keeps the earlier file's permission bits, and its owner and group
//   when the program has the right to set them (not having it is no failure); a new file gets the
//   usual permission bits of a new file.
// - Failure. The earlier file is untouched, the temporary file removed, and an exception thrown
//   (std::system_error when the operating system refused) whose text names the file and the
//   reason. A run ended by a termination request while the temporary file exists removes it too
//   (platform/signals.h).
void replaceFile(const std::string& path, const std::string& content);

}  // namespace sunlink
