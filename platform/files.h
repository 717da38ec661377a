// Files written whole.
#pragma once

#include <string>

namespace sunlink {

// Replaces the file at path by content so that anyone reading it sees either the earlier file or
// the whole new one, never a part, even after a crash or a power cut:
// the content goes to a new temporary file in the same folder, created exclusively (a link planted
// under its name cannot redirect the write), is flushed to the disk and then renamed over path.
// A symbolic link at path is replaced, not followed. The new file keeps the earlier file's
// permission bits, or gets the usual ones of a new file.
// On failure the earlier file is untouched, the temporary file removed, and std::system_error
// thrown whose text names the file and the operating system's reason.
void replaceFile(const std::string& path, const std::string& content);

}  // namespace sunlink
