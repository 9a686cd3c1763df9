// The console layer's contact with a POSIX system: the standard descriptors as they are.
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "system.h"

namespace {

// Waits until `stream` is ready for `events`, `patience` milliseconds at most; 0, or the
// cause of a wait that cannot wait.
int WaitFor(int stream, short events, int patience) {
  pollfd ready{.fd = stream, .events = events, .revents = 0};
  int got = poll(&ready, 1, patience);
  if (got == 0) return ETIMEDOUT;
  return got < 0 && errno != EINTR ? errno : 0;
}

}  // namespace

Transfer ReadSome(int stream, char* into, std::size_t size) {
  for (;;) {
    ssize_t got = read(stream, into, size);
    if (got >= 0) return {static_cast<std::size_t>(got), 0};
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (int cause = WaitFor(stream, POLLIN, -1)) return {0, cause};
    } else if (errno != EINTR) {
      return {0, errno};
    }
  }
}

int WriteAll(int stream, std::string_view text, int patience) {
  while (!text.empty()) {
    ssize_t put = write(stream, text.data(), text.size());
    if (put > 0) {
      text.remove_prefix(static_cast<std::size_t>(put));
    } else if (put == 0) {
      return EIO;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (int cause = WaitFor(stream, POLLOUT, patience)) return cause;
    } else if (errno != EINTR) {
      return errno;  // where the reader has gone and SIGPIPE is ignored, EPIPE
    }
  }
  return 0;
}

// On Linux an interrupted close has closed the descriptor all the same, yet whether its
// cached writes arrived is not known: EINTR is a failure like any other.
int Close(int stream) {
  return close(stream) == 0 ? 0 : errno;
}

bool IsTerminal(int stream) {
  return isatty(stream) == 1;
}

bool MayWait(int stream) {
  struct stat file;
  return fstat(stream, &file) != 0 || !S_ISREG(file.st_mode);
}

// As standard tools name themselves: glibc and musl keep the name in
// program_invocation_short_name, the BSDs and macOS give getprogname().
std::string_view ProgramName() {
#if defined(__APPLE__) || defined(__FreeBSD__) || defined(__NetBSD__) || \
    defined(__OpenBSD__) || defined(__DragonFly__) || defined(__ANDROID__)
  return getprogname();
#elif defined(__linux__)
  return program_invocation_short_name;
#else
  return "program";
#endif
}

std::string_view CauseInWords(int cause) {
  return std::strerror(cause);
}
