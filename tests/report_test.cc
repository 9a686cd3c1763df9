// The checker's verdict and report on any pair of outputs, and its files for machines
// on hostile names: one row a case, what was expected and what was written.
#include "report.h"

#include <gtest/gtest.h>

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
     "other",
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
    EXPECT_EQ(verdict.word, *row.detail ? "wrong-output" : "passed") << row.name;
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

TEST(Results, EscapeWhatAStudentNames) {
  std::vector<RowResult> outcomes = {
      {.submission = "o\"brien,\x01",
       .program = "thermo",
       .row = "boiling",
       .verdict = {"wrong-output", "other", "wrote <other> & more"},
       .report = "x\x1b"},
  };
  const std::pair<void (*)(std::ostream&, const std::vector<RowResult>&), std::string>
      kFiles[] = {
          {WriteJson, R"({"submission": "o\"brien,\u0001", "program": "thermo")"},
          {WriteCsv, "\r\n\"o\"\"brien,\x01\",thermo,0,1,wrong-output\r\n"},
          {WriteJunit, "message=\"wrote &lt;other&gt; &amp; more\">x\\x1b</failure>"},
      };
  for (const auto& [write, line] : kFiles) {
    std::ostringstream out;
    write(out, outcomes);
    EXPECT_NE(out.str().find(line), std::string::npos) << line << " in:\n" << out.str();
  }
}

}  // namespace
