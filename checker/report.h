// What became of a row, in the one vocabulary that the person's report and every
// results file use, and the report of a row that failed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "runner.h"
#include "transcript.h"

// The words a row may end in, each said the same in the report and in every file.
enum class Word {
  kPassed,
  kWrongOutput,
  kExitStatus,
  kCrashed,
  kTimedOut,
  kMemoryLimit,
  kProcessLimit,
  kOutputLimit,
  kPromptLate,
  kCompileError,
  kMissing,
  kCannotStart,
};

// All that is known of a word: the one table, read everywhere a verdict is shown.
struct WordInfo {
  Word word;
  const char* name;     // as every file writes it
  char mark;            // the report's mark a row
  const char* meaning;  // for a person: what the program did
  const char* colour;   // its cell on the class's page
  bool ran;             // the program ran, so a report of its output can be made
  bool missing;         // counts as a program missing from the folder
};
const WordInfo& About(Word word);
// Every word, in order.
const WordInfo* Words(std::size_t* count);

struct Verdict {
  Word word = Word::kPassed;
  // for a machine: the kind of difference, the status, the crash, looping or waiting
  std::string detail;
  // for a person: what follows the row's name
  std::string said;

  bool Passed() const { return word == Word::kPassed; }
  const char* Name() const { return About(word).name; }
};

// The verdict on `run` of `row`, run within `bounds`; `crlf` takes \r\n as a line break.
Verdict VerdictOf(const Transcript& row, const ProgramRun& run, const Bounds& bounds,
                  bool crlf);
// The verdict on `typed`, the run of `row` typed at a terminal, that waited for an
// answer before the output that comes before it had appeared.
Verdict PromptLate(const Transcript& row, const ProgramRun& typed);
// Whether `output` ends its lines in \r\n.
bool WritesCrlf(std::string_view output);
// What a person needs of a row that failed: the input, the difference as a few lines of
// the notation (with line ends set aside where the program ends its lines in \r\n), the
// first lines of its standard error, and `rerun`, the command that runs just this row.
std::string Report(const Transcript& row, const ProgramRun& run, const Verdict& verdict,
                   std::string_view rerun);
// The note said once for a program that ends its lines in \r\n.
std::string CrlfNote(const std::string& program, bool accepted);
