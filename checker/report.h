// What became of a row, in the one vocabulary that the person's report and every
// results file use, and the report of a row that failed.
#pragma once

#include <string>
#include <string_view>

#include "runner.h"
#include "transcript.h"

struct Verdict {
  // passed, wrong-output, exit-status, crashed, timed-out, memory-limit, process-limit,
  // output-limit, missing or cannot-start
  std::string word;
  // for a machine: the kind of difference, the status, the crash, looping or waiting
  std::string detail;
  // for a person: what follows the row's name
  std::string said;
};

// The verdict on `run` of `row`, run within `bounds`; `crlf` takes \r\n as a line break.
Verdict VerdictOf(const Transcript& row, const ProgramRun& run, const Bounds& bounds,
                  bool crlf);
// Whether `output` ends its lines in \r\n.
bool WritesCrlf(std::string_view output);
// What a person needs of a row that failed: the input, the difference as a few lines of
// the notation (with line ends set aside where the program ends its lines in \r\n), the
// first lines of its standard error, and `rerun`, the command that runs just this row.
std::string Report(const Transcript& row, const ProgramRun& run, const Verdict& verdict,
                   std::string_view rerun);
// The note said once for a program that ends its lines in \r\n.
std::string CrlfNote(const std::string& program, bool accepted);
