// Runs the built programs as a person or a script would: the program's own binary,
// started one way for every test, its standard input given, its output taken whole.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct RunResult {
  std::string output;
  std::string error;      // its standard error, where it was kept
  int status = -1;        // the exit status, or 128 plus the signal that ended it
  bool finished = false;  // it ended by itself within the time and output bounds
};

// Where `program` is: the directory just built, or the one SUITE_BIN_DIR names, so
// that the transcripts can hold any build of the programs to account.
std::string ProgramPath(std::string_view program);
// The folder those programs are in.
std::string ProgramDir();

// An unlinked file holding `input`, open for reading from its start.
int InputFile(std::string_view input);

// How a program is started. One given its input as a file, with no terminal, starts
// through the checker's runner, as the checker starts a student's; the others (typed
// into, on a terminal, on descriptors of the test's) start here.
struct Launch {
  int input = -1;                  // its standard input; -1: a pipe the test types into
  bool terminal = false;           // a new pseudo-terminal as its output, and as its
                                   // input where `input` gives none
  bool keep_error = false;         // its standard error on a pipe, taken with its output
  std::function<void()> in_child;  // limits and descriptor changes, made just before
                                   // the program starts
  std::string name;                // the name it is started by, where not its own
  std::vector<std::string> arguments;    // after that name
  std::vector<std::string> environment;  // NAME=VALUE, beside the runner's fixed ones
};

// A started program: the descriptors the test holds, -1 where it holds none.
struct Child {
  pid_t pid = -1;
  int input = -1;
  int output = -1;
  int error = -1;
};

Child Start(std::string_view program, const Launch& launch = {});
// What the program writes until `wanted` has arrived or the time bound has passed.
std::string ReadUntil(const Child& child, std::string_view wanted, double seconds);
void Type(const Child& child, std::string_view text);
// Closes its input (a pipe, not a terminal), takes what it still writes until it
// closes its outputs, then waits for it; a program still running at a bound is ended.
RunResult Finish(Child& child, double seconds = 20,
                 std::size_t max_output = std::size_t{1} << 28);

// Runs `program` with `input` as a file on its standard input, started as `launch`
// says otherwise.
RunResult RunProgram(std::string_view program, std::string_view input, Launch launch = {},
                     double seconds = 20, std::size_t max_output = std::size_t{1} << 28);
