// A program's behaviour as a table of transcripts: each row is one run, with the
// standard input given and the standard output expected byte for byte.
#pragma once

#include <gtest/gtest.h>

#include <span>
#include <string_view>
#include <vector>

struct Transcript {
  const char* name;  // letters, digits and underscores: it names the test
  const char* program;
  std::string_view input;
  std::string_view output;
};

// Every dialogue's answer to text where a number belongs, as the programs write it.
#define NUMERIC "Invalid entry: needs to be numeric\n"

class TranscriptTest : public testing::TestWithParam<Transcript> {};

// Names the row in a failure message.
inline void PrintTo(const Transcript& row, std::ostream* os) {
  *os << row.name;
}

// Every program's tables of transcripts, one list a test file, each defined beside
// its program's other tests; the tests over all programs read them all.
using Tables = std::vector<std::span<const Transcript>>;
Tables TellerTables();
Tables LoopsTables();
Tables TalliesTables();
Tables VerdictsTables();
Tables FormulasTables();
Tables ArraysTables();
Tables AllTables();

std::string RowName(const testing::TestParamInfo<Transcript>& info);
