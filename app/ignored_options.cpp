#include "app/ignored_options.h"

#include <string>
#include <utility>

#include "app/watch_operation.h"

namespace sunlink {

const std::vector<const char*> settingOptions = {
    "table", "sys", "abs", "float", "cellguard", "eqv", "autoeq", "tempcomp", "abslim", "current"};

namespace {

// The options that tell how to reach the broker of --mqtt.
const char* const kMqttOptions[] = {"mqtt-user",  "mqtt-password-file",    "mqtt-cafile",
                                    "mqtt-topic", "mqtt-discovery-prefix", "no-mqtt-discovery"};

// One path of the run sequence. It runs when its option is given and no earlier path's is, and
// leaves aside the options of every later path, every setting, and its own extra option.
struct RunPath {
  const char* option;
  bool deviceCommand;  // one of the one-shot commands, of which one runs per call
  const char* why;     // why the options it leaves aside are not applied
  const char* alsoAside = nullptr;
};

// In the order the run sequence tries them.
const RunPath kPaths[] = {
    {"scan", false, "--scan only lists the chargers", "dump"},
    {"compare", false, "--compare changes nothing"},
    {"reset", true, "--reset runs alone"},
    {"erase", true, "--erase runs alone"},
    {"clock", true, "--clock runs alone"},
    {"switch-on", true, "--switch-on runs alone"},
    {"switch-off", true, "--switch-off runs alone"},
    {"upload", false, "--upload only stores the file's settings"},
    {"download", false, "--download only saves the settings"},
    {"get", false, "--get changes nothing"},
};

// Option names grouped by the line that names them, in the order the lines come.
class Lines {
 public:
  void add(const char* option, bool deviceCommand, const std::string& why) {
    const std::string ending = (deviceCommand ? " not run: " : " not applied: ") + why;
    for (auto& line : lines_) {
      if (line.first == ending) {
        line.second.push_back(std::string("--") + option);
        return;
      }
    }
    lines_.push_back({ending, {std::string("--") + option}});
  }

  std::vector<std::string> text() const {
    std::vector<std::string> out;
    for (const auto& [ending, names] : lines_) {
      std::string line = names.front();
      for (std::size_t i = 1; i < names.size(); ++i)
        line += (i + 1 == names.size() ? " and " : ", ") + names[i];
      out.push_back(line + ending);
    }
    return out;
  }

 private:
  std::vector<std::pair<std::string, std::vector<std::string>>> lines_;
};

}  // namespace

std::vector<std::string> ignoredOptionLines(const CommandLine& options) {
  Lines lines;
  const RunPath* chosen = nullptr;
  for (const RunPath& path : kPaths) {
    if (!options.has(path.option)) continue;
    if (chosen == nullptr) {
      chosen = &path;
    } else {
      const bool oneOfTwoCommands = chosen->deviceCommand && path.deviceCommand;
      lines.add(path.option, path.deviceCommand,
                oneOfTwoCommands ? "one device command runs per call" : chosen->why);
    }
  }
  if (chosen != nullptr) {
    for (const char* setting : settingOptions) {
      if (options.has(setting)) lines.add(setting, false, chosen->why);
    }
    if (chosen->alsoAside != nullptr && options.has(chosen->alsoAside))
      lines.add(chosen->alsoAside, false, chosen->why);
  }
  // --count and --interval only pace a watch, and only a watch publishes.
  for (const char* option : {"count", "interval", "mqtt"}) {
    if (options.has(option) && !options.has("watch"))
      lines.add(option, false, "it only goes with --watch");
  }
  // The broker's settings go with its URL.
  for (const char* option : kMqttOptions) {
    if (options.has(option) && options.has("watch") && !options.has("mqtt"))
      lines.add(option, false, "it only goes with --mqtt");
    else if (options.has(option) && !options.has("watch"))
      lines.add(option, false, "it only goes with --watch --mqtt");
  }
  // --force only loosens the checks of an upload.
  if ((chosen == nullptr || std::string(chosen->option) != "upload") && options.has("force"))
    lines.add("force", false, "it only goes with --upload");
  // Quiet searching is a way of finding the port; the port named with --serial is asked directly
  // (--scan alone listens quietly on it).
  if ((chosen == nullptr || std::string(chosen->option) != "scan") && options.has("serial") &&
      options.has("quiet"))
    lines.add("quiet", false, "--serial names the port, so none is searched");
  return lines.text();
}

std::string misplacedDryRun(const CommandLine& options) {
  if (!options.has("dry-run")) return "";
  const RunPath* chosen = nullptr;
  for (const RunPath& path : kPaths) {
    if (options.has(path.option)) {
      chosen = &path;
      break;
    }
  }
  if (chosen != nullptr && std::string(chosen->option) == "upload") return "";
  bool setting = false;
  for (const char* option : settingOptions) setting = setting || options.has(option);
  if (chosen == nullptr && setting) return "";
  if (chosen == nullptr) return "--dry-run needs a setting to change or --upload";
  return std::string("--dry-run does not go with --") + chosen->option +
         ": it needs a setting to change or --upload, and nothing else to run";
}

std::string misplacedWatch(const CommandLine& options) {
  if (!options.has("watch")) return "";
  std::vector<const char*> others;
  for (const RunPath& path : kPaths) others.push_back(path.option);
  others.insert(others.end(), settingOptions.begin(), settingOptions.end());
  for (const char* other : others) {
    if (options.has(other))
      return std::string("--watch does not go with --") + other +
             ": watching only listens to the charger";
  }
  if (options.has("count") && !readBlockCount(options.text("count")))
    return "--count takes a number of blocks, 1 or more, not \"" + options.text("count") + "\"";
  if (options.has("interval") && !readInterval(options.text("interval")))
    return "--interval takes a number of seconds, more than 0 (such as 10 or 0.5), not \"" +
           options.text("interval") + "\"";
  return "";
}

std::string misplacedJson(const CommandLine& options) {
  if (!options.has("json")) return "";
  if (options.has("download") && options.text("download") == "-")
    return "--json and --download - cannot both write to standard output";
  // Under --watch it asks for JSON Lines, one object per block.
  if (options.has("scan") || options.has("compare") || options.has("watch")) return "";
  for (const RunPath& path : kPaths) {
    if (path.deviceCommand && options.has(path.option))
      return "--json does not go with --reset, --erase, --clock, --switch-on or --switch-off";
  }
  bool result = options.has("get") || options.has("download") || options.has("upload");
  for (const char* option : settingOptions) result = result || options.has(option);
  if (result) return "";
  return "--json needs --get, --download, --upload, --compare, --scan, --watch or a setting to "
         "change (there is no menu with --json)";
}

}  // namespace sunlink
