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

// A row written into its program's file: a row of that name rewritten whole, its
// header's reason kept and the rows around it untouched, else added at the end.
struct FileRow {
  const char* name;
  const char* before;
  const char* after;
};

const FileRow kFileRows[] = {
    {"added_to_nothing", "", "== one\n< 1\n> x\n"},
    {"added_after_a_row", "== zero\n< 0\n> y\n",
     "== zero\n< 0\n> y\n\n== one\n< 1\n> x\n"},
    {"first_rewritten", "== one\n< 9\n> z\n\n== two\n< 2\n> w\n",
     "== one\n< 1\n> x\n\n== two\n< 2\n> w\n"},
    {"reason_kept", "== one because\n# a note\n< 9\n> z\n", "== one because\n< 1\n> x\n"},
    {"last_without_a_line_break", "== zero\n< 0\n> y\n\n== one\n< 9\n> z",
     "== zero\n< 0\n> y\n\n== one\n< 1\n> x\n"},
    {"a_longer_name_is_another_row", "== ones\n< 9\n> z\n",
     "== ones\n< 9\n> z\n\n== one\n< 1\n> x\n"},
};

TEST(Transcript, WritesARowIntoItsFile) {
  Transcript row{.program = "thermo", .name = "one", .input = "1\n", .output = "x\n"};
  for (const FileRow& file : kFileRows) {
    EXPECT_EQ(WithRow(file.before, row), file.after) << file.name;
  }
}

}  // namespace
