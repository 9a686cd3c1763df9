// Every row of every program's transcripts, and every manual page's example, as a test
// of its own: the program's suite (teller_basic for teller-basic), the row's name.
#include "transcript.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "report.h"
#include "run.h"

namespace {

constexpr double kSeconds = 20;

class RowTest : public testing::Test {
 public:
  explicit RowTest(Transcript row) : row_(std::move(row)) {}
  void TestBody() override {
    Bounds bounds{.seconds = kSeconds, .apart = false};  // the suite's own programs
    ProgramRun run = RunOnce({ProgramPath(row_.program)}, row_.input, bounds);
    Verdict verdict = VerdictOf(row_, run, bounds, false);
    std::string rerun =
        "./run-tests --against " + ProgramDir() + " " + row_.program + "/" + row_.name;
    if (!verdict.Passed()) {
      ADD_FAILURE() << row_.where << ":\n" << Report(row_, run, verdict, rerun);
    }
  }

 private:
  Transcript row_;
};

// A file that cannot be read fails as a test of its own, saying why.
class BrokenFile : public testing::Test {
 public:
  explicit BrokenFile(std::string why) : why_(std::move(why)) {}
  void TestBody() override { ADD_FAILURE() << why_; }

 private:
  std::string why_;
};

void Register(const std::string& suite, const std::string& name, const Transcript& row) {
  testing::RegisterTest(suite.c_str(), name.c_str(), nullptr, nullptr, __FILE__, __LINE__,
                        [row]() -> testing::Test* { return new RowTest(row); });
}

[[maybe_unused]] const bool kRegistered = [] {
  for (const std::string& program : AllPrograms()) {
    std::string suite = program;
    for (char& c : suite) c = c == '-' ? '_' : c;
    try {
      for (const Transcript& row : TranscriptsOf(TRANSCRIPT_DIR, program)) {
        Register(suite, row.name, row);
      }
      Register("Pages", suite + "_page", PageExample(MAN_DIR, program));
    } catch (const std::runtime_error& error) {
      std::string why = error.what();
      testing::RegisterTest(suite.c_str(), "file", nullptr, nullptr, __FILE__, __LINE__,
                            [why]() -> testing::Test* { return new BrokenFile(why); });
    }
  }
  return true;
}();

}  // namespace
