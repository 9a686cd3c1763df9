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

// Every table of transcripts, gathered as the tables are handed to their tests, so that
// the tests over all programs can run every program's transcripts too.
std::vector<Transcript>& ListedTranscripts();

inline std::span<const Transcript> Listed(std::span<const Transcript> rows) {
  ListedTranscripts().insert(ListedTranscripts().end(), rows.begin(), rows.end());
  return rows;
}

std::string RowName(const testing::TestParamInfo<Transcript>& info);
