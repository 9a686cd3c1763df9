// The verdicts written for machines: JSON for scripts, JUnit XML for CI systems, CSV
// for a gradebook; and the rows written out as input and answer files for other graders.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "report.h"
#include "transcript.h"

struct RowResult {
  std::string submission;  // "" when one folder is checked
  std::string program;
  std::string row;
  Verdict verdict;
  double seconds = 0;
  std::string report;       // for a row that failed, what the person read
  bool wrote_crlf = false;  // its lines ended in \r\n
  long long worth = 100;    // the points it gives when it passes, in hundredths
  bool hidden = false;      // from students until grades are published
  std::string built;        // what its build said: the compiler's words, its warnings
};

// A submission's points out of its maximum, and its rows passed and failed.
struct Summary {
  std::string submission;
  long long points = 0, max = 0;  // in hundredths
  int passed = 0, failed = 0;
};
// Points in hundredths as a person writes them, and as JSON reads them: 10, 2.5, 1.05.
std::string Points(long long cents);
// One a submission, in the order they come (a submission's rows together).
std::vector<Summary> Summaries(const std::vector<RowResult>& outcomes);

// A summary object a submission, then one object a row.
void WriteJson(std::ostream& out, const std::vector<RowResult>& outcomes);
// A test suite a submission and program, a test case a row.
void WriteJunit(std::ostream& out, const std::vector<RowResult>& outcomes);
// A gradebook: a line a submission with its points and maximum, its points a program,
// and a column a row (PROGRAM/ROW) with its verdict.
void WriteCsv(std::ostream& out, const std::vector<RowResult>& outcomes);
// Gradescope's autograder results: the score, the time, and a test a row with its
// points and report.
void WriteGradescope(std::ostream& out, const std::vector<RowResult>& outcomes);
// A page to look at, whole in itself: a line a submission, a cell a row coloured and
// named by its verdict, filters by program and verdict, and a row's report on a click;
// every byte of a student's shown as text.
void WriteHtml(std::ostream& out, const std::vector<RowResult>& outcomes);
// `rows` as FOLDER/PROGRAM/ROW.in and .ans, byte for byte, with a README in `folder`.
// Throws std::runtime_error naming what could not be written.
void Export(const std::string& folder, const std::vector<Transcript>& rows);
