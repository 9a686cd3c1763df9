// Where the process meets the system: a full disk, closed or non-blocking descriptors,
// a reader that has gone, memory that runs out. Each row is one run, its status, its
// standard output and the one line it writes on standard error.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "run.h"
#include "transcript.h"

namespace {

enum class Edge {
  kFullDisk,        // standard output is /dev/full
  kClosedOutput,    // standard output is closed
  kDirectoryInput,  // standard input is a directory
  kClosedInput,     // standard input is closed
  kLateReader,      // standard output is a non-blocking pipe, read only after a while
  kLateAnswer,      // standard input is a non-blocking pipe, written only after a while
  kReaderGone,      // standard output is a pipe nobody reads, SIGPIPE ignored
  kMemoryLimit,     // 32 MiB of address space
};

struct EdgeRow {
  const char* name;
  const char* program;
  std::string input;
  Edge edge;
  int status;
  std::string output;
  const char* error;  // the line on standard error, without its line break; "" for none
};

struct EdgeRun {
  std::string output;
  std::string error;
  int status = -1;
};

int Checked(int result) {
  if (result < 0) throw std::runtime_error("system call");
  return result;
}

// Takes both of the program's outputs until it has closed them, then waits for it.
EdgeRun Collect(pid_t pid, int out, int err) {
  EdgeRun run;
  pollfd fds[] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
  std::string* into[] = {&run.output, &run.error};
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    if (poll(fds, 2, 20000) <= 0) break;  // a hang: the status tells
    for (int i = 0; i < 2; ++i) {
      if (fds[i].revents == 0) continue;
      char chunk[1 << 16];
      ssize_t got = read(fds[i].fd, chunk, sizeof chunk);
      if (got > 0) into[i]->append(chunk, static_cast<std::size_t>(got));
      if (got <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
      }
    }
  }
  kill(pid, SIGKILL);
  run.status = WaitFor(pid);
  return run;
}

EdgeRun RunAtEdge(const EdgeRow& row) {
  int in = -1;
  int answer = -1;  // where the late answer is written
  if (row.edge == Edge::kLateAnswer) {
    int fds[2];
    Checked(pipe(fds));
    Checked(fcntl(fds[0], F_SETFL, O_NONBLOCK));
    in = fds[0];
    answer = fds[1];
  } else if (row.edge == Edge::kDirectoryInput) {
    in = Checked(open("/", O_RDONLY | O_DIRECTORY));
  } else {
    in = InputFile(row.input);
  }
  int out[2];
  int err[2];
  Checked(pipe(out));
  Checked(pipe(err));
  if (row.edge == Edge::kLateReader) Checked(fcntl(out[1], F_SETFL, O_NONBLOCK));
  if (row.edge == Edge::kReaderGone) close(out[0]);
  if (row.edge == Edge::kFullDisk) {
    close(out[1]);
    out[1] = Checked(open("/dev/full", O_WRONLY));
  }

  std::string path = ProgramPath(row.program);
  pid_t pid = Checked(fork());
  if (pid == 0) {
    dup2(in, STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    if (row.edge == Edge::kClosedInput) close(STDIN_FILENO);
    if (row.edge == Edge::kClosedOutput) close(STDOUT_FILENO);
    if (row.edge == Edge::kReaderGone) signal(SIGPIPE, SIG_IGN);
    if (row.edge == Edge::kMemoryLimit) {
      rlimit limit{32 << 20, 32 << 20};
      setrlimit(RLIMIT_AS, &limit);
    }
    execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in);
  close(out[1]);
  close(err[1]);
  if (row.edge == Edge::kReaderGone) out[0] = open("/dev/null", O_RDONLY);
  // Long enough that the program meets a descriptor that is not ready; the row's
  // outcome is the same however quick the machine is.
  if (row.edge == Edge::kLateReader || row.edge == Edge::kLateAnswer) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (answer >= 0) {
    Checked(static_cast<int>(write(answer, row.input.data(), row.input.size())));
    close(answer);
  }
  return Collect(pid, out[0], err[0]);
}

std::string Steps(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "+ 1\n";
  return text + "q 0\n";
}

std::string StepResults(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i)
    text += "result so far is " + std::to_string(i) + ".0\n";
  return text + "final result is " + std::to_string(count) + ".0\n";
}

std::string Roster(int people) {
  std::string text;
  for (int i = 0; i < people; ++i) text += "a b 1\n";
  return text;
}

#define THERMO "Enter the temperature in degrees Fahrenheit: "

const EdgeRow kEdges[] = {
    {"full_disk", "thermo", "212\n", Edge::kFullDisk, 1, "",
     "thermo: write error: No space left on device"},
    {"closed_output", "rollcall", "DONE DONE 0 a b", Edge::kClosedOutput, 1, "",
     "rollcall: write error: Bad file descriptor"},
    {"directory_input", "teller", "", Edge::kDirectoryInput, 1,
     "Enter the user name (4 characters): ", "teller: read error: Is a directory"},
    {"closed_input", "tankcolor", "", Edge::kClosedInput, 1,
     "What is the color of the cylinder? ", "tankcolor: read error: Bad file descriptor"},
    {"late_reader", "runcalc", Steps(20000), Edge::kLateReader, 0, StepResults(20000),
     ""},
    {"late_answer", "thermo", "212\n", Edge::kLateAnswer, 0,
     THERMO "Your temperature in degrees Celsius: 100.000000\n", ""},
    {"reader_gone", "runcalc", Steps(20000), Edge::kReaderGone, 1, "",
     "runcalc: write error: Broken pipe"},
    {"huge_number", "thermo", std::string(48 << 20, '7'), Edge::kMemoryLimit, 1, THERMO,
     "thermo: out of memory"},
    {"roster_beyond_memory", "rollcall", Roster(8 << 20), Edge::kMemoryLimit, 1, "",
     "rollcall: out of memory"},
};

void PrintTo(const EdgeRow& row, std::ostream* os) {
  *os << row.name;
}

class EdgeTest : public testing::TestWithParam<EdgeRow> {};

TEST_P(EdgeTest, FailsAloudOrLosesNothing) {
  const EdgeRow& row = GetParam();
#ifdef SUITE_SANITIZED
  // The sanitizers reserve far more address space than any such limit allows.
  if (row.edge == Edge::kMemoryLimit) GTEST_SKIP() << "no memory limit under ASan";
#endif
  EdgeRun run = RunAtEdge(row);
  EXPECT_EQ(run.status, row.status);
  EXPECT_TRUE(run.output == row.output) << "output: " << run.output.substr(0, 200);
  std::string line = *row.error ? std::string(row.error) + "\n" : "";
  EXPECT_EQ(run.error, line);
}

INSTANTIATE_TEST_SUITE_P(Edges, EdgeTest, testing::ValuesIn(kEdges),
                         [](const testing::TestParamInfo<EdgeRow>& row) {
                           return std::string(row.param.name);
                         });

}  // namespace
