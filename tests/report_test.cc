// The checker's verdict and report on any pair of outputs, and its files for machines
// on hostile names: one row a case, what was expected and what was written.
#include "report.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "results.h"

namespace {

struct DifferenceRow {
  const char* name;
  std::string expected;
  std::string written;
  const char* detail;  // the kind of difference, "" where the row passes
  std::vector<std::string> lines;
  bool crlf = false;
};

const std::string kLong(300, 'a');

const std::vector<DifferenceRow> kDifferenceRows = {
    {"nothing_expected",
     "",
     "x",
     "extra-output",
     {"    - (nothing more)\n", "    + > x\\\n"}},
    {"nothing_written",
     "x",
     "",
     "cut-short",
     {"    - > x\\\n", "    + (nothing more)\n"}},
    {"last_line_break", "a\n", "a", "final-line-break", {"    - > a\n    + > a\\\n"}},
    {"slip_late_after_a_short_line",
     "Here\n\n" + kLong + " the result is: 1990.35\n",
     "Here\n\n" + kLong + " the result is 1990.35\n",
     "cut-short",
     {"from output line 3:\n      >\n",
      "    - ... " + std::string(26, 'a') + " the result is: 1990.35\n"}},
    {"long_line_without_a_break",
     kLong + "b" + kLong,
     kLong + "c" + kLong,
     "other",
     {"    - ... " + std::string(40, 'a') + "b" + std::string(59, 'a') + "...\n"}},
    {"trailing_blank", "a \nb\n", "a\nb\n", "trailing-blanks", {}},
    {"letter_case", "Caf\xc3\xa9 A\n", "caf\xc3\xa9 a\n", "letter-case", {}},
    {"spacing", "x: 1\n", "x:1\n", "spacing", {}},
    {"number", "36.666667\n", "36.000000\n", "number", {}},
    {"line_ends", "a\nb\n", "a\r\nb\r\n", "line-ends", {}},
    {"line_ends_accepted", "a\nb\n", "a\r\nb\r\n", "", {}, true},
    {"line_ends_set_aside",
     "a\nb\n",
     "a\r\nc\r\n",
     "other",
     {"  (its \\r line ends set aside)\n", "    - > b\n    + > c\n"}},
};

TEST(Report, NamesEveryDifference) {
  for (const DifferenceRow& row : kDifferenceRows) {
    Transcript expected{.program = "thermo", .name = row.name, .output = row.expected};
    expected.input = std::string(100000, '9');  // a line far wider than a screen
    ProgramRun run{.ending = Ending::kExited, .output = row.written};
    Verdict verdict = VerdictOf(expected, run, {}, row.crlf);
    EXPECT_EQ(verdict.detail, row.detail) << row.name;
    EXPECT_EQ(verdict.word, *row.detail ? Word::kWrongOutput : Word::kPassed) << row.name;
    std::string report = Report(expected, run, verdict, "rerun");
    for (const std::string& line : row.lines) {
      EXPECT_NE(report.find(line), report.npos) << row.name << ":\n" << report;
    }
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
      EXPECT_LE(line.size(), 120u) << row.name << ": a line past the screen:\n" << report;
    }
  }
}

// The report pinned as data, as the transcripts pin the programs: reports/pairs.txt
// holds pairs of outputs, each with the exact report it must give.
TEST(Report, GivesThePinnedReports) {
  std::string folder = std::string(TRANSCRIPT_DIR) + "/../reports";
  std::ifstream in(folder + "/pairs.txt");
  std::map<std::string, std::string> pinned;
  std::string name;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("== ")) name = line.substr(3);
    if (line.starts_with("#|"))
      pinned[name] += line.substr(line.size() > 2 ? 3 : 2) + "\n";
  }
  std::string all;  // every report as made, to pin anew where they rightly change
  for (const Transcript& pair : TranscriptsOf(folder, "pairs")) {
    Transcript row{.program = "thermo", .name = pair.name, .output = pair.input};
    ProgramRun run{.ending = Ending::kExited, .output = pair.output};
    std::string report = Report(row, run, VerdictOf(row, run, {}, false), "R");
    EXPECT_EQ(report, pinned[pair.name]) << pair.where;
    all += "\n== " + pair.name + "\n";
    for (const std::string& line : Shown(pair.input, '<')) all += line + "\n";
    for (const std::string& line : Shown(pair.output, '>')) all += line + "\n";
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) all += "#| " + line + "\n";
  }
  if (HasFailure()) std::ofstream("/tmp/pairs.made") << all;
}

// A program typed at that waited for an answer too soon: the prompt it lacked, the
// last it wrote, in one line a person reads.
struct LateRow {
  const char* name;
  Transcript row;
  ProgramRun typed;
  std::string said;
};

const LateRow kLateRows[] = {
    {"nothing_yet",
     {.input = "212\n", .output = "Enter: C 100\n", .asked = {7}},
     {.output = "", .unasked = 0},
     "at a terminal, waited for its first answer before writing \"Enter: \"; nothing had "
     "appeared"},
    {"half_of_it",
     {.input = "a\nb\nc\n", .output = "1? 2? total\nnext? end\n", .asked = {3, 6, 18}},
     {.output = "1? 2? total\n", .unasked = 2, .since = 6},
     "at a terminal, waited for answer 3 before writing \"next? \"; the last it wrote: "
     "\"total\" since answer 2"},
    {"a_line_before_it",
     {.input = "1\n", .output = "Menu\n\tq quits\n", .asked = {15}},
     {.output = "Menu\n", .unasked = 0},
     "at a terminal, waited for its first answer before writing \"\\x09q quits\"; the "
     "last "
     "it wrote: \"Menu\""},
    {"a_long_prompt",
     {.input = "1\n", .output = std::string(70, 'x') + ": ", .asked = {72}},
     {.output = "", .unasked = 0},
     "at a terminal, waited for its first answer before writing \"..." +
         std::string(55, 'x') + ": \"; nothing had appeared"},
};

TEST(Report, SaysWhichPromptWasLate) {
  for (const LateRow& late : kLateRows) {
    Verdict verdict = PromptLate(late.row, late.typed);
    EXPECT_EQ(verdict.said, late.said) << late.name;
    EXPECT_STREQ(verdict.Name(), "prompt-late") << late.name;
  }
}

using Writer = void (*)(std::ostream&, const std::vector<RowResult>&);

// A name a student chose, one file, and what that file must hold of it.
struct NameRow {
  const char* submission;
  Writer write;
  const char* holds;
};

const NameRow kNameRows[] = {
    {"o\"brien,\x01", WriteJson, R"({"submission": "o\"brien,\u0001", "points": 0)"},
    {"o\"brien,\x01", WriteCsv, "\r\n\"o\"\"brien,\x01\",0,1,0,wrong-output\r\n"},
    {"o\"brien,\x01", WriteJunit,
     "message=\"wrote &lt;other&gt; &amp; more\">x\\x1b</failure>"},
    // A spreadsheet takes none of these as a formula.
    {"=cmd|' -c calc'!A1", WriteCsv, "\r\n'=cmd|' -c calc'!A1,0,1,"},
    {"+1", WriteCsv, "\r\n'+1,0,1,"},
    {"-x", WriteCsv, "\r\n'-x,0,1,"},
    {"@sum", WriteCsv, "\r\n'@sum,0,1,"},
    {"\tx", WriteCsv, "\r\n'\tx,0,1,"},
    // Bytes that are no UTF-8 read the same in every file; XML's excluded characters too.
    {"caf\xe9", WriteCsv, "\r\ncaf\\xe9,0,1,"},
    {"caf\xe9", WriteJson, R"("submission": "caf\\xe9")"},
    {"caf\xe9", WriteJunit, "name=\"caf\\xe9/thermo\""},
    {"\xef\xbf\xbfz", WriteJunit, "name=\"\\u{ffff}z/thermo\""},
    {"Jos\xc3\xa9", WriteCsv, "\r\nJos\xc3\xa9,0,1,"},
    // A page shows a name as text, never as markup.
    {"<img src=x onerror=alert(1)>", WriteHtml,
     "<td class=\"name\">&lt;img src=x onerror=alert(1)&gt;</td>"},
    {"</script><script>alert(1)", WriteHtml,
     "data-name=\"&lt;/script&gt;&lt;script&gt;alert(1): thermo/boiling\""},
    {"Jos\xc3\xa9", WriteGradescope,
     "\"name\": \"thermo/boiling\", \"score\": 0, \"max_score\": 1, \"status\": "
     "\"failed\", \"output\": \"x\\u001b\""},
};

// A class of 200 with 30 rows each, half of them failing, makes a page well under 5 MB.
TEST(Results, PageStaysSmall) {
  std::vector<RowResult> outcomes;
  for (int student = 0; student < 200; ++student) {
    for (int row = 0; row < 30; ++row) {
      bool passed = row % 2 == 0;
      outcomes.push_back(
          {.submission = "student " + std::to_string(student),
           .program = "thermo",
           .row = "row_" + std::to_string(row),
           .verdict = {passed ? Word::kPassed : Word::kWrongOutput, "", ""},
           .report = passed ? "" : std::string(900, 'r')});
    }
  }
  std::ostringstream made;
  WriteHtml(made, outcomes);
  std::string page = made.str();
  EXPECT_LT(page.size(), std::size_t{5} << 20);
  std::size_t cells = 0;
  for (std::size_t at = 0; (at = page.find("class=\"cell ", at)) != page.npos; ++at) {
    ++cells;
  }
  EXPECT_EQ(cells, 200u * 30u);
}

TEST(Results, EscapeWhatAStudentNames) {
  for (const NameRow& row : kNameRows) {
    std::vector<RowResult> outcomes = {
        {.submission = row.submission,
         .program = "thermo",
         .row = "boiling",
         .verdict = {Word::kWrongOutput, "other", "wrote <other> & more"},
         .report = "x\x1b"},
    };
    std::ostringstream out;
    row.write(out, outcomes);
    EXPECT_NE(out.str().find(row.holds), std::string::npos) << row.holds << " in:\n"
                                                            << out.str();
  }
}

}  // namespace

// Points in hundredths, as every file and the report write them: exact, and a number
// JSON reads.
TEST(Results, WritePointsAsAPersonDoes) {
  const std::pair<long long, const char*> kPoints[] = {
      {0, "0"},     {5, "0.05"},  {50, "0.5"},       {105, "1.05"},
      {2000, "20"}, {250, "2.5"}, {1000000, "10000"}};
  for (const auto& [cents, written] : kPoints) EXPECT_EQ(Points(cents), written) << cents;
}
