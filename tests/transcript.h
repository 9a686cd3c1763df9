// A program's behaviour as transcripts: each row is one run, the bytes given on its
// standard input and the bytes expected on its standard output. The rows stand in text
// files, one a program (transcripts/NAME.txt, whose README says how a row is written),
// read when the tests run; each manual page's example is one more row, `page`.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "run.h"

struct Transcript {
  std::string program;
  std::string name;  // letters, digits and underscores
  std::string input;
  std::string output;
  std::string where;  // the file and line that give the row
};

// The rows of `program`'s file, in order. A file that cannot be read, or a line that is
// not of the form, throws std::runtime_error saying where.
std::vector<Transcript> TranscriptsOf(const std::string& program);
// The example of `program`'s manual page: "$ NAME", then the screen a line of the
// display a line, each typed answer set in bold (.Sy) on a line of its own, and a line
// ending in \c continued by the next, as a prompt is by its answer. Throws where the
// page has none.
Transcript PageExample(const std::string& program);

// `bytes` as lines of the files' notation, each behind `mark`: '<' or '>'.
std::vector<std::string> Shown(std::string_view bytes, char mark);
// A row as it stands in its file.
std::string RowText(const Transcript& row);

// What a person needs of a row that failed, or "" where the run wrote exactly the row's
// output, ended by itself within the time and returned 0: the input, the difference as a
// few lines of the notation, and `rerun`, the command that runs just this row again.
std::string Failure(const Transcript& row, const RunResult& run, double seconds,
                    std::string_view rerun);
