// A program's behaviour as transcripts: each row is one run, the bytes given on its
// standard input and the bytes expected on its standard output. The rows stand in text
// files, one a program (NAME.txt, whose README says how a row is written); each manual
// page's example is one more row, `page`.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

struct Transcript {
  std::string program;
  std::string name;  // letters, digits and underscores
  std::string input;
  std::string output;
  std::string where;  // the file and line that give the row
  // For each line of the input, how much of the output comes before it is typed: where
  // its `<` line stands among the `>` lines. All 0 in a row that gives its input first.
  std::vector<std::size_t> asked;
};

// The names of all the programs, as the build lists them.
std::vector<std::string> AllPrograms();
// A path given in UTF-8, as this system names it.
std::filesystem::path PathOf(const std::string& utf8);
// A path as UTF-8 text, the other way.
std::string TextOf(const std::filesystem::path& path);

// The rows of `program`'s file in `folder`, in order. A file that cannot be read, or a
// line that is not of the form, throws std::runtime_error saying where.
std::vector<Transcript> TranscriptsOf(const std::string& folder,
                                      const std::string& program);
// The example of `program`'s manual page in `folder`: "$ NAME", then the screen a line
// of the display a line, each typed answer set in bold (.Sy) on a line of its own, and
// a line ending in \c continued by the next, as a prompt is by its answer. Throws where
// the page has none.
Transcript PageExample(const std::string& folder, const std::string& program);

// The lines of `input`, the answers a person types, each with its line break but
// perhaps the last.
std::vector<std::string_view> AnswersOf(std::string_view input);
// What `row`'s program writes before its answer `answer` is typed, since the answer
// before (its places never decrease): "" where the row does not say.
std::string_view OutputBefore(const Transcript& row, std::size_t answer);

// `bytes` as lines of the files' notation, each behind `mark`: '<' or '>'.
std::vector<std::string> Shown(std::string_view bytes, char mark);
// A row as it stands in its file.
std::string RowText(const Transcript& row);
// `text`, a program's file, with `row` written in place of the row of its name (its
// header kept, with any reason on it, and every line up to its last < or > line,
// comments among them), or added at the end where it has none.
std::string WithRow(std::string text, const Transcript& row);
// `text` with every control byte, and every byte that is no part of UTF-8, written as
// its escape, for a message to a person.
std::string Visible(std::string_view text);
// The length of the UTF-8 character at `at` in `text`, its value in `*point` where
// given; 0 where the bytes there are no UTF-8.
std::size_t Utf8Length(std::string_view text, std::size_t at, char32_t* point);
// Whether `name` can name a row: letters, digits and _.
bool IsName(std::string_view name);
// The file that holds `program`'s rows in `folder`.
std::string FileOf(const std::string& folder, const std::string& program);
