// The options a run leaves aside. Exactly one path runs per call (the list of chargers, a
// comparison, one device command, an upload, a download, a printout, or the changes), and the
// options of the other paths are not applied; that is by design, but the user who gave them must
// not believe the change was made. So each one given is named once, with why.
#pragma once

#include <string>
#include <vector>

#include "app/cli.h"

namespace sunlink {

// The options that change one setting each (and --table), in the order they are applied.
extern const std::vector<const char*> settingOptions;

// One line per reason, naming every option given that the chosen path leaves aside (the paths'
// options in the order they are tried, then the settings): "--erase and --clock not run: one device
// command runs per call",
// "--abs not applied: --get changes nothing". Empty when every option given is applied.
std::vector<std::string> ignoredOptionLines(const CommandLine& options);

// Why --dry-run cannot be kept, "" when it can: it needs a run that stores (settings to change, or
// an upload that runs). A dry run given to any other path would do that path's work for real, so
// it is a usage error, not an option left aside.
std::string misplacedDryRun(const CommandLine& options);

// Why --watch cannot be kept, "" when it can: watching only listens, so it goes with no path that
// asks the charger or writes to it (a device command, --upload, --download, --compare, --scan,
// --get, a setting to change); and --count must be a number of blocks.
std::string misplacedWatch(const CommandLine& options);

// Why --json cannot be kept, "" when it can: it goes with the paths that end in a result without a
// dialogue (no device command, no menu), and it cannot share standard output with "--download -".
std::string misplacedJson(const CommandLine& options);

}  // namespace sunlink
