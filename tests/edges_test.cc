// Where the process meets the system: a full disk, closed or non-blocking descriptors,
// a reader that has gone, memory that runs out. Each row is one run, its status, its
// standard output and the one line it writes on standard error.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <thread>
#include <utility>

#include "run.h"

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
  kNoDescriptors,   // standard input a non-blocking pipe, no descriptor may be opened
  kFullError,       // standard output /dev/full, standard error a full non-blocking pipe
  kLongName,        // standard output /dev/full, the program started by a long name
};

// A text written out in the row, or made only when the row runs: `make(count)`.
struct Text {
  constexpr Text(const char* text) : given(text) {}
  constexpr Text(std::string (*maker)(int), int times) : make(maker), count(times) {}
  std::string operator()() const { return make ? make(count) : std::string(given); }

  const char* given = "";
  std::string (*make)(int) = nullptr;
  int count = 0;
};

struct EdgeRow {
  const char* name;
  const char* program;
  Text input;
  Edge edge;
  int status;
  Text output;
  const char* error;  // the line on standard error after the program's name and without
                      // its line break; "" for none
};

// Whoever reads standard error first meets this, where the row fills it up.
constexpr char kFiller = '~';

// The name a row's program is started by.
std::string NameOf(const EdgeRow& row) {
  return row.edge == Edge::kLongName ? std::string(600, 'n') : row.program;
}

// A pipe for standard error, already full, its end for writing left non-blocking.
std::pair<int, int> FullPipe() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  fcntl(fds[1], F_SETFL, O_NONBLOCK);
  while (write(fds[1], &kFiller, 1) == 1) {
  }
  return {fds[0], fds[1]};
}

RunResult RunAtEdge(const EdgeRow& row) {
  Launch launch{.keep_error = row.edge != Edge::kFullError};
  auto [error, full] = row.edge == Edge::kFullError ? FullPipe() : std::pair{-1, -1};
  if (row.edge == Edge::kLongName) launch.name = NameOf(row);
  if (row.edge == Edge::kDirectoryInput) {
    launch.input = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } else if (row.edge != Edge::kLateAnswer && row.edge != Edge::kNoDescriptors) {
    launch.input = InputFile(row.input());
  }
  launch.in_child = [&row, full = full] {
    switch (row.edge) {
      case Edge::kFullError:
        dup2(full, STDERR_FILENO);
        [[fallthrough]];
      case Edge::kFullDisk:
      case Edge::kLongName:
        dup2(open("/dev/full", O_WRONLY | O_CLOEXEC), STDOUT_FILENO);
        break;
      case Edge::kClosedOutput:
        close(STDOUT_FILENO);
        break;
      case Edge::kClosedInput:
        close(STDIN_FILENO);
        break;
      case Edge::kLateReader:
        fcntl(STDOUT_FILENO, F_SETFL, O_NONBLOCK);
        break;
      case Edge::kLateAnswer:
        fcntl(STDIN_FILENO, F_SETFL, O_NONBLOCK);
        break;
      case Edge::kReaderGone:
        signal(SIGPIPE, SIG_IGN);
        break;
      case Edge::kMemoryLimit: {
        rlimit limit{32 << 20, 32 << 20};
        setrlimit(RLIMIT_AS, &limit);
        break;
      }
      case Edge::kNoDescriptors: {
        fcntl(STDIN_FILENO, F_SETFL, O_NONBLOCK);
        rlimit limit{0, 0};
        setrlimit(RLIMIT_NOFILE, &limit);
        break;
      }
      case Edge::kDirectoryInput:
        break;
    }
  };
  Child child = Start(row.program, launch);
  if (launch.input >= 0) close(launch.input);
  if (full >= 0) {
    close(full);
    child.error = error;
  }
  if (row.edge == Edge::kReaderGone) {
    close(child.output);
    child.output = -1;
  }
  // Long enough that the program meets a descriptor that is not ready; the row's
  // outcome is the same however quick the machine is.
  if (row.edge == Edge::kLateReader || row.edge == Edge::kLateAnswer ||
      row.edge == Edge::kFullError) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (row.edge == Edge::kLateAnswer) Type(child, row.input());
  // An input that stays open: the program must end without it.
  int waiting = row.edge == Edge::kNoDescriptors ? std::exchange(child.input, -1) : -1;
  RunResult run = Finish(child);
  if (waiting >= 0) close(waiting);
  return run;
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

std::string Sevens(int count) {
  return std::string(static_cast<std::size_t>(count), '7');
}

std::string Roster(int people) {
  std::string text;
  for (int i = 0; i < people; ++i) text += "a b 1\n";
  return text;
}

#define THERMO "Enter the temperature in degrees Fahrenheit: "

// clang-format off
const EdgeRow kEdges[] = {
    {"full_disk", "thermo", "212\n", Edge::kFullDisk, 1, "",
     ": write error: No space left on device"},
    {"closed_output", "rollcall", "DONE DONE 0 a b", Edge::kClosedOutput, 1, "",
     ": write error: Bad file descriptor"},
    {"directory_input", "teller", "", Edge::kDirectoryInput, 1,
     "Enter the user name (4 characters): ", ": read error: Is a directory"},
    {"closed_input", "tankcolor", "", Edge::kClosedInput, 1,
     "What is the color of the cylinder? ", ": read error: Bad file descriptor"},
    {"late_reader", "runcalc", {Steps, 20000}, Edge::kLateReader, 0,
     {StepResults, 20000}, ""},
    {"late_answer", "thermo", "212\n", Edge::kLateAnswer, 0,
     THERMO "Your temperature in degrees Celsius: 100.000000\n", ""},
    {"reader_gone", "runcalc", {Steps, 20000}, Edge::kReaderGone, 1, "",
     ": write error: Broken pipe"},
    {"huge_number", "thermo", {Sevens, 48 << 20}, Edge::kMemoryLimit, 1, THERMO,
     ": out of memory"},
    {"roster_beyond_memory", "rollcall", {Roster, 8 << 20}, Edge::kMemoryLimit, 1, "",
     ": out of memory"},
    {"no_descriptors", "thermo", "", Edge::kNoDescriptors, 1, THERMO,
     ": read error: Invalid argument"},
    {"full_error", "thermo", "212\n", Edge::kFullError, 1, "",
     ": write error: No space left on device"},
    {"long_name", "thermo", "212\n", Edge::kLongName, 1, "",
     ": write error: No space left on device"},
};
// clang-format on

void PrintTo(const EdgeRow& row, std::ostream* os) {
  *os << row.name;
}

class EdgeTest : public testing::TestWithParam<EdgeRow> {};

TEST_P(EdgeTest, FailsAloudOrLosesNothing) {
  const EdgeRow& row = GetParam();
#ifdef SUITE_SANITIZED
  // The sanitizers reserve far more address space than any such limit allows.
  if (row.edge == Edge::kMemoryLimit) GTEST_SKIP() << "no memory limit under ASan";
  // Nor can their runtime start without opening files.
  if (row.edge == Edge::kNoDescriptors) GTEST_SKIP() << "no descriptor limit under ASan";
#endif
#ifdef SUITE_LINKED_DYNAMICALLY
  // With no descriptor to open the C++ library, the loader ends the program before main.
  if (row.edge == Edge::kNoDescriptors) {
    GTEST_SKIP() << "the programs link dynamically: the loader needs descriptors";
  }
#endif
  RunResult run = RunAtEdge(row);
  EXPECT_EQ(run.status, row.status);
  EXPECT_TRUE(run.output == row.output()) << "output: " << run.output.substr(0, 200);
  std::string_view line = run.error;
  line.remove_prefix(std::min(line.find_first_not_of(kFiller), line.size()));
  if (!*row.error) {
    EXPECT_EQ(line, "");
    return;
  }
  // The name the program was started by, cut only where it is too long for the line.
  std::string name = NameOf(row);
  std::size_t end = line.find(": ");
  EXPECT_TRUE(end != line.npos && end >= std::min<std::size_t>(name.size(), 100) &&
              name.starts_with(line.substr(0, end)))
      << line;
  EXPECT_EQ(line.substr(std::min(end, line.size())), std::string(row.error) + "\n");
}

INSTANTIATE_TEST_SUITE_P(Edges, EdgeTest, testing::ValuesIn(kEdges),
                         [](const testing::TestParamInfo<EdgeRow>& row) {
                           return std::string(row.param.name);
                         });

}  // namespace
