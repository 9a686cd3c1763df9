// Runs the built programs as a person or a script would: the program's own binary,
// its standard input given, its standard output taken whole.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

struct RunResult {
  std::string output;
  int status = -1;        // the exit status, or 128 plus the signal that ended it
  bool finished = false;  // it ended by itself within the time and output bounds
};

// Where `program` is: the directory just built, or the one SUITE_BIN_DIR names, so
// that the transcripts can hold any build of the programs to account.
std::string ProgramPath(std::string_view program);

// The names of all the programs.
std::vector<std::string> AllPrograms();

// An unlinked file holding `input`, open for reading from its start.
int InputFile(std::string_view input);
// Waits for `pid` to end: its exit status, or 128 plus the signal that ended it.
int WaitFor(pid_t pid);

// Runs `program` with `input` as a file on its standard input.
RunResult RunProgram(std::string_view program, std::string_view input,
                     double seconds = 20, std::size_t max_output = std::size_t{1} << 28);

// A program started with its input and its output on pipes, driven step by step.
struct Session {
  pid_t pid = -1;
  int input = -1;
  int output = -1;
};

Session StartProgram(std::string_view program);
// A program started on a new pseudo-terminal, as a person at a terminal runs it.
Session StartInTerminal(std::string_view program);
// What the program writes until `wanted` has arrived or the time bound has passed.
std::string ReadUntil(const Session& session, std::string_view wanted, double seconds);
void Type(const Session& session, std::string_view text);
// Reads what the program still writes until it ends, and waits for it; its exit status.
// A program on pipes has its input closed first.
int Finish(Session& session);
