// The checker's contact with a POSIX system. A row's first process leads a new session
// (no terminal to read the person's keys from) and, where the kernel allows, new
// namespaces (contain.h); it starts the program as the row's own user where the checker
// may choose one, in the row's own empty folder, with its input an unlinked file,
// nothing of the checker's open, a fixed environment and every bound set and checked,
// then waits for it and tells the checker how it ended. Its end ends the row.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#include <sys/syscall.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <utility>

#include "contain.h"
#include "place.h"
#include "runner.h"

namespace {

using Clock = std::chrono::steady_clock;

// The rows' first processes running now, for a stop to end: one place a row, taken
// (-1) before its process starts and given back before it is reaped, without a lock
// so that a signal handler may read them. A row's place also names its user.
std::array<std::atomic<pid_t>, kSlots> running;
std::atomic<int> stop_signal{0};
bool stop_gently = false;

std::size_t Reserve() {
  for (std::size_t i = 0;; i = (i + 1) % running.size()) {
    pid_t none = 0;
    if (running[i].compare_exchange_strong(none, -1)) return i;
  }
}

void EndRow(pid_t first) {
  kill(-first, SIGKILL);  // its session's group, where nothing holds it apart
  kill(first, SIGKILL);   // its namespace, where one does
}

extern "C" void Stop(int signal_number) {
  int none = 0;
  stop_signal.compare_exchange_strong(none, signal_number);
  for (std::atomic<pid_t>& first : running) {
    if (pid_t pid = first.load(); pid > 0) EndRow(pid);
  }
  if (!stop_gently) {
    std::signal(signal_number, SIG_DFL);
    raise(signal_number);
  }
}

void CloseIfOpen(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

std::vector<char*> Pointers(std::vector<std::string>& words) {
  std::vector<char*> pointers;
  for (std::string& word : words) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  return pointers;
}

// One row: what is made for it before it starts, and given back after.
struct Row {
  std::string folder, scratch, root;
  std::vector<std::string> words, variables, readable;
  std::vector<char*> argv, envp;
  std::vector<const char*> shown;  // `readable`, for the first process
  int in = -1, out[2] = {-1, -1}, err[2] = {-1, -1}, told[2] = {-1, -1}, go[2] = {-1, -1};
  Group group;
  std::size_t place = kSlots;  // none taken
  long user = -1;
  pid_t pid = -1;
  Start how{};

  const Bounds* bounds = nullptr;
  const Typing* typing = nullptr;  // where the row is typed at a terminal
  int end_key = -1;                // then the byte its terminal takes as ^D
  bool finished = false;

  // Ends the row and gives back all it was lent: its processes, its user, its group,
  // its descriptors, its folder and its place. What its group met, for its verdict.
  GroupEnd Finish() {
    finished = true;
    if (pid > 0) {
      EndRow(pid);
      // Given back before the reap, while its number cannot be another's.
      running[place] = -1;
      int status = 0;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }
    if (user >= 0 && !how.apart) KillUser(user);
    GroupEnd end = EndGroup(group);
    for (int* fd :
         {&in, &out[0], &out[1], &err[0], &err[1], &told[0], &told[1], &go[0], &go[1]}) {
      CloseIfOpen(*fd);
    }
    if (!bounds->writable.empty() && user >= 0) TakeBack(bounds->writable);
    if (!folder.empty()) Clear(folder);
    if (place < running.size()) running[place] = 0;
    return end;
  }
  ~Row() {
    if (!finished) Finish();
  }
};

// The byte a typed row's terminal takes as the end of input: ^D, or where the row's
// answers hold that, another byte they do not hold; -1 where a row cannot be typed (a
// line longer than a terminal takes, or every byte among its answers).
int EndOfInput(const Typing& typing) {
  bool held[256] = {};
  for (std::string_view answer : typing.answers) {
    if (answer.size() >= MAX_CANON) return -1;
    for (char byte : answer) held[static_cast<unsigned char>(byte)] = true;
  }
  for (int byte : {4, 26}) {
    if (!held[byte]) return byte;
  }
  for (int byte = 1; byte < 256; ++byte) {
    if (!held[byte] && byte != '\n' && byte != _POSIX_VDISABLE) return byte;
  }
  return -1;
}

// A new terminal: its master side, read and typed at by the checker, and the program's
// side in `*side`. A line is read once its Enter is typed, `end` ends the input; nothing
// else is the terminal's: no echo, no signal or editing keys, no line ends rewritten
// either way. -1 where none can be had, errno set.
int OpenTerminal(int end, int* side) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) return -1;
  fcntl(master, F_SETFD, FD_CLOEXEC);
  int program = -1;
  if (grantpt(master) == 0 && unlockpt(master) == 0) {
#ifdef TIOCGPTPEER
    program = ioctl(master, TIOCGPTPEER, O_RDWR | O_NOCTTY | O_CLOEXEC);
#endif
    if (program < 0) {
      static std::mutex one;  // ptsname's answer is one for all threads
      std::lock_guard<std::mutex> hold(one);
      const char* name = ptsname(master);
      program = name ? open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    }
  }
  termios settings{};
  if (program < 0 || tcgetattr(program, &settings) != 0) {
    int error = errno;
    if (program >= 0) close(program);
    close(master);
    errno = error;
    return -1;
  }
  settings.c_iflag = 0;
  settings.c_oflag = 0;
  settings.c_lflag = ICANON;
  settings.c_cflag =
      (settings.c_cflag & ~static_cast<tcflag_t>(CSIZE | PARENB)) | CS8 | CREAD;
  for (cc_t& key : settings.c_cc) key = _POSIX_VDISABLE;
  settings.c_cc[VEOF] = static_cast<cc_t>(end);
  winsize size{.ws_row = 24, .ws_col = 80, .ws_xpixel = 0, .ws_ypixel = 0};
  if (tcsetattr(program, TCSANOW, &settings) != 0 ||
      ioctl(program, TIOCSWINSZ, &size) != 0 || fcntl(master, F_SETFL, O_NONBLOCK) != 0) {
    int error = errno;
    close(program);
    close(master);
    errno = error;
    return -1;
  }
  *side = program;
  return master;
}

// Makes the row's folder, input, pipes and group; "" or what failed.
std::string Prepare(const std::vector<std::string>& command, std::string_view input,
                    const Bounds& bounds, Row& row) {
  static std::atomic<unsigned> rows{0};
  row.folder = Workplace() + "/" + std::to_string(rows++);
  row.scratch = row.folder + "/home";
  row.root = row.folder + "/root";
  if (Workplace().empty() || mkdir(row.folder.c_str(), 0711) != 0 ||
      mkdir(row.scratch.c_str(), 0700) != 0 || mkdir(row.root.c_str(), 0700) != 0) {
    return std::string("the checker could not make the row's folder: ") +
           std::strerror(errno);
  }
  row.place = Reserve();
  if (bounds.apart && RowUsers().own) {
    row.user = RowUsers().first + static_cast<long>(row.place);
    if (!Lend(row.scratch, row.user) ||
        (!bounds.writable.empty() && !Lend(bounds.writable, row.user))) {
      return std::string("the checker could not give the row its folder: ") +
             std::strerror(errno);
    }
  }
  std::error_code error;
  row.words = command;
  // The row's folder is not here; and its view shows the file, not a link to it.
  row.words[0] = std::filesystem::weakly_canonical(row.words[0], error).string();
  if (error) return "the checker could not find it: " + error.message();
  row.readable = bounds.readable;
  row.readable.push_back(std::filesystem::path(row.words[0]).parent_path().string());
  for (std::string& path : row.readable) {
    std::string real = std::filesystem::weakly_canonical(path, error).string();
    if (!error && real != path) row.readable.push_back(real);
  }
  for (const std::string& path : row.readable) row.shown.push_back(path.c_str());
  row.shown.push_back(nullptr);
  row.argv = Pointers(row.words);
  row.variables = {"PATH=" + DefaultPath(), "LANG=C", "LC_ALL=C", "HOME=" + row.scratch,
                   "TMPDIR=" + row.scratch};
  for (const std::string& word : bounds.environment) {  // a name given again: the last
    std::string name = word.substr(0, word.find('=') + 1);
    std::erase_if(row.variables,
                  [&](const std::string& old) { return old.starts_with(name); });
    row.variables.push_back(word);
  }
  row.envp = Pointers(row.variables);
  if (row.typing) {
    // One terminal for its three streams, as a person's: each its own descriptor of it.
    row.end_key = EndOfInput(*row.typing);
    if (row.end_key < 0) return "its answers cannot be typed at a terminal";
    row.out[0] = OpenTerminal(row.end_key, &row.in);
    if (row.out[0] < 0)
      return std::string("the checker could not make a terminal: ") +
             std::strerror(errno);
    row.out[1] = fcntl(row.in, F_DUPFD_CLOEXEC, 0);
    row.err[1] = fcntl(row.in, F_DUPFD_CLOEXEC, 0);
    if (row.out[1] < 0 || row.err[1] < 0 || pipe(row.told) != 0 || pipe(row.go) != 0)
      return std::string("the checker could not make its pipes: ") + std::strerror(errno);
  } else {
    row.in = InputFile(row.folder, input);
    if (row.in < 0 || pipe(row.out) != 0 || pipe(row.err) != 0 || pipe(row.told) != 0 ||
        pipe(row.go) != 0) {
      return std::string("the checker could not make its pipes: ") + std::strerror(errno);
    }
  }
  for (int fd : {row.out[0], row.out[1], row.err[0], row.err[1], row.told[0], row.told[1],
                 row.go[0], row.go[1]}) {
    if (fd >= 0) fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  // A group where there is a bound for one to hold: moving a process into one waits on
  // the kernel, which a run with no such bound need not pay.
  if (bounds.memory || bounds.processes) {
    row.group = MakeGroup(bounds.memory, bounds.processes);
    if (!row.group.failed.empty())
      return "the checker could not bound the row (" + row.group.failed + ")";
  }
  return "";
}

// Starts the row's first process, in the row's group; "" or what failed.
std::string Launch(const Bounds& bounds, Row& row) {
  bool own = row.user >= 0;
  row.how =
      Start{.argv = row.argv.data(),
            .envp = row.envp.data(),
            .in = row.in,
            .out = row.out[1],
            .err = row.err[1],
            .told = row.told[1],
            .go = row.go[0],
            .scratch = row.scratch.c_str(),
            .view = {.root = row.root.c_str(),
                     .scratch = row.scratch.c_str(),
                     .scratch_bytes = 4 * bounds.file_bytes,
                     .user = row.user,
                     .group = row.user,
                     .readable = row.shown.data(),
                     .writable = bounds.writable.c_str()},
            .apart = false,
            .memory_each = row.group.memory.empty(),
            // A user's processes are the row's only where the user is the row's own.
            .user_processes = own && row.group.pids.empty() ? bounds.processes : 0,
            .user = row.user,
            .bounds = &bounds};
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &before);  // no handler of the checker's in the child
  row.pid = Spawn(First, &row.how, bounds.apart, &row.how.apart);
  if (row.pid > 0) running[row.place] = row.pid;
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  if (row.pid < 0)
    return std::string("the checker could not start it: ") + std::strerror(errno);
  bool joined = Join(row.group, row.pid);
  if (joined) (void)!write(row.go[1], "", 1);
  if (stop_signal) EndRow(row.pid);  // a stop that came as it started
  for (int* fd :
       {&row.in, &row.out[1], &row.err[1], &row.told[1], &row.go[0], &row.go[1]})
    CloseIfOpen(*fd);
  return joined ? ""
                : std::string("the checker could not put it in its control group: ") +
                      std::strerror(errno);
}

// What was seen of the row as it ran.
struct Seen {
  Told said;
  bool ended = false;  // its first process told its end
  bool out_of_time = false;
  bool too_much = false;
  bool too_much_memory = false;  // by the checker's count, where no group counts
  bool too_many = false;         // likewise
};

// The answers of a typed row, typed at its terminal as a person types them.
struct Typist {
  const Typing* typing = nullptr;
  int end = -1;           // the byte that ends the input
  std::size_t next = 0;   // the answer to type next
  std::size_t since = 0;  // how much output had appeared when the answer before was typed
  std::string keys;       // typed, not yet taken by the terminal
  bool ended = false;     // every answer typed, and the end of input after them
  // Since when the program has waited as it waits now (no output, no processor, no key
  // typed), and how: a read of its standard input, or nothing the system says.
  Clock::time_point calm{};
  int waits = 0;
  // Where the system does not say what a program waits for, this long without output or
  // processor tells it; long, for a program may well sleep a moment before it asks.
  Clock::duration quiet{};
  std::size_t output = 0;
  double processor = 0;
};

// What waiting in a read, seen this long with nothing coming, tells: the output it
// wrote before has reached the terminal by then.
constexpr auto kSeenReading = std::chrono::milliseconds(300);

// How much typed at the terminal `fd` its program has not read yet, where the system
// says: a read of it is then no wait for more.
int Unread(int fd) {
  int unread = 0;
#ifdef TIOCGPTPEER
  int side = ioctl(fd, TIOCGPTPEER, O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (side >= 0) {
    if (ioctl(side, FIONREAD, &unread) != 0) unread = 0;
    close(side);
  }
#else
  (void)fd;
#endif
  return unread;
}

// Types every answer whose output before it has appeared, then the end of input, and
// the end again as the program reads past it, at the terminal `fd`. True where the
// program waits for an answer before its output has appeared: the row is to end.
bool Type(Typist& typist, int fd, pid_t first, const ProgramRun& run) {
  const Typing& typing = *typist.typing;
  Clock::time_point now = Clock::now();
  bool typed = false;
  while (typist.next < typing.answers.size() &&
         run.output.find(typing.before[typist.next], typist.since) != std::string::npos) {
    typist.keys += typing.answers[typist.next++];
    typist.since = run.output.size();
    typed = true;
  }
  if (typist.next == typing.answers.size() && !typist.ended) {
    // A last line with no Enter is taken at the end key, and the end is a second one.
    if (!typing.answers.empty() && !typing.answers.back().ends_with('\n'))
      typist.keys += static_cast<char>(typist.end);
    typist.keys += static_cast<char>(typist.end);
    typist.ended = true;
    typed = true;
  }
  if (typist.ended && typist.keys.empty() && !typed) {
    // Past the end of input another end is never wrong: one for each read that waits.
    if (RowWaitsToRead(first) > 0 && Unread(fd) == 0)
      typist.keys += static_cast<char>(typist.end);
  } else if (typed || run.output.size() != typist.output ||
             run.processor > typist.processor || !typist.keys.empty()) {
    typist.calm = now;
    typist.waits = 0;
    typist.output = run.output.size();
    typist.processor = run.processor;
  } else {
    int waits = RowWaitsToRead(first);
    if (waits != typist.waits) typist.calm = now;
    typist.waits = waits;
    if (((waits > 0 && now - typist.calm >= kSeenReading) ||
         (waits < 0 && now - typist.calm >= typist.quiet)) &&
        Unread(fd) == 0) {
      return true;
    }
  }
  while (!typist.keys.empty()) {
    ssize_t taken = write(fd, typist.keys.data(), typist.keys.size());
    if (taken <= 0) break;  // the terminal is full, or gone: tried again, or not needed
    typist.keys.erase(0, static_cast<std::size_t>(taken));
  }
  return false;
}

// Reads both streams and what the first process tells, until the program has ended
// and the streams are closed, or a bound is met. The program's end ends the row, so
// that a process left holding the streams cannot keep it going.
Seen Watch(const Bounds& bounds, Row& row, Clock::time_point start, ProgramRun& run) {
  Seen seen;
  Clock::time_point deadline =
      start + std::chrono::duration_cast<Clock::duration>(
                  std::chrono::duration<double>(WaitBound(bounds)));
  pollfd streams[] = {
      {row.out[0], POLLIN, 0}, {row.err[0], POLLIN, 0}, {row.told[0], POLLIN, 0}};
  row.out[0] = row.err[0] = row.told[0] = -1;  // the streams' now
  std::string* into[] = {&run.output, &run.error};
  bool counted = !row.group.cpu.empty();
  Typist typist{.typing = row.typing, .end = row.end_key};
  typist.quiet = std::min<Clock::duration>(
      std::chrono::seconds(3), std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(WaitBound(bounds) / 2)));
  bool started = false;  // nothing is typed before the program is there to read it
  while (!seen.out_of_time && !seen.too_much &&
         (!seen.ended || streams[0].fd >= 0 || streams[1].fd >= 0)) {
    if (!seen.ended) {
      double used = counted ? GroupSeconds(row.group) : -1;
      if (!counted) {
        Tally tally = TallyRow(row.pid, row.how.apart, row.user);
        used = tally.seconds;
        if (row.group.memory.empty() && bounds.memory && tally.memory > bounds.memory)
          seen.too_much_memory = true;
        if (row.group.pids.empty() && bounds.processes &&
            tally.processes >= bounds.processes) {
          seen.too_many = true;
        }
      }
      if (used < 0) used = ProgramSeconds(row.pid);
      run.processor = std::max(run.processor, used);
      if (used > bounds.seconds) seen.out_of_time = true;
      if (seen.out_of_time || seen.too_much_memory || seen.too_many) break;
      if (started && row.typing && streams[0].fd >= 0 &&
          Type(typist, streams[0].fd, row.pid, run)) {
        run.unasked = typist.next;
        run.since = typist.since;
        EndRow(row.pid);
        break;
      }
    }
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      seen.out_of_time = !seen.ended;
      break;
    }
    // Woken often enough to read the processor's clock while the program runs.
    int wait =
        static_cast<int>(std::min<long long>(left.count(), seen.ended ? INT_MAX : 20));
    if (poll(streams, 3, wait) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (streams[i].fd < 0 || streams[i].revents == 0) continue;
      char chunk[1 << 16];
      ssize_t read_now = read(streams[i].fd, chunk, sizeof chunk);
      if (read_now > 0) {
        std::size_t room = bounds.bytes - std::min(bounds.bytes, into[i]->size());
        into[i]->append(chunk, std::min(room, static_cast<std::size_t>(read_now)));
        if (static_cast<std::size_t>(read_now) > room) {
          seen.too_much = true;
          run.why = i == 0 ? "standard output" : "standard error";
        }
      } else if (read_now == 0 || (errno != EINTR && errno != EAGAIN)) {
        CloseIfOpen(
            streams[i].fd);  // a terminal says EIO once the program's side is shut
      }
    }
    if (streams[2].fd >= 0 && streams[2].revents != 0) {
      // Its end told whole, or the first process itself ended (a stop): then nothing
      // of how the program ended is known, and the row is not judged as ended.
      Told now;
      bool told = read(streams[2].fd, &now, sizeof now) == sizeof now;
      if (told && now.stage == Told::kStarted) {
        started = true;
        // The wall bound is the program's: the time its view took is not counted.
        deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(WaitBound(bounds)));
        continue;
      }
      CloseIfOpen(streams[2].fd);
      if (!told) break;
      seen.said = now;
      seen.ended = true;
      EndRow(row.pid);
      // What the row wrote arrives at once; a process that left it may hold the
      // streams, but the row is the program's, which has ended.
      deadline = std::min(deadline, Clock::now() + std::chrono::milliseconds(200));
    }
  }
  for (pollfd& stream : streams) CloseIfOpen(stream.fd);
  return seen;
}

std::string CrashInWords(int signal_number, const Bounds& bounds) {
  switch (signal_number) {
    case SIGSEGV:
      return "a segmentation fault (memory it may not touch)";
    case SIGABRT:
      return "aborted (abort, or a failed assert)";
    case SIGFPE:
      return "a floating-point exception (such as an integer division by zero)";
    case SIGKILL:
      return "killed";
    case SIGBUS:
      return "a bus error (memory it may not touch)";
    case SIGILL:
      return "an illegal instruction";
    case SIGPIPE:
      return "a broken pipe";
    case SIGXFSZ:
      return "it wrote a file past the bound of " +
             std::to_string(bounds.file_bytes >> 20) + " MiB";
    default:
      const char* words = strsignal(signal_number);
      return words ? words : "signal " + std::to_string(signal_number);
  }
}

std::string StartFailureInWords(int cause, bool own_user) {
  switch (cause) {
    case ENOEXEC:
      return "not a program this system can start (a script needs its #! line)";
    case EACCES:
      return own_user ? "not allowed to start it: the row runs as a user of its own, "
                        "who may start only what every user may (chmod a+rx)"
                      : "not allowed to start it (chmod +x makes a file a program)";
    case ENOENT:
      return "what it needs to start is missing (a script's interpreter, a library)";
    default:
      return std::strerror(cause);
  }
}

// Where a bound on memory is held a process at a time, a program that failed for want
// of memory tells it so, or had come near the bound.
bool RefusedMemory(const ProgramRun& run) {
  for (const char* words : {"bad_alloc", "MemoryError", "Cannot allocate memory",
                            "out of memory", "Out of memory"}) {
    if (run.error.find(words) != std::string::npos) return true;
  }
  return false;
}

// Likewise where its processes are bounded by its user's count: a program that could
// not start another says so (a shell's words, the C library's).
bool RefusedProcesses(const ProgramRun& run) {
  for (const char* words : {"Cannot fork", "can't fork", "fork: Resource temporarily",
                            "fork: retry", "Resource temporarily unavailable"}) {
    if (run.error.find(words) != std::string::npos) return true;
  }
  return false;
}

// How the row ended, in the runner's words.
void Judge(const Seen& seen, const GroupEnd& end, const Bounds& bounds, const Row& row,
           ProgramRun& run) {
  const Told& said = seen.said;
  bool own_user = row.user >= 0;
  bool finished = seen.ended && said.stage == Told::kEnded;
  bool well = finished && WIFEXITED(said.status) && WEXITSTATUS(said.status) == 0;
  bool out_of_memory =
      seen.too_much_memory ||
      (row.group.memory.empty() && bounds.memory && !well && RefusedMemory(run));
  bool too_many =
      seen.too_many || (row.how.user_processes > 0 && !well && RefusedProcesses(run));
  if (seen.ended && said.stage == Told::kNotStarted) {
    run.why = StartFailureInWords(said.error, own_user);
  } else if (seen.ended && said.stage != Told::kEnded) {
    run.why = std::string(said.stage == Told::kNotApart
                              ? "the checker could not set the row apart ("
                              : "the checker could not bound the row (") +
              said.step + "): " + std::strerror(said.error);
  } else if (!seen.ended && !seen.out_of_time && !seen.too_much && !seen.too_many &&
             !seen.too_much_memory) {
    run.why = stop_signal ? "the checker was stopped" : "its first process was lost";
  } else if (seen.too_much) {
    run.ending = Ending::kTooMuch;
  } else if ((end.out_of_memory || out_of_memory) && !well) {
    run.ending = Ending::kOutOfMemory;
  } else if ((end.too_many || too_many) && !well) {
    run.ending = Ending::kTooMany;
  } else if (seen.out_of_time ||
             (WIFSIGNALED(said.status) && WTERMSIG(said.status) == SIGXCPU)) {
    run.ending = Ending::kTimedOut;
    run.busy = run.processor > run.seconds / 10 || !seen.out_of_time;
  } else if (WIFSIGNALED(said.status)) {
    run.ending = Ending::kCrashed;
    run.status = WTERMSIG(said.status);
    run.why = CrashInWords(run.status, bounds);
  } else {
    run.ending = Ending::kExited;
    run.status = WEXITSTATUS(said.status);
  }
}

}  // namespace

ProgramRun RunOnce(const std::vector<std::string>& command, std::string_view input,
                   const Bounds& bounds, const Typing* typing) {
  ProgramRun run;
  Clock::time_point start = Clock::now();
  if (stop_signal) {
    run.why = "the checker was stopped";
    return run;
  }
  Row row{.bounds = &bounds, .typing = typing};
  try {
    std::string failed = Prepare(command, input, bounds, row);
    if (failed.empty()) failed = Launch(bounds, row);
    Seen seen;
    if (failed.empty()) seen = Watch(bounds, row, start, run);
    GroupEnd end = row.Finish();
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.processor =
        std::max(run.processor, static_cast<double>(seen.said.microseconds) / 1e6);
    if (failed.empty() && run.unasked != std::string::npos) {
      run.ending = Ending::kExited;  // ended by the checker, for what it did not write
    } else if (failed.empty()) {
      Judge(seen, end, bounds, row, run);
    } else {
      run.ending = Ending::kCannotStart;
      run.why = failed;
    }
  } catch (const std::exception& why) {  // the row's alone: it is ended, and said so
    run = {.why = std::string("the checker failed: ") + why.what()};
  }
  return run;
}

void PrepareToRun(bool gently) {
  stop_gently = gently;
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) {
    struct sigaction action {};
    action.sa_handler = Stop;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
  }
  // Learned once, here, before any worker: no worker writes what others read.
  SweepLeftovers();
  ApartHere();
  RowUsers();
}

int StopSignal() {
  return stop_signal;
}

std::string NoTerminal() {
  static const std::string why = [] {
    int side = -1;
    int master = OpenTerminal(4, &side);
    if (master < 0)
      return "no terminal could be had: " + std::string(std::strerror(errno));
    close(side);
    close(master);
    return std::string();
  }();
  return why;
}

void EndAsStopped() {
  if (!Workplace().empty()) Clear(Workplace());
  RemoveGroups();
  std::signal(stop_signal, SIG_DFL);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, stop_signal);
  pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  raise(stop_signal);
  _exit(128 + stop_signal);
}

#ifdef __linux__

std::vector<std::size_t> AskedAt(const std::string& program,
                                 const std::vector<std::string_view>& lines) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return {};
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return {};
  }
  pid_t pid = fork();
  if (pid == 0) {
    int quiet = open("/dev/null", O_WRONLY);
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(quiet, 2);
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  if (lines.empty()) close(std::exchange(in[1], -1));  // nothing to type: its end at once
  fcntl(out[0], F_SETFL, O_NONBLOCK);
  signal(SIGPIPE, SIG_IGN);
  std::vector<std::size_t> asked;
  std::size_t output = 0;
  auto drain = [&] {
    char block[1 << 16];
    ssize_t got;
    while ((got = read(out[0], block, sizeof block)) > 0)
      output += static_cast<std::size_t>(got);
    return got == 0;  // the program's output is closed
  };
  auto start = std::chrono::steady_clock::now();
  bool ended = false;
  while (pid > 0 && !ended &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
    ended = drain();
    if (asked.size() < lines.size() && RowWaitsToRead(pid) > 0) {
      drain();
      asked.push_back(output);
      std::string_view line = lines[asked.size() - 1];
      if (write(in[1], line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        break;
      if (asked.size() == lines.size()) close(std::exchange(in[1], -1));
      continue;
    }
    pollfd wait{out[0], POLLIN, 0};
    poll(&wait, 1, 2);
  }
  if (in[1] >= 0) close(in[1]);
  if (pid > 0) {
    if (!ended) kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  close(out[0]);
  while (ended && asked.size() < lines.size()) asked.push_back(output);  // never read
  return ended ? asked : std::vector<std::size_t>{};
}

#else

std::vector<std::size_t> AskedAt(const std::string&,
                                 const std::vector<std::string_view>&) {
  return {};
}

#endif
