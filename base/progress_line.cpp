#include "base/progress_line.h"

#include <iostream>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/console.h"
#include "platform/terminal_line.h"

namespace sunlink {

namespace {

class TerminalFilter;

// Guards every member of ProgressState and the members of every TerminalFilter.
std::mutex progressMutex;

struct ProgressState {
  std::streambuf* terminal = nullptr;  // standard error's own buffer; null: the line is not taken
  std::vector<std::unique_ptr<TerminalFilter>> filters;
  std::string wanted;  // the work's progress text; empty when no work is under way
  std::string shown;   // what is drawn now; empty when nothing is
};
ProgressState progress;

void writeToTerminal(const std::string& bytes) {
  progress.terminal->sputn(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  progress.terminal->pubsync();
}

void eraseLocked() {
  if (progress.shown.empty()) return;
  writeToTerminal(terminalLineRewrite(progress.shown, ""));
  progress.shown.clear();
}

void drawLocked();

// What one stream writes to the terminal. With no progress under way, bytes pass at once; while
// there is, they are held until a line is whole, then written with the progress line erased
// before and drawn again after.
class TerminalFilter : public std::streambuf {
 public:
  explicit TerminalFilter(std::streambuf* target) : target_(target) {}

  std::streambuf* target() const { return target_; }
  // Whether the screen's line holds nothing this stream wrote: the progress line may go there.
  bool atLineStart() const { return atLineStart_; }

  // Lets out a line held unfinished (the work has ended). Caller holds progressMutex.
  void releaseLocked() {
    if (held_.empty()) return;
    pass(held_.data(), held_.size());
    held_.clear();
  }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
  }

  std::streamsize xsputn(const char* s, std::streamsize n) override {
    std::lock_guard<std::mutex> lock(progressMutex);
    if (progress.wanted.empty() && held_.empty()) {
      eraseLocked();
      pass(s, static_cast<std::size_t>(n));
      return n;
    }
    held_.append(s, static_cast<std::size_t>(n));
    const std::size_t lineEnd = held_.rfind('\n');
    if (lineEnd != std::string::npos) {
      eraseLocked();
      pass(held_.data(), lineEnd + 1);
      held_.erase(0, lineEnd + 1);
      drawLocked();
    }
    return n;
  }

  int sync() override {
    std::lock_guard<std::mutex> lock(progressMutex);
    return target_->pubsync();
  }

 private:
  void pass(const char* s, std::size_t n) {
    if (n == 0) return;
    target_->sputn(s, static_cast<std::streamsize>(n));
    // Standard output may be buffered: what it holds reaches the screen before the progress line
    // is drawn on standard error.
    target_->pubsync();
    atLineStart_ = s[n - 1] == '\n';
  }

  std::streambuf* target_;
  std::string held_;  // the unfinished line held while progress is shown
  bool atLineStart_ = true;
};

void drawLocked() {
  if (progress.terminal == nullptr || progress.wanted.empty() || progress.shown == progress.wanted)
    return;
  // A prompt or a line left unfinished before the work began is not overwritten.
  for (const auto& filter : progress.filters)
    if (!filter->atLineStart()) return;
  writeToTerminal(terminalLineRewrite(progress.shown, progress.wanted));
  progress.shown = progress.wanted;
}

}  // namespace

void showProgress(const std::string& text) {
  std::lock_guard<std::mutex> lock(progressMutex);
  if (progress.terminal == nullptr) return;
  progress.wanted = text;
  drawLocked();
}

void endProgress() {
  std::lock_guard<std::mutex> lock(progressMutex);
  if (progress.terminal == nullptr) return;
  progress.wanted.clear();
  eraseLocked();
  for (const auto& filter : progress.filters) filter->releaseLocked();
}

void writeBesideProgress(const std::function<void()>& write) {
  std::lock_guard<std::mutex> lock(progressMutex);
  if (progress.terminal == nullptr) {
    write();
    return;
  }
  eraseLocked();
  write();
  drawLocked();
}

TerminalProgressLine::TerminalProgressLine() {
  if (!standardErrorIsTerminal()) return;
  std::lock_guard<std::mutex> lock(progressMutex);
  errBuffer_ = std::cerr.rdbuf();
  progress.terminal = errBuffer_;
  progress.filters.push_back(std::make_unique<TerminalFilter>(errBuffer_));
  std::cerr.rdbuf(progress.filters.back().get());
  // Output on the same screen takes part too; into a pipe or a file it is none of the line's
  // business.
  if (standardOutputIsTerminal()) {
    std::cout.flush();
    outBuffer_ = std::cout.rdbuf();
    progress.filters.push_back(std::make_unique<TerminalFilter>(outBuffer_));
    std::cout.rdbuf(progress.filters.back().get());
  }
}

TerminalProgressLine::~TerminalProgressLine() {
  if (errBuffer_ == nullptr) return;
  endProgress();
  std::lock_guard<std::mutex> lock(progressMutex);
  std::cerr.rdbuf(errBuffer_);
  if (outBuffer_ != nullptr) std::cout.rdbuf(outBuffer_);
  progress.filters.clear();
  progress.terminal = nullptr;
}

}  // namespace sunlink
