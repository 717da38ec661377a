#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/stable_port_name.h"

namespace sunlink {

namespace fs = std::filesystem;

std::string stablePortName(const std::string& port, const std::string& byIdFolder) {
  std::error_code error;
  const fs::path target = fs::canonical(port, error);
  if (error) return "";
  std::vector<fs::path> names;
  // No such folder (no USB serial adapter plugged in since boot) simply means no stable name.
  for (fs::directory_iterator it(byIdFolder, error), end; !error && it != end;
       it.increment(error)) {
    std::error_code ignored;
    if (it->is_symlink(ignored) && fs::canonical(it->path(), ignored) == target && !ignored)
      names.push_back(it->path());
  }
  if (names.empty()) return "";
  return std::min_element(names.begin(), names.end())->string();
}

std::string stablePortName(const std::string& port) {
  return stablePortName(port, "/dev/serial/by-id");
}

}  // namespace sunlink
