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
};

// One object a row.
void WriteJson(std::ostream& out, const std::vector<RowResult>& outcomes);
// A test suite a submission and program, a test case a row.
void WriteJunit(std::ostream& out, const std::vector<RowResult>& outcomes);
// A line a submission and program: passed, failed, and a column a row with its verdict.
void WriteCsv(std::ostream& out, const std::vector<RowResult>& outcomes);
// `rows` as FOLDER/PROGRAM/ROW.in and .ans, byte for byte, with a README in `folder`.
// Throws std::runtime_error naming what could not be written.
void Export(const std::string& folder, const std::vector<Transcript>& rows);
