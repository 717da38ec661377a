// Publishing at the real line rate: runs the chgtune binary as a service runs it, --watch --mqtt,
// against the simulated charger flooding TEXT blocks at 19200 baud (about 12 blocks a second) and
// a mosquitto broker of its own on a free port of 127.0.0.1, until it has published N blocks
// (--count N, for about the given seconds). Reports the program's CPU time per published block.
//
//   chgtune_mqtt_bench --chgtune PATH --mosquitto PATH [--seconds S]
//
// Prints one Markdown table row on standard output; exits 1 when the run fails.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "quiet_process.h"
#include "sim/charger_sim.h"
#include "sim/profiles.h"

extern char** environ;

namespace {

using namespace sunlink::sim;
using Clock = std::chrono::steady_clock;
using sunlink::bench::spawnQuietly;
using sunlink::bench::waitForExit;

// A port of 127.0.0.1 that nothing listens on now.
int freePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("no free port on 127.0.0.1");
  ::close(fd);
  return ntohs(address.sin_port);
}

bool accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

double milliseconds(const timeval& tv) { return tv.tv_sec * 1e3 + tv.tv_usec / 1e3; }

}  // namespace

int main(int argc, char* argv[]) {
  std::string chgtune, mosquitto;
  int seconds = 60;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    if (arg == "--chgtune") chgtune = argv[i + 1];
    if (arg == "--mosquitto") mosquitto = argv[i + 1];
    if (arg == "--seconds") seconds = std::stoi(argv[i + 1]);
  }
  if (chgtune.empty() || mosquitto.empty()) {
    std::cerr << "usage: chgtune_mqtt_bench --chgtune PATH --mosquitto PATH [--seconds S]\n";
    return 2;
  }
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("chgtune-mqtt-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  pid_t broker = 0;
  try {
    const int port = freePort();
    const std::string config = (dir / "mosquitto.conf").string();
    std::ofstream(config) << "persistence false\nallow_anonymous true\n"
                          << (geteuid() == 0 ? "user root\n" : "") << "listener " << port
                          << " 127.0.0.1\n";
    broker = spawnQuietly(mosquitto, {"-c", config});
    int attempts = 0;
    while (!accepts(port)) {
      if (++attempts > 100) throw std::runtime_error("mosquitto does not listen");
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

    Faults faults;
    faults.textFlood = true;  // back to back at the line rate
    ChargerSim sim(profileByName("load115"), faults);
    const std::string serial = sim.start();
    // About ten blocks a second come at the line rate (1920 bytes a second, some 190 bytes a
    // block); the table gives the time the run took.
    const long blocks = 10L * seconds;

    const Clock::time_point started = Clock::now();
    rusage usage{};
    const int status = waitForExit(
        spawnQuietly(chgtune, {"--serial", serial, "--watch", "--count", std::to_string(blocks),
                               "--mqtt", "mqtt://127.0.0.1:" + std::to_string(port)}),
        usage);
    const double wall = std::chrono::duration<double>(Clock::now() - started).count();
    sim.stop();
    if (status != 0) throw std::runtime_error("chgtune ended with " + std::to_string(status));
    const double cpuMs = milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime);
    std::printf(
        "| publishing: CPU per block published at the line rate (%ld blocks in %.0f s, start-up "
        "included) | %.1f µs per block | |\n",
        blocks, wall, 1e3 * cpuMs / static_cast<double>(blocks));
  } catch (const std::exception& e) {
    std::cerr << "chgtune_mqtt_bench: " << e.what() << "\n";
    if (broker > 0) ::kill(broker, SIGTERM);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return 1;
  }
  ::kill(broker, SIGTERM);
  rusage ignoredUsage{};
  waitForExit(broker, ignoredUsage);
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return 0;
}
