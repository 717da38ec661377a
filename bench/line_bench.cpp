// chgtune at the real line rate: runs the chgtune binary, as a user runs it, against the simulated
// charger pacing both directions at 19200 baud, and compares each run's wall time with the time the
// same conversation needs on the wire. Also reports the program's CPU time and peak memory, the
// CPU it burns while it waits on a charger that never answers, and its CPU time per block while it
// watches a charger that sends a TEXT block a second (--watch).
//
//   chgtune_line_bench --chgtune PATH [--runs N] [--latency MS] [--idle-runs N] [--profile NAME]...
//                      [--empty PATH] [--watch-seconds N]
//
// --watch-seconds is how long the watch runs, a block a second (default 60; 0 leaves it out).
//
// --empty names a program that does nothing but is linked like chgtune: its start-to-exit time is
// the part of every run that no change to chgtune's own code can take away.
//
// Prints one table (Markdown) on standard output: medians over the runs. Exits 1 when a run ends
// with another status than the operation should give, so a broken build never yields figures.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "quiet_process.h"
#include "sim/charger_sim.h"
#include "sim/profiles.h"

extern char** environ;

namespace {

using namespace sunlink::sim;
using Clock = std::chrono::steady_clock;

constexpr double kSecondsPerByte = 10.0 / 19200.0;  // 8N1: start bit, 8 data bits, stop bit

struct Operation {
  std::string name;               // as shown in the table
  std::vector<std::string> args;  // "@PORT" and "@DIR" are replaced per run
  int expectedStatus;
};

struct Run {
  double wallMs = 0;
  double cpuMs = 0;    // user + system of the chgtune process
  double peakMiB = 0;  // its peak resident set
  std::uint64_t bytes = 0;
  std::size_t exchanges = 0;
  double floorMs = 0;
  double startMs = 0;  // from the start of the process to the first byte on the line
  double endMs = 0;    // from the last reply byte to the end of the process
  int status = -1;
  Clock::time_point startedAt, endedAt;
};

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

double milliseconds(const timeval& tv) { return tv.tv_sec * 1e3 + tv.tv_usec / 1e3; }

// Runs chgtune with its output thrown away; returns its status and resource use.
Run spawnAndMeasure(const std::string& chgtune, const std::vector<std::string>& args) {
  Run run;
  const Clock::time_point started = Clock::now();
  const pid_t pid = sunlink::bench::spawnQuietly(chgtune, args);
  rusage usage{};
  run.status = sunlink::bench::waitForExit(pid, usage);
  run.startedAt = started;
  run.endedAt = Clock::now();
  run.wallMs = std::chrono::duration<double, std::milli>(run.endedAt - started).count();
  run.cpuMs = milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime);
  run.peakMiB = usage.ru_maxrss / 1024.0;  // Linux reports kibibytes
  return run;
}

// One run of chgtune against a fresh simulated charger of the given profile.
Run runOnce(const std::string& chgtune, const std::string& profile, const Operation& operation,
            std::chrono::milliseconds latency, const std::filesystem::path& dir) {
  Faults faults;
  faults.paceAtLineRate = true;
  faults.latency = latency;
  faults.textInterval = std::chrono::milliseconds(0);  // HEX only: the floor is then exact
  ChargerSim sim(profileByName(profile), faults);
  const std::string port = sim.start();

  std::vector<std::string> args;
  for (std::string arg : operation.args) {
    if (arg == "@PORT") arg = port;
    if (arg.rfind("@DIR/", 0) == 0) arg = (dir / arg.substr(5)).string();
    args.push_back(arg);
  }
  Run run = spawnAndMeasure(chgtune, args);
  // The simulator notices the close after it has read everything the program wrote.
  sim.waitForProgram(false, std::chrono::seconds(2));
  sim.stop();
  run.bytes = sim.bytesReceived() + sim.bytesSent();
  run.exchanges = sim.replyCount();
  run.floorMs = 1e3 * (static_cast<double>(run.bytes) * kSecondsPerByte) +
                static_cast<double>(run.exchanges) * static_cast<double>(latency.count());
  using Ms = std::chrono::duration<double, std::milli>;
  if (run.bytes > 0) {
    run.startMs = Ms(sim.firstByteReceivedAt() - run.startedAt).count();
    run.endMs = Ms(run.endedAt - sim.lastByteSentAt()).count();
  }
  return run;
}

struct Row {
  std::string operation, profile;
  Run median;
};

Run medianOf(const std::vector<Run>& runs) {
  auto pick = [&](auto field) {
    std::vector<double> values;
    for (const Run& run : runs) values.push_back(field(run));
    return median(values);
  };
  Run m = runs.front();
  m.wallMs = pick([](const Run& r) { return r.wallMs; });
  m.cpuMs = pick([](const Run& r) { return r.cpuMs; });
  m.peakMiB = pick([](const Run& r) { return r.peakMiB; });
  m.floorMs = pick([](const Run& r) { return r.floorMs; });
  m.startMs = pick([](const Run& r) { return r.startMs; });
  m.endMs = pick([](const Run& r) { return r.endMs; });
  m.bytes = static_cast<std::uint64_t>(pick([](const Run& r) { return double(r.bytes); }));
  m.exchanges = static_cast<std::size_t>(pick([](const Run& r) { return double(r.exchanges); }));
  return m;
}

void usage() {
  std::cerr << "usage: chgtune_line_bench --chgtune PATH [--runs N] [--latency MS] "
               "[--idle-runs N] [--profile NAME]... [--empty PATH] [--watch-seconds N]\n";
  std::exit(2);
}

struct Settings {
  std::string chgtune;
  std::string empty;
  int runs = 5;
  int idleRuns = 3;
  int watchSeconds = 60;
  long latencyMs = 5;
  std::vector<std::string> profiles;
};

// Ends the program with usage() for anything it cannot take.
Settings parseArguments(int argc, char* argv[]) {
  Settings settings;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) usage();
    const std::string value = argv[++i];
    if (arg == "--chgtune") {
      settings.chgtune = value;
    } else if (arg == "--runs") {
      settings.runs = std::atoi(value.c_str());
    } else if (arg == "--idle-runs") {
      settings.idleRuns = std::atoi(value.c_str());
    } else if (arg == "--latency") {
      settings.latencyMs = std::atol(value.c_str());
    } else if (arg == "--profile") {
      settings.profiles.push_back(value);
    } else if (arg == "--empty") {
      settings.empty = value;
    } else if (arg == "--watch-seconds") {
      settings.watchSeconds = std::atoi(value.c_str());
    } else {
      usage();
    }
  }
  if (settings.chgtune.empty() || settings.runs < 1 || settings.idleRuns < 0 ||
      settings.latencyMs < 0 || settings.watchSeconds < 0) {
    usage();
  }
  // The chargers whose settings can be read: the other profiles end the run early on purpose.
  if (settings.profiles.empty()) {
    settings.profiles = {"load115",   "rotary113", "recent",    "load107",
                         "rotary110", "rc116",     "product300"};
  }
  return settings;
}

const Operation kOperations[] = {
    {"--get", {"--serial", "@PORT", "--get"}, 0},
    {"--abs 14.4", {"--serial", "@PORT", "--abs", "14.4"}, 0},
    {"--download", {"--serial", "@PORT", "--download", "@DIR/settings.xml"}, 0},
};

// Every operation against every profile, the median of each. Sets failed when a run ends with
// another status than its operation should give; throws when a run cannot be made at all.
std::vector<Row> measureOperations(const Settings& settings, const std::filesystem::path& dir,
                                   bool& failed) {
  struct Case {
    const Operation* operation;
    std::string profile;
    std::vector<Run> runs;
  };
  std::vector<Case> cases;
  for (const Operation& operation : kOperations) {
    for (const std::string& profile : settings.profiles) {
      cases.push_back(Case{&operation, profile, {}});
    }
  }
  const std::chrono::milliseconds latency(settings.latencyMs);
  // Rounds over every case rather than one case after another: this machine's slow spells (other
  // guests on the host) last seconds, and spread over the rounds they spoil one run of several
  // cases, which the medians drop, instead of every run of one case. Round 0 is not counted: it
  // brings the program, the profiles and the file being written into the caches.
  for (int round = 0; round <= settings.runs; ++round) {
    for (Case& c : cases) {
      Run run = runOnce(settings.chgtune, c.profile, *c.operation, latency, dir);
      if (run.status != c.operation->expectedStatus) {
        std::cerr << "chgtune " << c.operation->name << " against " << c.profile << " exited "
                  << run.status << "\n";
        failed = true;
      }
      if (round > 0) c.runs.push_back(run);
    }
    std::cerr << "." << std::flush;
  }
  std::vector<Row> rows;
  for (const Case& c : cases) rows.push_back(Row{c.operation->name, c.profile, medianOf(c.runs)});
  return rows;
}

// A charger that never answers: the ping is sent ten times, each waiting out its time-out.
std::vector<Run> measureIdle(const Settings& settings, const std::filesystem::path& dir,
                             bool& failed) {
  std::vector<Run> idle;
  try {
    const Operation silentGet{"--get", {"--serial", "@PORT", "--get"}, 3};
    for (int i = 0; i < settings.idleRuns; ++i) {
      Run run = runOnce(settings.chgtune, "silent", silentGet, std::chrono::milliseconds(0), dir);
      if (run.status != silentGet.expectedStatus) {
        std::cerr << "chgtune --get against a silent charger exited " << run.status << "\n";
        failed = true;
      }
      idle.push_back(run);
      std::cerr << "." << std::flush;
    }
  } catch (const std::exception& e) {
    std::cerr << "chgtune_line_bench: " << e.what() << "\n";
    failed = true;
  }
  return idle;
}

// chgtune --watch against a charger that sends a TEXT block a second, as a real one does, paced at
// the line rate byte by byte, over a sunny day of its own length: --count ends it after the blocks
// of that many seconds. Its CPU time (from the start of the process to its end) per block shown.
// The cost of one block is told apart from the start and end of the process by a second watch of
// one block: the difference, over the blocks between.
struct WatchRun {
  Run run;
  std::size_t blocks = 0;
  Run oneBlock;
};

WatchRun measureWatch(const Settings& settings, bool& failed) {
  WatchRun watch;
  try {
    Faults faults;
    faults.paceAtLineRate = true;
    faults.textInterval = std::chrono::milliseconds(1000);
    faults.dayLength = std::chrono::seconds(settings.watchSeconds);
    ChargerSim sim(profileByName("load115"), faults);
    const std::string port = sim.start();
    watch.blocks = static_cast<std::size_t>(settings.watchSeconds);
    watch.oneBlock =
        spawnAndMeasure(settings.chgtune, {"--serial", port, "--watch", "--count", "1"});
    sim.waitForProgram(false, std::chrono::seconds(2));
    sim.clearRecords();
    watch.run = spawnAndMeasure(
        settings.chgtune, {"--serial", port, "--watch", "--count", std::to_string(watch.blocks)});
    sim.stop();
    watch.run.bytes = sim.bytesReceived() + sim.bytesSent();
    if (watch.run.status != 0 || watch.oneBlock.status != 0 || sim.bytesReceived() != 0) {
      std::cerr << "chgtune --watch exited " << watch.run.status << " having sent "
                << sim.bytesReceived() << " bytes\n";
      failed = true;
    }
  } catch (const std::exception& e) {
    std::cerr << "chgtune_line_bench: " << e.what() << "\n";
    failed = true;
  }
  return watch;
}

void printWatch(const WatchRun& watch) {
  const Run& m = watch.run;
  const double perBlock = watch.blocks > 1 ? 1e3 * (m.cpuMs - watch.oneBlock.cpuMs) /
                                                 static_cast<double>(watch.blocks - 1)
                                           : 0;
  std::printf(
      "\nWatching: `--watch --count %zu` against a charger sending a TEXT block a second, paced at "
      "19200 baud (%llu bytes): %.1f s, %.1f ms of CPU in all (%.0f µs per block), of which "
      "%.1f ms start and end the process as a one-block watch does: %.0f µs of CPU per block "
      "while watching (target: at most 200 µs); peak RSS %.1f MiB.\n",
      watch.blocks, static_cast<unsigned long long>(m.bytes), m.wallMs / 1e3, m.cpuMs,
      1e3 * m.cpuMs / static_cast<double>(watch.blocks), watch.oneBlock.cpuMs, perBlock, m.peakMiB);
}

void printTable(const std::vector<Row>& rows, const std::vector<Run>& idle) {
  std::printf(
      "| operation | profile | exchanges | bytes on the wire | wire floor (ms) | wall (ms) "
      "| wall / floor | start-up (ms) | wind-down (ms) | CPU (ms) | peak RSS (MiB) |\n");
  std::printf("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  double worstRatio = 0, worstCpu = 0, worstPeak = 0;
  for (const Row& row : rows) {
    const Run& m = row.median;
    const double ratio = m.floorMs > 0 ? m.wallMs / m.floorMs : 0;
    worstRatio = std::max(worstRatio, ratio);
    if (row.operation == "--get") worstCpu = std::max(worstCpu, m.cpuMs);
    worstPeak = std::max(worstPeak, m.peakMiB);
    std::printf("| `%s` | %s | %zu | %llu | %.1f | %.1f | %.3f | %.1f | %.1f | %.1f | %.1f |\n",
                row.operation.c_str(), row.profile.c_str(), m.exchanges,
                static_cast<unsigned long long>(m.bytes), m.floorMs, m.wallMs, ratio, m.startMs,
                m.endMs, m.cpuMs, m.peakMiB);
  }
  if (!idle.empty()) {
    const Run m = medianOf(idle);
    std::printf(
        "| `--get`, charger silent (idle) | silent | 0 | %llu | - | %.1f | - | - | - | "
        "%.1f | %.1f |\n",
        static_cast<unsigned long long>(m.bytes), m.wallMs, m.cpuMs, m.peakMiB);
    std::printf(
        "\nIdle: %.1f ms of CPU in %.1f s of waiting on a silent charger (target: at most "
        "20 ms).\n",
        m.cpuMs, m.wallMs / 1e3);
  }
  std::printf(
      "\nWorst wall / floor: %.3f (target: at most 1.05). Worst CPU for a `--get`: %.1f ms "
      "(target: at most 25 ms). Worst peak RSS: %.1f MiB (target: at most 10 MiB).\n",
      worstRatio, worstCpu, worstPeak);
}

// The start-to-exit time of the program that does nothing, against the shortest conversation.
void printStartCost(const Settings& settings, const std::vector<Row>& rows, bool& failed) {
  std::vector<Run> starts;
  try {
    for (int i = -1; i < settings.runs; ++i) {
      Run run = spawnAndMeasure(settings.empty, {});
      if (i >= 0) starts.push_back(run);
    }
  } catch (const std::exception& e) {
    std::cerr << "chgtune_line_bench: " << e.what() << "\n";
    failed = true;
  }
  double shortestFloor = 0;
  for (const Row& row : rows) {
    if (shortestFloor == 0 || row.median.floorMs < shortestFloor) {
      shortestFloor = row.median.floorMs;
    }
  }
  if (!starts.empty() && shortestFloor > 0) {
    const Run m = medianOf(starts);
    std::printf(
        "A program that does nothing, linked to the same shared libraries, takes %.1f ms from "
        "start to exit (%.1f ms of CPU): %.1f %% of the shortest conversation's floor "
        "(%.1f ms).\n",
        m.wallMs, m.cpuMs, 100.0 * m.wallMs / shortestFloor, shortestFloor);
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  const Settings settings = parseArguments(argc, argv);
  std::error_code ignored;
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("chgtune-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);

  bool failed = false;
  std::vector<Row> rows;
  try {
    rows = measureOperations(settings, dir, failed);
  } catch (const std::exception& e) {
    std::cerr << "chgtune_line_bench: " << e.what() << "\n";
    std::filesystem::remove_all(dir, ignored);
    return 1;
  }
  const std::vector<Run> idle = measureIdle(settings, dir, failed);
  WatchRun watch;
  if (settings.watchSeconds > 0) {
    std::cerr << " watching for " << settings.watchSeconds << " s" << std::flush;
    watch = measureWatch(settings, failed);
  }
  std::cerr << "\n";
  std::filesystem::remove_all(dir, ignored);

  printTable(rows, idle);
  if (!settings.empty.empty()) printStartCost(settings, rows, failed);
  std::printf(
      "Medians of %d runs each (%d for the idle row); simulated reply latency %ld ms per "
      "exchange.\n",
      settings.runs, settings.idleRuns, settings.latencyMs);
  if (watch.blocks > 0) printWatch(watch);
  return failed ? 1 : 0;
}
