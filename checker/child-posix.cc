// A row's own processes on a POSIX system: its first process, which sets the row apart
// and waits for the program, and the program, bounded, as its own user, with its three
// streams alone. Both run in a copy of the many-threaded checker: they take no lock
// and no memory before the program starts.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstring>

#include "contain.h"
#include "place.h"

namespace {

void CloseRange(int from, int to) {
#if defined(__linux__) && defined(__GLIBC__) && \
    (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  if (close_range(static_cast<unsigned>(from), static_cast<unsigned>(to), 0) == 0) return;
#endif
  int most = static_cast<int>(std::min<long>(sysconf(_SC_OPEN_MAX), 1 << 16));
  for (int fd = from; fd <= to && fd < most; ++fd) close(fd);
}

// Closes every descriptor but those of `keep`, given in ascending order; no memory is
// taken, as a child of many threads may not.
template <std::size_t N>
void CloseAllBut(const std::array<int, N>& keep) {
  int from = 0;
  for (int fd : keep) {
    if (fd > from) CloseRange(from, fd - 1);
    from = std::max(from, fd + 1);
  }
  CloseRange(from, INT_MAX);
}

void Tell(int fd, const Told& told) {
  (void)!write(fd, &told, sizeof told);
}

[[noreturn]] void Fail(int fd, Told::Stage stage, const char* step, int error) {
  Told told{.stage = stage, .error = error};
  std::strncpy(told.step, step, sizeof told.step - 1);
  Tell(fd, told);
  _exit(127);
}

// Each bound on the program, set and checked; the step that failed, or nullptr.
const char* SetBounds(const Start& start) {
  const Bounds& bounds = *start.bounds;
  auto limit = [](int resource, rlim_t soft, rlim_t hard) {
    rlimit value{soft, hard};
    return setrlimit(resource, &value) == 0;
  };
  if (!limit(RLIMIT_CORE, 0, 0)) return "bound its core files";
  if (bounds.file_bytes && !limit(RLIMIT_FSIZE, bounds.file_bytes, bounds.file_bytes))
    return "bound its files";
  // By each process's own clock, in case nothing counts the row's together.
  auto seconds = static_cast<rlim_t>(std::ceil(bounds.seconds));
  if (!limit(RLIMIT_CPU, seconds + 1, seconds + 2)) return "bound its processor time";
  if (start.memory_each && bounds.memory &&
      !limit(RLIMIT_DATA, bounds.memory, bounds.memory)) {
    return "bound its memory";
  }
  if (start.user_processes > 0 &&
      !limit(RLIMIT_NPROC, static_cast<rlim_t>(start.user_processes),
             static_cast<rlim_t>(start.user_processes))) {
    return "bound its processes";
  }
  return nullptr;
}

// The program, started by the row's first process: only its three streams open, its
// folder the scratch one, bounded, as its own user, with every signal as it comes by
// default and no privilege kept or to be gained.
int Program(void* arg) {
  const Start& start = *static_cast<const Start*>(arg);
#ifdef __linux__
  prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
  // Out of the way first: any of them may stand at 0 to 3.
  int fds[] = {start.in, start.out, start.err, start.told};
  for (int& fd : fds) fd = fcntl(fd, F_DUPFD, 10);
  for (int target = 0; target < 4; ++target) dup2(fds[target], target);
  int told = 3;
  fcntl(told, F_SETFD, FD_CLOEXEC);
  CloseAllBut(std::array<int, 4>{0, 1, 2, told});
  if (chdir(start.scratch) != 0) Fail(told, Told::kNotStarted, "", errno);
  if (const char* step = SetBounds(start)) Fail(told, Told::kNotBounded, step, errno);
#ifdef O_PATH
  int exe = open(start.argv[0], O_PATH | O_CLOEXEC);
#else
  int exe = open(start.argv[0], O_RDONLY | O_CLOEXEC);
#endif
#ifdef __linux__
  for (int capability = 0; capability < 64; ++capability) {
    prctl(PR_CAPBSET_DROP, capability, 0, 0, 0);
  }
#endif
  if (start.user >= 0) {
    auto id = static_cast<uid_t>(start.user);
    if (!BecomeUser(id)) {
      Fail(told, Told::kNotBounded, "change to its own user", errno);
    }
  }
#ifdef __linux__
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
    Fail(told, Told::kNotBounded, "refuse it privileges", errno);
#endif
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    std::signal(signal_number, SIG_DFL);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (start.bounds->in_child) start.bounds->in_child();
  Exec(exe, start.argv, start.envp);
  Fail(told, Told::kNotStarted, "", errno);
}

}  // namespace

// The row's first process: set apart, it starts the program and waits for it, taking
// in any orphan, and tells how it ended; its own end then ends every process left.
int First(void* arg) {
  const Start& start = *static_cast<const Start*>(arg);
#ifdef __linux__
  prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
  setsid();
  std::array<int, 5> keep = {start.in, start.out, start.err, start.told, start.go};
  std::sort(keep.begin(), keep.end());
  CloseAllBut(keep);  // another row's streams among them
  char go = 0;
  if (read(start.go, &go, 1) != 1) _exit(1);  // the checker has it in its groups
  if (start.apart) {
    const char* step = "";
    if (int error = NarrowView(start.view, &step))
      Fail(start.told, Told::kNotApart, step, error);
  } else {
    AdoptOrphans();
  }
  pid_t program = Clone(Program, arg, 0);
  close(start.in);
  close(start.out);
  close(start.err);
  if (program < 0) Fail(start.told, Told::kNotStarted, "", errno);
  Tell(start.told, {.stage = Told::kStarted});  // the wall clock's start, not the view's
  for (;;) {
    int status = 0;
    rusage usage{};
    pid_t ended = wait4(-1, &status, 0, &usage);
    if (ended == program) {
      Told told{.status = status};
      told.microseconds = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000LL +
                          usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
      Tell(start.told, told);
      _exit(0);
    }
    if (ended < 0 && errno != EINTR) _exit(1);
  }
}
