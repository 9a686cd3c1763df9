#include "run.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utmp.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace {

using Clock = std::chrono::steady_clock;

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(what);
}

Clock::time_point After(double seconds) {
  return Clock::now() + std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double>(seconds));
}

// Milliseconds until `deadline`, 0 once it has passed.
int Left(Clock::time_point deadline) {
  auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits for what the open descriptors of `fds` deliver before `deadline`, and appends
// it to their texts; a descriptor that has ended is closed and set to -1. False when
// the deadline came first.
bool TakeSome(pollfd* fds, std::string* const* into, int count,
              Clock::time_point deadline) {
  int left = Left(deadline);
  if (left == 0) return false;
  int ready = poll(fds, static_cast<nfds_t>(count), left);
  if (ready < 0 && errno == EINTR) return true;
  if (ready <= 0) return false;
  for (int i = 0; i < count; ++i) {
    if (fds[i].fd < 0 || fds[i].revents == 0) continue;
    char chunk[1 << 16];
    ssize_t got = read(fds[i].fd, chunk, sizeof chunk);
    if (got > 0) {
      into[i]->append(chunk, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {  // a terminal whose program is gone: EIO
      close(fds[i].fd);
      fds[i].fd = -1;
    }
  }
  return true;
}

int WaitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) Check(errno == EINTR, "waitpid");
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void Pipe(int fds[2]) {
  Check(pipe2(fds, O_CLOEXEC) == 0, "pipe");
}

void CloseIfOpen(int fd) {
  if (fd >= 0) close(fd);
}

void WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t put = write(fd, text.data(), text.size());
    if (put < 0 && errno == EINTR) continue;
    Check(put > 0, "write");
    text.remove_prefix(static_cast<std::size_t>(put));
  }
}

}  // namespace

std::string ProgramDir() {
  const char* against = std::getenv("SUITE_BIN_DIR");
  return against ? against : BIN_DIR;
}

std::string ProgramPath(std::string_view program) {
  return ProgramDir() + "/" + std::string(program);
}

int InputFile(std::string_view input) {
  char name[] = "/tmp/suite-input-XXXXXX";
  int in = mkostemp(name, O_CLOEXEC);
  Check(in >= 0, "mkostemp");
  unlink(name);
  WriteAll(in, input);
  lseek(in, 0, SEEK_SET);
  return in;
}

Child Start(std::string_view program, const Launch& launch) {
  std::string path = ProgramPath(program);
  std::vector<std::string> words = launch.arguments;
  std::string name = launch.name.empty() ? path : launch.name;
  std::vector<char*> argv{name.data()};
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  int in[2] = {launch.input, -1};  // the program's end, the test's end
  int out[2] = {-1, -1};
  int err[2] = {-1, -1};
  if (launch.terminal) {
    Check(openpty(&out[0], &out[1], nullptr, nullptr, nullptr) == 0, "openpty");
    fcntl(out[0], F_SETFD, FD_CLOEXEC);
  } else {
    if (launch.input < 0) Pipe(in);
    Pipe(out);
  }
  if (launch.keep_error) Pipe(err);

  pid_t pid = fork();
  Check(pid >= 0, "fork");
  if (pid == 0) {
    if (launch.terminal) {
      login_tty(out[1]);  // standard input, output and error, as at a terminal
      if (launch.input >= 0) dup2(in[0], STDIN_FILENO);
    } else {
      dup2(in[0], STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
    }
    if (launch.keep_error) dup2(err[1], STDERR_FILENO);
    for (const std::string& variable : launch.environment) {
      putenv(const_cast<char*>(variable.c_str()));
    }
    if (launch.in_child) launch.in_child();
    execv(path.c_str(), argv.data());
    _exit(127);
  }
  if (launch.input < 0) CloseIfOpen(in[0]);
  close(out[1]);
  CloseIfOpen(err[1]);
  return {.pid = pid,
          .input = launch.terminal ? out[0] : in[1],
          .output = out[0],
          .error = err[0]};
}

std::string ReadUntil(const Child& child, std::string_view wanted, double seconds) {
  std::string seen;
  std::string* into[] = {&seen};
  pollfd fds[] = {{dup(child.output), POLLIN, 0}};  // closed here where it ends
  Clock::time_point deadline = After(seconds);
  while (seen.find(wanted) == std::string::npos && fds[0].fd >= 0 &&
         TakeSome(fds, into, 1, deadline)) {
  }
  CloseIfOpen(fds[0].fd);
  return seen;
}

void Type(const Child& child, std::string_view text) {
  WriteAll(child.input, text);
}

RunResult Finish(Child& child, double seconds, std::size_t max_output) {
  if (child.input != child.output) CloseIfOpen(child.input);
  RunResult run;
  pollfd fds[] = {{child.output, POLLIN, 0}, {child.error, POLLIN, 0}};
  std::string* into[] = {&run.output, &run.error};
  Clock::time_point deadline = After(seconds);
  while ((fds[0].fd >= 0 || fds[1].fd >= 0) && run.output.size() <= max_output &&
         TakeSome(fds, into, 2, deadline)) {
  }
  run.finished = fds[0].fd < 0 && fds[1].fd < 0;
  CloseIfOpen(fds[0].fd);
  CloseIfOpen(fds[1].fd);
  if (!run.finished) kill(child.pid, SIGKILL);
  run.status = WaitFor(child.pid);
  child = {};
  return run;
}

RunResult RunProgram(std::string_view program, std::string_view input, Launch launch,
                     double seconds, std::size_t max_output) {
  launch.input = InputFile(input);
  Child child = Start(program, launch);
  close(launch.input);
  return Finish(child, seconds, max_output);
}
