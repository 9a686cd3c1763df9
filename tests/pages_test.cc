// Every manual page's example, run as a transcript row: the page shows a run at a
// terminal, and the program must write exactly what it shows. A page's example is the
// first literal display of its EXAMPLES section: "$ NAME", then the screen a line of the
// display a line, each answer typed set in bold (.Sy) on a line of its own, as its Enter
// leaves it; a line ending in \c is continued by the next, as a prompt is by its answer.
#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "run.h"
#include "transcript.h"

namespace {

// The display's text as the page's reader sees it: \e is a backslash, \& nothing.
std::string Unescaped(const std::string& line) {
  std::string text;
  for (std::size_t at = 0; at < line.size(); ++at) {
    if (line[at] != '\\') {
      text += line[at];
    } else if (line.compare(at, 2, "\\e") == 0) {
      text += '\\';
      ++at;
    } else if (line.compare(at, 2, "\\&") == 0) {
      ++at;
    } else {
      text += "<unknown escape>";  // fails the row, so the loader is taught it
    }
  }
  return text;
}

// The strings the rows point into, kept for the whole run.
std::deque<std::string>& Kept() {
  static std::deque<std::string> texts;
  return texts;
}

const char* Keep(std::string text) {
  return Kept().emplace_back(std::move(text)).c_str();
}

// The example of one page; a page without one gives a row that fails.
Transcript ExampleOf(const std::filesystem::path& page) {
  std::string program = page.stem().string();
  std::string name = program + "_page";
  for (char& c : name) c = c == '-' ? '_' : c;
  Transcript row{Keep(name), Keep(program), "", "the page has no example"};
  std::ifstream in(page);
  std::string line;
  while (std::getline(in, line) && line != ".Sh EXAMPLES") {
  }
  while (std::getline(in, line) && line.rfind(".Bd -literal", 0) != 0) {
  }
  std::string command;
  if (!std::getline(in, command) || Unescaped(command) != "$ " + program) return row;
  std::string input;
  std::string output;
  while (std::getline(in, line) && line != ".Ed") {
    if (line.rfind(".Sy ", 0) == 0) {  // an answer typed, then Enter
      input += Unescaped(line.substr(4)) + "\n";
      continue;
    }
    bool joined = line.size() >= 2 && line.compare(line.size() - 2, 2, "\\c") == 0;
    output += Unescaped(joined ? line.substr(0, line.size() - 2) : line);
    if (!joined) output += '\n';
  }
  row.input = Keep(input);
  row.output = Keep(output);
  return row;
}

std::vector<Transcript> PageExamples() {
  std::vector<Transcript> rows;
  for (const auto& entry : std::filesystem::directory_iterator(MAN_DIR)) {
    if (entry.path().extension() == ".1") rows.push_back(ExampleOf(entry.path()));
  }
  std::sort(rows.begin(), rows.end(), [](const Transcript& a, const Transcript& b) {
    return std::string_view(a.name) < b.name;
  });
  return rows;
}

INSTANTIATE_TEST_SUITE_P(Pages, TranscriptTest, testing::ValuesIn(PageExamples()),
                         RowName);

// A page for every program, and no page for a program that is not there.
TEST(Pages, OnePerProgram) {
  std::vector<std::string> programs = AllPrograms();
  std::vector<std::string> pages;
  for (const Transcript& row : PageExamples()) pages.push_back(row.program);
  std::sort(programs.begin(), programs.end());
  std::sort(pages.begin(), pages.end());
  EXPECT_EQ(pages, programs);
}

}  // namespace
