// Inside the console layer: the buffer in front of standard output, and the end of a
// run that the process itself cannot go on with.
#pragma once

#include <string>
#include <string_view>

// Text on its way to a descriptor. It is written out when enough has gathered, when a
// read has to wait, and when the program ends.
struct Output {
  int fd = 1;  // standard output
  std::string pending;
  // What a person at a terminal sees: the last byte on the screen before the pending
  // text, the program's own or the echo of what was typed, and whether the standard
  // input has ended.
  char last_shown = '\n';
  bool input_ended = false;
  ~Output();
};

// The one buffer in front of standard output that the programs write through.
Output& StandardOutput();
// Writes out all the pending text, waiting where the descriptor is not ready.
void Flush(Output& out);

// Ends the run with status 1 after one line on standard error: the program's name,
// `what` failed, and the cause `error` names (none where it is 0). What was already
// written stays written; the pending text is flushed first where it still can be.
[[noreturn]] void FlushAndFail(std::string_view what, int error);
