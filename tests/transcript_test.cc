// Every row of every program's transcripts, and every manual page's example, as a test
// of its own: the program's suite (teller_basic for teller-basic), the row's name.
#include "transcript.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
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

// A row as a dialogue: each answer's `<` line where the program reads it, and read back
// the same, bytes and places alike; and as it is typed at a terminal, an answer a line
// after what comes before it (BEFORE|ANSWER).
struct DialogueRow {
  const char* name;
  Transcript row;
  const char* text;
  std::vector<std::string> typed;
};

const DialogueRow kDialogueRows[] = {
    {"prompt_then_answer",
     {.name = "r", .input = "212\n", .output = "Enter: Celsius: 100\n", .asked = {7}},
     "== r\n> Enter: \\\n< 212\n> Celsius: 100\n",
     {"Enter: |212\n"}},
    {"answer_typed_first",
     {.name = "r", .input = "1\n2\n", .output = "x\n", .asked = {0, 0}},
     "== r\n< 1\n< 2\n> x\n",
     {"|1\n", "|2\n"}},
    {"two_prompts",
     {.name = "r", .input = "1\n2", .output = "a? b? c\n", .asked = {3, 6}},
     "== r\n> a? \\\n< 1\n> b? \\\n< 2\\\n> c\n",
     {"a? |1\n", "b? |2"}},
    {"answers_at_one_place",
     {.name = "r", .input = "1\n2\n", .output = "a\nb\n", .asked = {2, 2}},
     "== r\n> a\n< 1\n< 2\n> b\n",
     {"a\n|1\n", "|2\n"}},
    {"no_output", {.name = "r", .input = "1\n", .asked = {0}}, "== r\n< 1\n", {"|1\n"}},
};

TEST(Transcript, WritesEachAnswerWhereItIsRead) {
  char made[] = "/tmp/suite-dialogue-XXXXXX";
  ASSERT_NE(mkdtemp(made), nullptr);
  for (const DialogueRow& dialogue : kDialogueRows) {
    std::string text = RowText(dialogue.row);
    EXPECT_EQ(text, dialogue.text) << dialogue.name;
    std::ofstream(std::string(made) + "/thermo.txt") << text;
    std::vector<Transcript> read = TranscriptsOf(made, "thermo");
    ASSERT_EQ(read.size(), 1u) << dialogue.name;
    EXPECT_EQ(read[0].input, dialogue.row.input) << dialogue.name;
    EXPECT_EQ(read[0].output, dialogue.row.output) << dialogue.name;
    EXPECT_EQ(read[0].asked, dialogue.row.asked) << dialogue.name;
    std::vector<std::string> typed;
    std::vector<std::string_view> answers = AnswersOf(read[0].input);
    for (std::size_t i = 0; i < answers.size(); ++i)
      typed.push_back(std::string(OutputBefore(read[0], i)) + "|" +
                      std::string(answers[i]));
    EXPECT_EQ(typed, dialogue.typed) << dialogue.name;
  }
  std::remove((std::string(made) + "/thermo.txt").c_str());
  std::remove(made);
}

std::string Fnv(const std::string& bytes) {
  unsigned long long hash = 0xcbf29ce484222325ull;
  for (char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", hash);
  return text;
}

// Every row keeps the bytes it had before it said where each answer is read, and says
// it as the suite's own program reads them.
TEST(Transcript, KeepsItsBytesAndTheProgramsDialogue) {
#ifdef SUITE_SANITIZED
  GTEST_SKIP() << "where each answer is read is the same in the plain build";
#endif
  std::ifstream sums(std::string(MAN_DIR) + "/../tests/rows.fnv");
  std::map<std::string, std::pair<std::string, std::string>> old;
  for (std::string line; std::getline(sums, line);) {
    std::istringstream words(line);
    std::string name, input, output;
    if (line.starts_with("#") || !(words >> name >> input >> output)) continue;
    old[name] = {input, output};
  }
  std::size_t rows = 0;
  for (const std::string& program : AllPrograms()) {
    std::vector<Transcript> all = TranscriptsOf(TRANSCRIPT_DIR, program);
    all.push_back(PageExample(MAN_DIR, program));
    for (const Transcript& row : all) {
      std::string name = program + "/" + row.name;
      ++rows;
      EXPECT_EQ(old[name], std::make_pair(Fnv(row.input), Fnv(row.output))) << name;
      std::vector<std::size_t> asked =
          AskedAt(ProgramPath(program), AnswersOf(row.input));
      if (!asked.empty()) {
        EXPECT_EQ(row.asked, asked) << row.where;
      }
    }
  }
  EXPECT_EQ(rows, old.size());
}

}  // namespace
