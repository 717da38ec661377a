#include <sys/stat.h>

#include <cstdio>

#include "platform/file_readers.h"

namespace sunlink {

std::string otherReaders(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return "";
  const bool group = (status.st_mode & S_IRGRP) != 0;
  const bool others = (status.st_mode & S_IROTH) != 0;
  if (!group && !others) return "";
  char mode[16];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
  const std::string who = group && others ? "its group and others" : group ? "its group" : "others";
  return who + " (mode " + mode + ")";
}

}  // namespace sunlink
