// PtyPair: a pseudo-terminal pair that plays the far end of a serial line.
//
// The device side (the simulated charger) talks on the master; a program opens the slave path
// exactly as it would open a serial port. The pair keeps the slave open itself, in raw mode (no
// echo, no line editing, no character translation), so the path stays valid while programs open
// and close it one after another.
//
// It also watches who else has the slave open ("peers"). A real charger's bytes are lost when no
// program listens, while a pseudo-terminal would keep them for the next program that opens the
// path; so when the last peer closes, the pair discards what the device wrote that nobody read,
// clears a peer's exclusive-use mode (which would outlive the peer, because the pair itself keeps
// the terminal open) and puts the line back into raw mode. Users ask hasPeers() before writing.
//
// Threads: wake() and waitUntilRead() may be called from any thread; everything else belongs to the
// one device thread (construction and destruction included, or with that thread joined).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace sunlink {

// A new pseudo-terminal's two ends: the master, and the slave opened by its path, never as a
// controlling terminal. Both are closed on exec, so a program started meanwhile inherits neither
// (a master it kept would keep the line alive after its owner hung up). Every user of a
// pseudo-terminal (the simulated charger, the tests' scripted far ends and captured terminals)
// opens it here.
//
// Owns both descriptors until they are closed or released; not copyable. Not thread-safe.
class PseudoTerminal {
 public:
  // Throws std::system_error naming the failed step (and the slave path once it is known) and the
  // operating system's reason.
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  int master() const { return master_; }  // -1 once closed or released
  int slave() const { return slave_; }
  // The path a program opens, e.g. /dev/pts/7.
  const std::string& slavePath() const { return slavePath_; }

  void closeMaster();
  void closeSlave();
  // Hands the descriptor to the caller, who closes it from then on.
  int releaseMaster();
  int releaseSlave();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

// Raw line at the charger's rate (19200 baud, receiver on, modem lines ignored): no echo, no line
// editing, no character translation, so bytes pass as they are. Throws std::system_error naming
// path.
void makeRawLine(int fd, const std::string& path);

class PtyPair {
 public:
  // Opens the pair and the slave, raw mode. Throws std::system_error naming the failed step and the
  // operating system's reason.
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  // The path a program opens, e.g. /dev/pts/7.
  const std::string& slavePath() const { return terminal_.slavePath(); }

  struct Events {
    bool readable = false;      // the master has bytes from a peer
    bool writable = false;      // the master takes more output
    bool peersChanged = false;  // a peer opened or closed the slave
    bool woken = false;         // wake() was called
  };

  // Waits until something happens or the time-out passes. Watches for writability only when
  // wantWrite is true.
  Events wait(std::chrono::nanoseconds timeout, bool wantWrite);
  // Non-blocking: the bytes a peer wrote, up to n; 0 when there are none. Peers that opened the
  // slave before writing these bytes are counted by the time it returns.
  std::size_t read(char* buffer, std::size_t n);
  // Non-blocking: how many of the n bytes the terminal took (0 when its buffer is full).
  std::size_t write(const char* data, std::size_t n);
  // Makes a wait() in progress (or the next one) return at once.
  void wake();
  // Any thread: waits until a read() that began after the call found nothing left, so that every
  // byte peers wrote before the call has been read (and handled, by a device thread that handles
  // each chunk before it reads the next). False after the limit. Returns as soon as the master is
  // closed: nothing more will be read.
  bool waitUntilRead(std::chrono::nanoseconds limit);

  // Whether a program other than this pair has the slave open. True when the pair cannot tell.
  bool hasPeers() const { return peers_ > 0 || !watching_; }
  // How many times the last peer has closed the slave. Output made for a peer that has gone is
  // for nobody, even when another program has opened the path since.
  unsigned lastPeerCloses() const { return lastPeerCloses_; }

  // Closes the master as if the cable were pulled: peers read end-of-file and writes fail. Reads
  // and writes on the pair return 0 from then on.
  void closeMaster();
  bool masterOpen() const { return terminal_.master() >= 0; }

 private:
  void drainPeerEvents(Events& events);
  void resetLine();
  void markRead(std::uint64_t ticket);

  // waitUntilRead: callers take numbered tickets; the device thread notes the newest ticket before
  // each read of the master and, when that read finds nothing left, marks it done.
  std::atomic<std::uint64_t> readTicketsTaken_{0};
  std::uint64_t readTicketNoted_ = 0;  // device thread only: the last ticket marked done
  std::mutex readMutex_;               // guards readTicketDone_ and masterClosed_
  std::condition_variable readDone_;
  std::uint64_t readTicketDone_ = 0;
  bool masterClosed_ = false;

  PseudoTerminal terminal_;
  int wakeFd_ = -1;    // eventfd written by wake()
  int notifyFd_ = -1;  // inotify descriptor watching the slave path for opens and closes
  bool watching_ = false;
  int peers_ = 0;
  unsigned lastPeerCloses_ = 0;
};

}  // namespace sunlink
