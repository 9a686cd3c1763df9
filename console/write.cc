#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "format.h"
#include "output.h"

namespace {

constexpr std::size_t kChunk = 1 << 16;

// The name the program was started by, as standard tools name themselves.
const char* ProgramName() {
#if defined(__GLIBC__)
  return program_invocation_short_name;
#else
  return getprogname();
#endif
}

// The one line on standard error, made without allocating: memory may be what ran out.
[[noreturn]] void Fail(std::string_view what, int error) {
  char line[512];
  std::size_t length = 0;
  auto add = [&](std::string_view text) {
    std::size_t room = sizeof line - 1 - length;
    std::size_t taken = text.size() < room ? text.size() : room;
    std::memcpy(line + length, text.data(), taken);
    length += taken;
  };
  add(ProgramName());
  add(": ");
  add(what);
  if (error != 0) {
    add(": ");
    add(std::strerror(error));
  }
  line[length++] = '\n';
  // Nothing more can be done where standard error fails too: the status still tells.
  [[maybe_unused]] ssize_t put = write(STDERR_FILENO, line, length);
  _exit(1);
}

// Waits until `fd` takes more output: a descriptor left non-blocking loses nothing.
void WaitUntilWritable(int fd) {
  pollfd ready{.fd = fd, .events = POLLOUT, .revents = 0};
  while (poll(&ready, 1, -1) < 0 && errno == EINTR) {
  }
}

void OutOfMemory() {
  FlushAndFail("out of memory", 0);
}

// Every allocation that fails ends the run through OutOfMemory, before anything can
// throw: the pending output is written and the cause said, with no abort and no core.
[[maybe_unused]] const bool kOutOfMemoryHandled =
    (std::set_new_handler(OutOfMemory), true);

void FlushIfFull(Output& out) {
  if (out.pending.size() >= kChunk) Flush(out);
}

}  // namespace

void Flush(Output& out) {
  std::string_view left = out.pending;
  while (!left.empty()) {
    ssize_t put = write(out.fd, left.data(), left.size());
    if (put > 0) {
      left.remove_prefix(static_cast<std::size_t>(put));
    } else if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      WaitUntilWritable(out.fd);
    } else if (put == 0 || errno != EINTR) {
      // Where the reader has gone and SIGPIPE is ignored, this is EPIPE.
      Fail("write error", put == 0 ? EIO : errno);
    }
  }
  out.pending.clear();
}

void FlushAndFail(std::string_view what, int error) {
  Flush(StandardOutput());
  Fail(what, error);
}

Output& StandardOutput() {
  static Output standard_output;
  return standard_output;
}

Output::~Output() {
  Flush(*this);
}

void Write(std::string_view text) {
  Output& out = StandardOutput();
  out.pending.append(text);
  FlushIfFull(out);
}

void WriteLine(std::string_view text) {
  Write(text);
  Write("\n");
}

void PrintArgs(std::string_view format, std::initializer_list<Arg> args) {
  Output& out = StandardOutput();
  Format(out.pending, format, args);
  FlushIfFull(out);
}
