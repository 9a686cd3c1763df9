// suitecheck, as a person meets it: one row a folder of students' programs (small shell
// scripts standing for what they write), the words the checker is given, its status
// and lines its report must hold. DIR stands for the folder, BIN for the suite's own
// programs.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr char kFolder[] = "<folder>";        // a folder where the program belongs
constexpr char kNoRunBit[] = "<no run bit>";  // thermo as it is, but not executable

struct CheckRow {
  const char* name;
  const char* program;  // the folder's program: a shell script, a mark above, or ""
  const char* words;
  int status;
  std::vector<const char*> lines;
  const char* file = "thermo";  // which program the script stands for
};

const CheckRow kCheckRows[] = {
    {"right_program", "exec BIN/thermo", "thermo", 0, {" passed, 0 failed\ntests: "}},
    {"wrong_byte",
     "exec BIN/thermo | sed 's/s: /s:/'",
     "thermo",
     1,
     {"\nthermo/boiling: wrote other output: only the spacing differs\n  input:\n"
      "    < 212\n",
      "    - ... it: Your temperature in degrees Celsius: 100.000000\n"
      "    + ... it: Your temperature in degrees Celsius:100.000000\n"
      "  first difference at byte 81\n  rerun: CHECK --against DIR thermo/boiling\n",
      "\nthermo also failed: freezing "}},
    {"slip_late_in_a_long_line",
     "exec BIN/birthtrick | sed 's/is: /is /'",
     "",
     1,
     {"\nbirthtrick/a_birth_year: wrote other output: one byte of what is expected is "
      "missing: :\n",
      "  expected (-) and written (+), from output line 3:\n      >\n"
      "    - ... fter juggling the numbers, the result is: 1990.35\n",
      "\nteller         missing: no DIR/teller\n", "\nmirror         missing"},
     "birthtrick"},
    // Typed at a terminal, each answer once what comes before it has appeared: a
    // dialogue right as a whole but asking late fails, with the prompt it lacked.
    {"reads_before_its_prompt",
     "exec python3 STUDENTS/late.py 1 BIN/thermo",
     "thermo",
     1,
     {"\nthermo         PPPPPPPP.P 1 passed, 9 failed\n",
      "\nthermo/boiling: at a terminal, waited for its first answer before writing "
      "\"Enter "
      "the temperature in degrees Fahrenheit: \"; nothing had appeared\n  at a terminal, "
      "each answer typed once what comes before it appears:\n    > Enter the "
      "temperature in degrees Fahrenheit: \\\n    < 212\n  it waited for that answer, "
      "having written:\n    (nothing)\n  rerun: CHECK --against DIR thermo/boiling\n"}},
    {"reads_before_its_prompt_given_at_once",
     "exec python3 STUDENTS/late.py 1 BIN/thermo",
     "thermo --no-dialogue",
     0,
     {"\nthermo         .......... 10 passed, 0 failed\n"}},
    {"asks_the_amount_once_it_has_it",
     "exec python3 STUDENTS/late.py 3 BIN/teller",
     "teller/deposit_90_upper_case teller/withdraw_180",
     1,
     {"\nteller         P. 1 passed, 1 failed\n",
      "\nteller/deposit_90_upper_case: at a terminal, waited for answer 3 before writing "
      "\"Enter the amount you would like to deposit: \"; nothing had appeared since "
      "answer 2\n",
      "    > Would you like to make a withdraw or deposit: \\\n    < D\n    > Enter the "
      "amount you would like to deposit: \\\n    < 90\n  it waited for that answer, "
      "having written since the one before:\n    (nothing)\n"},
     "teller"},
    {"prompts_all_at_the_end",
     "exec python3 STUDENTS/late.py 0 BIN/flowguess",
     "flowguess/a_game",
     1,
     {"\nflowguess/a_game: at a terminal, waited for its first answer before writing "
      "\"Enter the depth of the channel (1 to 50, whole integers): \"; nothing had "
      "appeared\n"},
     "flowguess"},
    {"prompts_to_a_terminal_on_standard_error",
     "exec python3 STUDENTS/thermo.py",
     "thermo",
     0,
     {"\nthermo         .......... 10 passed, 0 failed\n"}},
    {"missing_program",
     "",
     "",
     1,
     {"\nteller         missing: no DIR/teller\n",
      "\n21 of the programs missing from DIR\n"}},
    {"waiting_forever",
     "exec sleep 60",
     "thermo/boiling --seconds 0.2 --wait 0.5",
     1,
     {"\nthermo         T 0 passed, 1 failed\nthermo/boiling: had not ended after 0.5 s, "
      "using 0.0",
      " s of processor: it was waiting, not computing"}},
    {"closes_output_then_spins",
     "exec >&- 2>&-; while :; do :; done",
     "thermo/boiling --seconds 0.5",
     1,
     {"thermo/boiling: used 0.5 s of processor time and had not ended: a loop"}},
    // What a program may touch: its three streams, its own empty folder, nothing else.
    {"forges_through_descriptors",
     "for fd in 3 4 5 6 7 8 9; do { true >&$fd; } 2>/dev/null && exit 9; done; "
     "exec BIN/thermo",
     "thermo/boiling --json DIR/r.json --csv DIR/r.csv",
     0,
     {" 1 passed, 0 failed\n"}},
    {"writes_and_deletes_around_it",
     "echo x >mine || exit 9; { echo x >DIR/forged; } 2>/dev/null && exit 9; "
     "{ echo x >../forged; } 2>/dev/null && exit 9; rm -rf DIR/* 2>/dev/null; "
     "[ -e DIR/thermo ] || exit 9; exec BIN/thermo",
     "thermo",
     0,
     {" 10 passed, 0 failed\n"}},
    {"reads_the_instructors_world",
     "[ -z \"$SECRET_OF_THE_INSTRUCTOR\" ] && [ \"$LC_ALL\" = C ] && [ \"$HOME\" = "
     "\"$PWD\" ] "
     "&& [ \"$(printenv TMPD''IR)\" = \"$PWD\" ] && [ -z \"$(ls -A)\" ] && exec "
     "BIN/thermo; exit 9",
     "thermo/boiling",
     0,
     {" 1 passed, 0 failed\n"}},
    {"environment_given",
     "[ \"$COURSE\" = \"a b=c\" ] && exec BIN/thermo; exit 9",
     "thermo/boiling --env 'COURSE=a b=c'",
     0,
     {" 1 passed, 0 failed\n"}},
    {"fills_its_folder",
     "exec head -c 20000000 /dev/zero >big",
     "thermo/boiling",
     1,
     {"thermo/boiling: crashed: it wrote a file past the bound of 16 MiB\n"}},
    {"leaves_its_session",
     "setsid sleep 7.75 & exec BIN/thermo",
     "thermo",
     0,
     {" 10 passed, 0 failed\n"}},
    {"child_left_behind_with_right_output",
     "sleep 7.25 & exec BIN/thermo",
     "thermo",
     0,
     {" 10 passed, 0 failed\n"}},
    {"endless_output",
     "yes",
     "thermo/boiling",
     1,
     {"thermo/boiling: wrote more than 1 MiB to its standard output"}},
    {"debug_lines_and_escapes_on_standard_error",
     "printf 'x=3 \\033]0;title\\007\\033[2J\\n' >&2; exec BIN/thermo | tr C c",
     "thermo/boiling",
     1,
     {": wrote other output: only the case of letters differs\n",
      "  its standard error, first lines:\n    ! x=3 \\x1b]0;title\\x07\\x1b[2J\n"}},
    {"segmentation_fault",
     "kill -SEGV $$",
     "thermo/boiling",
     1,
     {"thermo/boiling: crashed: a segmentation fault"}},
    {"abort", "kill -ABRT $$", "thermo/boiling", 1, {"thermo/boiling: crashed: aborted"}},
    {"exit_status",
     "BIN/thermo; exit 3",
     "thermo/boiling",
     1,
     {"ended with status 3, not 0"}},
    {"no_run_bit",
     kNoRunBit,
     "thermo",
     1,
     {"thermo         could not be started: DIR/thermo is not executable (chmod +x "
      "DIR/thermo"}},
    {"a_folder",
     kFolder,
     "thermo",
     1,
     {"thermo         could not be started: DIR/thermo is a folder\n"}},
    {"lines_ended_in_crlf_and_one_real_mistake",
     "exec BIN/thermo | sed -z 's/\\n/\\r\\n/g; s/36.666667/36.000000/'",
     "thermo",
     1,
     {"thermo         FFFFFFFF.F 1 passed, 9 failed, 7 of them only in line ends\n",
      "thermo ends its lines in \\r\\n", "    _setmode(_fileno(stdout), _O_",
      "\nthermo/body: wrote other output\n", "(its \\r line ends set aside)\n",
      "\nthermo also failed: fraction_is_not_read; only in line ends: boiling "
      "freezing "}},
    {"each_named_row_in_full",
     "exec BIN/thermo | sed 's/s: /s:/'",
     "thermo/boiling thermo/freezing",
     1,
     {"\nthermo/boiling: wrote other output: only the spacing differs\n",
      "\nthermo/freezing: wrote other output: only the spacing differs\n"}},
    {"crlf_accepted",
     "exec BIN/thermo | sed -z 's/\\n/\\r\\n/g; s/36.666667/36.000000/'",
     "--crlf --no-dialogue thermo",
     1,
     {"thermo         ...F.F.... 8 passed, 2 failed\n",
      "\nthermo/body: wrote other output: only the digits of a number differ\n"}},
    {"seconds_not_a_time",
     "",
     "--seconds nan",
     2,
     {"suitecheck: --seconds takes a number"}},
    {"seconds_none", "", "--seconds 0", 2, {"suitecheck: --seconds takes a number"}},
    {"memory_not_whole", "", "--memory 1.5", 2, {"suitecheck: --memory takes a whole"}},
    {"one_file_twice",
     "",
     "--csv DIR/r --json DIR/r",
     2,
     {"suitecheck: two results files are one: DIR/r\n"}},
    {"file_not_writable",
     "",
     "--csv /nonexistent/x",
     2,
     {"suitecheck: /nonexistent/x: "}},
    {"unknown_row", "", "thermo/nosuch", 2, {"suitecheck: thermo has no row nosuch\n"}},
    {"unknown_program", "", "nosuch", 2, {"suitecheck: no program named nosuch\n"}},
};

std::string Replaced(std::string text, const std::string& dir) {
  for (auto [from, to] : {std::pair<std::string, std::string>{"DIR", dir},
                          {"BIN", BIN_DIR},
                          {"CHECK", CHECK}}) {
    for (std::size_t at = 0; (at = text.find(from, at)) != text.npos; at += to.size()) {
      text.replace(at, from.size(), to);
    }
  }
  return text;
}

// What the checker says, on standard output and error, given `words`; its status.
// A shell command's status and what it wrote.
std::pair<int, std::string> Ran(const std::string& command) {
  FILE* report = popen(command.c_str(), "r");
  std::string text;
  for (int c; (c = std::fgetc(report)) != EOF;) text += static_cast<char>(c);
  int status = pclose(report);
  return {WEXITSTATUS(status), text};
}

std::pair<int, std::string> Checked(const std::string& words) {
  return Ran(std::string(CHECK) + " " + words + " 2>&1 </dev/null");
}

// A folder every user may read, as a class's must be where rows run as users of
// their own.
fs::path MadeFolder() {
  char folder[] = "/tmp/suite-check-XXXXXX";
  EXPECT_NE(mkdtemp(folder), nullptr);
  fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read |
                              fs::perms::others_exec);
  return folder;
}

constexpr fs::perms kOpen = fs::perms::owner_all | fs::perms::group_read |
                            fs::perms::group_exec | fs::perms::others_read |
                            fs::perms::others_exec;

// `text` with each of the suite's programs it runs, the spinner and the students' files
// it names (STUDENTS/NAME), copied into `dir`/.bin and run from there: a row sees its
// own folder, not the suite's.
std::string BesideIt(std::string text, const fs::path& dir) {
  fs::path own = dir / ".bin";
  fs::create_directories(own);
  fs::permissions(dir, kOpen);
  fs::permissions(own, kOpen);
  std::string spinner = SPINNER;
  if (std::size_t at = text.find(spinner); at != text.npos) {
    fs::copy_file(spinner, own / "spinner", fs::copy_options::skip_existing);
    text.replace(at, spinner.size(), (own / "spinner").string());
  }
  // A student's own file among the tests', likewise.
  const std::string students = "STUDENTS/";
  for (std::size_t at; (at = text.find(students)) != text.npos;) {
    std::size_t end = text.find_first_of(" '\"", at);
    std::string name = text.substr(at + students.size(), end - at - students.size());
    fs::copy_file(fs::path(MAN_DIR).parent_path() / "tests/students" / name, own / name,
                  fs::copy_options::skip_existing);
    text.replace(at, students.size(), (own / "").string());
  }
  const std::string bin = std::string(BIN_DIR) + "/";
  for (std::size_t at; (at = text.find(bin)) != text.npos;) {
    std::size_t end =
        text.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-_", at + bin.size());
    std::string name = text.substr(at + bin.size(), end - at - bin.size());
    fs::copy_file(fs::path(BIN_DIR) / name, own / name, fs::copy_options::skip_existing);
    text.replace(at, bin.size(), (own / "").string());
  }
  return text;
}

// `script` as the program `name` in `dir`.
void Put(const fs::path& dir, const std::string& name, const std::string& script) {
  if (script == kFolder) {
    fs::create_directory(dir / name);
  } else if (script == kNoRunBit) {
    fs::copy_file(fs::path(BIN_DIR) / name, dir / name);
    fs::permissions(dir / name, fs::perms::owner_read | fs::perms::owner_write);
  } else if (!script.empty()) {
    std::string text = BesideIt(Replaced(script, dir), dir);
    std::ofstream(dir / name) << "#!/bin/sh\n" << text << "\n";
    fs::permissions(dir / name, kOpen);
  }
}

// Rows for the bounds a control group holds: where none can be made here, the first
// line of a report says so, and they are skipped.
const CheckRow kGroupRows[] = {
    {"memory_hog",
     "exec awk 'BEGIN { s = \"x\"; while (1) s = s s }'",
     "thermo/boiling --memory 64",
     1,
     {"thermo/boiling: used more than 64 MB of memory, the bound: ended there\n"}},
    {"fork_bomb",
     "while :; do sleep 5 & done",
     "thermo/boiling",
     1,
     {"thermo/boiling: started more than 64 processes at once, the bound: ended "
      "there\n"}},
};

void CheckEach(const CheckRow* begin, const CheckRow* end);

TEST(Check, BoundsARowsMemoryAndProcesses) {
  fs::path dir = MadeFolder();
  auto [status, text] = Checked("--against " + dir.string() + " thermo/boiling");
  fs::remove_all(dir);
  if (text.find("memory bounded per process") != text.npos ||
      text.find("no bound on its number of processes") != text.npos) {
    GTEST_SKIP() << "no control group can be made here: "
                 << text.substr(0, text.find('\n'));
  }
  CheckEach(std::begin(kGroupRows), std::end(kGroupRows));
}

// How many processes match `pattern`, by pgrep; -1 where pgrep is not here.
int Matching(const std::string& pattern) {
  if (system("command -v pgrep >/dev/null") != 0) return -1;
  FILE* found = popen(("pgrep -f '" + pattern + "'").c_str(), "r");
  int count = 0;
  for (int c; (c = std::fgetc(found)) != EOF;) count += c == '\n';
  pclose(found);
  return count;
}

TEST(Check, ReportsToAPerson) {
  if (Matching("") < 0) GTEST_SKIP() << "no pgrep here to look for what a row left";
  CheckEach(std::begin(kCheckRows), std::end(kCheckRows));
  // Nothing a row started is left running, a process that left its session included.
  EXPECT_EQ(Matching("sleep 7[.][27]5"), 0);
}

void CheckEach(const CheckRow* begin, const CheckRow* end) {
  setenv("SECRET_OF_THE_INSTRUCTOR", "x", 1);
  for (const CheckRow& row : std::span(begin, end)) {
    fs::path dir = MadeFolder();
    Put(dir, row.file, row.program);
    auto [status, text] =
        Checked("--against " + dir.string() + " " + Replaced(row.words, dir));
    EXPECT_EQ(status, row.status) << row.name << ":\n" << text;
    for (const char* line : row.lines) {
      EXPECT_NE(text.find(Replaced(line, dir)), text.npos) << row.name << ":\n" << text;
    }
    EXPECT_EQ(text.find('\x1b'), text.npos) << row.name << ": a raw escape:\n" << text;
    fs::remove_all(dir);
  }
}

// A class of seven, graded at once into the four files; each file holds each verdict.
TEST(Check, GradesAClassIntoFiles) {
  fs::path dir = MadeFolder();
  const std::pair<const char*, const char*> kClass[] = {
      {"right", "exec BIN/thermo"},
      // Its prompt waits in sed for the line's end: at a terminal, unseen.
      {"wrong", "exec BIN/thermo | sed 's/s: /s:/'"},
      {"late", "exec python3 STUDENTS/late.py 1 BIN/thermo"},
      {"crash", "kill -SEGV $$"},
      {"hang", "exec sleep 60"},
      {"none", ""},
      // It sees its own folder in the class's, no one else's.
      {"peek", "[ \"$(ls \"${0%/*}/..\")\" = peek ] && exec BIN/thermo; exit 9"},
  };
  for (auto [student, script] : kClass) {
    fs::create_directory(dir / student);
    Put(dir / student, "thermo", script);
  }
  std::string files = " --json " + (dir / "r.json").string() + " --junit " +
                      (dir / "r.xml").string() + " --csv " + (dir / "r.csv").string() +
                      " --html " + (dir / "r.html").string();
  auto [status, text] =
      Checked("--each " + dir.string() + " --seconds 0.3 --wait 1.5 thermo" + files);
  EXPECT_EQ(status, 1) << text;
  auto read = [&](const char* name) {
    std::ifstream in(dir / name);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::pair<const char*, std::vector<std::string>> kFiles[] = {
      {"r.json",
       {R"({"submission": "right", "program": "thermo", "row": "boiling", "verdict": "passed")",
        R"("row": "boiling", "verdict": "wrong-output", "detail": "spacing")",
        R"("submission": "crash", "program": "thermo", "row": "page", "verdict": "crashed")",
        R"("submission": "hang", "program": "thermo", "row": "zero", "verdict": "timed-out", "detail": "waiting")",
        R"("submission": "none", "program": "thermo", "row": "zero", "verdict": "missing")",
        R"("submission": "late", "program": "thermo", "row": "boiling", "verdict": "prompt-late", "detail": "answer 1")"}},
      {"r.xml",
       {"<testsuite name=\"crash/thermo\" tests=\"10\" failures=\"10\"",
        "<testcase classname=\"right.thermo\" name=\"boiling\" time=\"",
        "<failure type=\"wrong-output\" message=\"wrote other output: only the spacing "
        "differs\">thermo/boiling: wrote",
        "<failure type=\"prompt-late\" message=\"at a terminal, waited for its first "
        "answer before writing &quot;Enter the temperature in degrees Fahrenheit: "
        "&quot;; nothing had appeared\">"}},
      {"r.csv",
       {"\xef\xbb\xbfsubmission,points,max,thermo,thermo/boiling,thermo/freezing,",
        "\r\nright,10,10,10,passed,passed,", "\r\nlate,1,10,1,prompt-late,prompt-late,",
        "\r\nwrong,1,10,1,wrong-output,", "\r\ncrash,0,10,0,crashed,",
        "\r\nhang,0,10,0,timed-out,", "\r\nnone,0,10,0,missing,",
        "\r\npeek,10,10,10,passed,"}},
      {"r.html",
       {"waited for an answer at a terminal before writing what comes before it",
        "prompt-late"}},
  };
  for (const auto& [name, lines] : kFiles) {
    std::string bytes = read(name);
    for (const std::string& line : lines) {
      EXPECT_NE(bytes.find(line), bytes.npos) << name << " lacks " << line << ":\n"
                                              << bytes;
    }
  }
  EXPECT_NE(
      text.find("\nhang                0     10      0     10  thermo timed-out 10\n"),
      text.npos)
      << text;
  fs::remove_all(dir);
}

// The words a person types: help on every system, a file named for its folder, a
// Windows program by its own name.
struct TypedRow {
  const char* words;
  int status;
  std::vector<const char*> lines;
};

const TypedRow kTypedRows[] = {
    {"--help", 0, {"  --memory MB        memory a row may use (512)\n", "\nIts page: "}},
    {"/?", 0, {"  --html FILE        a page of the class, a cell a row, to look at\n"}},
    {"--against DIR/thermo thermo",
     2,
     {"suitecheck: DIR/thermo is a file, not a folder: --against takes the folder that "
      "holds the programs, DIR\n"}},
    {"--against DIR thermo.exe/boiling", 0, {"thermo         . 1 passed, 0 failed\n"}},
    {"--against DIR/source --cxx no-such-compiler thermo",
     1,
     {"thermo         could not be started: no C++ compiler here: no-such-compiler was "
      "not "
      "found (--cxx and --cc name another)\n"}},
    {"--export DIR/rows thermo", 0, {}},
    {"--export DIR/rows teller", 0, {}},  // the thermo rows of the first go
    {"--export DIR thermo", 2, {"suitecheck: DIR holds "}},
    {"--record thermo/page", 2, {"suitecheck: page is the row of the page's example"}},
};

TEST(Check, TakesWhatAPersonTypes) {
  fs::path dir = MadeFolder();
  Put(dir, "thermo", "exec BIN/thermo");
  fs::create_directory(dir / "source");
  std::ofstream(dir / "source/thermo.cpp") << "int main() {}\n";
  for (const auto& [words, status_wanted, lines] : kTypedRows) {
    auto [status, text] = Checked(Replaced(words, dir));
    EXPECT_EQ(status, status_wanted) << words << ":\n" << text;
    for (const char* line : lines) {
      EXPECT_NE(text.find(Replaced(line, dir)), text.npos) << words << ":\n" << text;
    }
  }
  EXPECT_TRUE(fs::exists(dir / "rows/teller/withdraw_180.ans"));
  EXPECT_FALSE(fs::exists(dir / "rows/thermo")) << "a stale export left";
  fs::remove_all(dir);
}

// An assignment as an instructor writes it, slips included: each line the checker does
// not take is refused with its place and what was meant; what it takes is graded alone.
struct AssignmentRow {
  const char* file;
  const char* words;  // after --against DIR --assignment DIR/a
  int status;
  const char* line;
};

const AssignmentRow kAssignmentRows[] = {
    {"thremo 50\n", "", 2, "DIR/a:1: thremo: no such program; did you mean thermo?\n"},
    {"# week 1\nThermo 50\n", "", 2,
     "DIR/a:2: Thermo: no such program; did you mean thermo?"},
    {"thermo: 10\n", "", 2, "DIR/a:1: thermo:: no such program; did you mean thermo?"},
    {"thermo 1e308\n", "", 2,
     "DIR/a:1: 1e308: points are a number such as 10 or 2.5, with at most two "
     "decimals\n"},
    {"thermo 2.555\n", "", 2, "DIR/a:1: 2.555: points are a number such as 10"},
    {"thermo 0\n", "", 2, "DIR/a:1: 0: points are from 0.01 to 10000\n"},
    {"thermo 20000\n", "", 2, "DIR/a:1: 20000: points are from 0.01 to 10000\n"},
    {"thermo 10 hidden now\n", "", 2,
     "DIR/a:1: expected PROGRAM or PROGRAM/ROW, its points, then `hidden` where students "
     "see it only once grades are published, not: thermo 10 hidden now\n"},
    {"thermo 10\nthermo 3\n", "", 2, "DIR/a:2: thermo is named already, on line 1\n"},
    {"thermo/boilng 3\n", "", 2,
     "DIR/a:1: thermo/boilng: no such row; did you mean thermo/boiling?\n"},
    {"thermo 5\nthermo/boiling 6\n", "", 2,
     "DIR/a:2: thermo/boiling: its program's rows named are worth more than thermo's 5 "
     "(line 1)\n"},
    {"thermo 5\nthermo/boiling 5\n", "", 2,
     "DIR/a:1: thermo: its rows named leave 0 of its 5 for its 9 others, less than a "
     "hundredth each\n"},
    {"thermo 20\n", "teller", 2,
     "suitecheck: teller is no part of the assignment DIR/a\n"},
    {"thermo/body\n", "thermo/boiling", 2,
     "suitecheck: thermo/boiling is no part of the assignment DIR/a\n"},
    // Taken: only what it names runs, worth what it says.
    {"thermo 20\nthermo/coldest 2 hidden\n", "", 0, "\npoints: 20 of 20\n"},
    {"thermo/boiling\nthermo/body 2.5 # the one that counts\n", "", 0,
     "thermo         .. 2 passed, 0 failed\ntests: 2 passed, 0 failed\npoints: 3.5 of "
     "3.5\n"},
    {"thermo 1\nthermo/page 0\n", "thermo/page", 0, "\npoints: 0 of 0\n"},
};

TEST(Check, ReadsAnAssignmentOrSaysWhereNot) {
  fs::path dir = MadeFolder();
  Put(dir, "thermo", "exec BIN/thermo");
  for (const auto& [file, words, status_wanted, line] : kAssignmentRows) {
    std::ofstream(dir / "a") << file;
    auto [status, text] =
        Checked(Replaced(std::string("--against DIR --assignment DIR/a ") + words, dir));
    EXPECT_EQ(status, status_wanted) << file << ":\n" << text;
    EXPECT_NE(text.find(Replaced(line, dir)), text.npos) << file << ":\n" << text;
  }
  fs::remove_all(dir);
}

// A class whose every program needs 60% of the processor time a row is given: each
// passes as it would alone, however many run at once.
TEST(Check, JudgesByTheProcessorsClock) {
  fs::path dir = MadeFolder();
  for (int student = 0; student < 12; ++student) {
    fs::path folder = dir / ("s" + std::to_string(student));
    fs::create_directory(folder);
    Put(folder, "thermo", std::string("exec ") + SPINNER + " 0.3 BIN/thermo");
  }
  auto [status, text] =
      Checked("--each " + dir.string() + " --seconds 0.5 --jobs 8 thermo/boiling");
  EXPECT_EQ(status, 0) << text;
  fs::remove_all(dir);
}

// Results files stay whole: a stop mid-class leaves last week's as they were.
TEST(Check, KeepsOldResultsWhenStopped) {
  fs::path dir = MadeFolder();
  fs::create_directory(dir / "slow");
  Put(dir / "slow", "thermo", "exec sleep 7.5");
  std::ofstream(dir / "r.csv") << "last week\n";
  auto [status, text] =
      Checked("--each " + dir.string() + " --csv " + (dir / "r.csv").string() +
              " thermo >/dev/null & sleep 0.5; kill -QUIT $!; wait $!");
  EXPECT_EQ(status, 128 + SIGQUIT) << text;
  std::ifstream in(dir / "r.csv");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "last week\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 2) << "a file left beside it";
  fs::remove_all(dir);
}

// A student's right thermo in C, as the course's files are tried with.
fs::path Sample() {
  return fs::path(MAN_DIR).parent_path() / "tests/students/thermo.c";
}

// What a class hands in: sources, right, wrong and near the mark, named as students name
// things. Each student has a line and a total; a second run builds nothing again.
// Where the compilers and Python a class is built with are not here, the rows that
// build it say so and are skipped.
bool Builders() {
  return system(
             "{ command -v cc && command -v c++ && command -v python3; } >/dev/null") ==
         0;
}

TEST(Check, GradesAClassFromSources) {
  if (!Builders())
    GTEST_SKIP() << "no cc, c++ or python3 to build a class's sources with";
  fs::path dir = MadeFolder();
  setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
  const std::pair<const char*, const char*> kClass[] = {
      {"right/thermo.c", ""},
      {"Jos\xc3\xa9 N\xc3\xba\xc3\xb1"
       "ez/thermo.c",
       ""},
      {"=cmd/thermo.c", ""},
      {"warned/thermo.c", "+static int unused;"},
      {"broken/thermo.cpp", "int main() { return x; }"},
      {"cased/Thermo.c", ""},
      {"nested/hw1/thermo.c", ""},
      {"script/thermo.py",
       "print('Enter the temperature in degrees Fahrenheit: ', end='')"},
  };
  for (auto [file, text] : kClass) {
    fs::create_directories((dir / "class" / file).parent_path());
    if (*text != '\0' && *text != '+') {  // a source of its own
      std::ofstream(dir / "class" / file) << text << "\n";
      continue;
    }
    fs::copy_file(Sample(), dir / "class" / file);
    if (*text == '+')
      std::ofstream(dir / "class" / file, std::ios::app) << text + 1 << "\n";
  }
  std::ofstream(dir / "class" / "bob.zip") << "PK";
  fs::create_directory(dir / "class" / ".git");
  std::ofstream(dir / "points") << "# the course's\nthermo 20\n";
  std::string words = "--each " + (dir / "class").string() + " --points " +
                      (dir / "points").string() + " --csv " + (dir / "g.csv").string() +
                      " thermo";
  auto [status, text] = Checked(words);
  EXPECT_EQ(status, 1) << text;
  for (const char* line : {
           "\n=cmd               20     20     10      0\n",
           "\nbob                 0     20      0     10  thermo cannot-start 10\n",
           "\nbroken              0     20      0     10  thermo compile-error 10\n",
           "\ncased               0     20      0     10  thermo missing 10\n",
           "\nJos\xc3\xa9 N\xc3\xba\xc3\xb1"
           "ez         20     20     10      0\n",
           "\nright              20     20     10      0\n",
           "\nwarned             20     20     10      0\n",
           "broken: thermo: the compiler's first words on thermo.cpp:\n",
           "error: 'x' was not declared in this scope",
           "warned: thermo: built from thermo.c; 1 warning; the first: thermo.c:17:12: "
           "warning: ",
           "cased          thermo         missing: no ",
           "/class/cased/thermo; there stands Thermo.c\n",
           "/class/nested/thermo; there stands hw1/\n",
           "script: thermo: built from thermo.py\n",
       }) {
    EXPECT_NE(text.find(line), text.npos) << line << " in:\n" << text;
  }
  EXPECT_EQ(text.find(".git"), text.npos) << text;
  std::ifstream csv(dir / "g.csv");
  std::string book(std::istreambuf_iterator<char>(csv), {});
  EXPECT_TRUE(
      book.starts_with("\xef\xbb\xbfsubmission,points,max,thermo,thermo/boiling,"))
      << book;
  EXPECT_NE(book.find("\r\n'=cmd,20,20,20,passed,"), book.npos) << book;
  // Built once: the second run finds every program in the cache as the first left it
  // (what the compiler said is touched as it is used again).
  auto programs = [&] {
    std::vector<fs::file_time_type> times;
    for (const auto& entry : fs::recursive_directory_iterator(dir / "cache")) {
      if (entry.path().filename() != "said") times.push_back(entry.last_write_time());
    }
    return times;
  };
  std::vector<fs::file_time_type> built = programs();
  EXPECT_EQ(Checked(words).first, 1);
  std::vector<fs::file_time_type> again = programs();
  EXPECT_EQ(built, again);
  EXPECT_FALSE(fs::exists(dir / "class/right/thermo"))
      << "built into the student's folder";
  unsetenv("XDG_CACHE_HOME");
  fs::remove_all(dir);
}

// A fix made in a header beside the sources is built, not the old program kept.
TEST(Check, RebuildsAFixInAHeader) {
  if (!Builders()) GTEST_SKIP() << "no cc to build a student's sources with";
  fs::path dir = MadeFolder();
  setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
  std::string program =
      "#include <stdio.h>\n#include \"conv.h\"\nint main(void) {\n"
      "  int f = 0;\n  printf(\"Enter the temperature in degrees "
      "Fahrenheit: \");\n  if (scanf(\"%d\", &f) != 1) return 0;\n"
      "  printf(\"Your temperature in degrees Celsius: %f\\n\", "
      "CELSIUS(f));\n}\n";
  std::ofstream(dir / "thermo.c") << program;
  for (const char* conversion : {"((f) - 32.0) * 5 / 8", "((f) - 32.0) * 5 / 9"}) {
    std::ofstream(dir / "conv.h") << "#define CELSIUS(f) (" << conversion << ")\n";
    fs::permissions(dir / "conv.h", kOpen);
    fs::permissions(dir / "thermo.c", kOpen);
    auto [status, text] = Checked("--against " + dir.string() + " thermo/boiling");
    EXPECT_EQ(status, conversion[19] == '8' ? 1 : 0) << conversion << ":\n" << text;
  }
  unsetenv("XDG_CACHE_HOME");
  fs::remove_all(dir);
}

// A folder of more sources than a command line should name is built all the same.
TEST(Check, BuildsAFolderOfManySources) {
  if (!Builders()) GTEST_SKIP() << "no cc to build a student's sources with";
  fs::path dir = MadeFolder();
  setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
  fs::create_directories(dir / "thermo");
  fs::permissions(dir / "thermo", kOpen);
  fs::copy_file(fs::path(MAN_DIR).parent_path() / "tests/students/thermo.c",
                dir / "thermo/main.c");
  for (int i = 0; i < 70; ++i) {
    std::ofstream(dir / "thermo" / ("part " + std::to_string(i) + ".c"))
        << "int part_" << i << "(void) { return " << i << "; }\n";
  }
  for (const auto& entry : fs::directory_iterator(dir / "thermo"))
    fs::permissions(entry.path(), kOpen);
  auto [status, text] = Checked("--against " + dir.string() + " thermo/boiling");
  EXPECT_EQ(status, 0) << text;
  unsetenv("XDG_CACHE_HOME");
  fs::remove_all(dir);
}

// Gradescope's autograder with the course's assignment as shipped, in its folders: the
// student's sources in submission/, the results read back from results/ by a JSON reader
// and held to Gradescope's format: the tests' points add up to the score's maximum, a
// failing test says what to fix, the hidden row waits for grades to be published.
struct GradescopeRow {
  const char* name;
  const char* from;  // the sample thermo.c's bytes, changed: `from` to `to`
  const char* to;
  const char* file;  // what it is handed in as
  const char* score;
  const char* output;  // what a failing test shows the student
};

const GradescopeRow kGradescopeRows[] = {
    {"right", "", "", "thermo.c", "20", ""},
    {"wrong", "Celsius: ", "Celsius:", "thermo.c", "4",
     "thermo/boiling: wrote other output"},
    {"slip", "int main", "int main(", "thermo.c", "0",
     "does not compile: thermo.c\nthermo: the compiler's first words on thermo.c:\n  ! "},
    {"misnamed", "", "", "Thermo.c", "0",
     "missing: no DIR/thermo; there stands Thermo.c"},
};

TEST(Check, GradesForGradescope) {
  if (!Builders())
    GTEST_SKIP() << "no cc, c++ or python3 to build a class's sources with";
  fs::path dir = MadeFolder();
  setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
  fs::path course = fs::path(MAN_DIR).parent_path() / "course";
  std::ifstream in(Sample());
  std::string sample(std::istreambuf_iterator<char>(in), {});
  // Gradescope's format, read as JSON: what a test holds, and the sums.
  std::string reader =
      "import json, sys\n"
      "r = json.load(open(sys.argv[1]))\n"
      "tests = r['tests']\n"
      "assert set(r) <= {'score', 'execution_time', 'output', 'visibility',\n"
      "                  'stdout_visibility', 'extra_data', 'tests'}\n"
      "for t in tests:\n"
      "  assert set(t) <= {'score', 'max_score', 'status', 'name', 'number', 'output',\n"
      "                    'tags', 'visibility', 'extra_data'}, t\n"
      "  assert t['status'] in ('passed', 'failed'), t\n"
      "  assert t['visibility'] in ('hidden', 'after_published', 'visible'), t\n"
      "  assert (t['status'] == 'passed') == (t['score'] == t['max_score']), t\n"
      "  assert (t['visibility'] == 'after_published') == (t['name'] == "
      "'thermo/coldest')\n"
      "cents = lambda key: sum(round(100 * t[key]) for t in tests)\n"
      "assert cents('max_score') == 2000 and cents('score') == round(100 * r['score'])\n"
      "failed = [t['output'] for t in tests if t['status'] == 'failed']\n"
      "print(r['score'], failed[0] if failed else '')\n";
  std::ofstream(dir / "reader.py") << reader;
  for (const GradescopeRow& row : kGradescopeRows) {
    fs::path top = dir / row.name;
    fs::create_directories(top / "submission");
    fs::create_directories(top / "source");
    fs::copy_file(course / "assignment", top / "source/assignment");
    std::string source = sample;
    if (*row.from) source.replace(source.find(row.from), std::strlen(row.from), row.to);
    std::ofstream(top / "submission" / row.file) << source;
    std::string command = "AUTOGRADER=" + top.string() + " SUITECHECK=" + CHECK + " sh " +
                          (course / "gradescope/run_autograder").string() +
                          " >/dev/null 2>&1 && python3 " + (dir / "reader.py").string() +
                          " " + (top / "results/results.json").string();
    std::string said = Ran(command).second;
    std::string wanted = std::string(row.score) + " " +
                         Replaced(row.output, (top / "submission").string());
    EXPECT_TRUE(said.starts_with(wanted)) << row.name << ": " << said;
  }
  unsetenv("XDG_CACHE_HOME");
  fs::remove_all(dir);
}

// A class as each platform hands it out, graded in one command, hostile archives among
// it; the platform's gradebook filled in its assignment's column alone, as a CSV reader
// reads it, and nothing written beside the download but the files named.
struct PlatformRow {
  const char* name;
  const char* words;  // after --each DIR/
  int status;
  std::vector<const char*> lines;
  const char* sheet;   // the exported gradebook, "" for none
  const char* column;  // its column filled, and what each student's line holds there
  const char* grades;
};

const PlatformRow kPlatformRows[] = {
    {"moodle",
     "moodle.zip --worksheet DIR/moodle-worksheet.csv --grades DIR/filled.csv "
     "--feedback DIR/feedback.zip",
     1,
     {"\n7 submissions in a Moodle download\n",
      "\nDan Out: thermo.zip: ../../escaped.c leads out of the archive\n",
      "\nEve Bomb: thermo.zip: unpacks past 64 MiB, and was stopped there\n",
      "\nFay Link: thermo.tar.gz: thermo.c is a link\n",
      "\nJosé = Núñez   thermo         missing: no thermo; there stands Thermo.c\n",
      "\nBob Stone           4     20      2      8  thermo wrong-output 8\n",
      "\n7 grades filled in DIR/filled.csv\n7 feedback files in DIR/feedback.zip\n"},
     "moodle-worksheet.csv",
     "Grade",
     "100|20|100|0|0|0||0"},
    {"canvas",
     "canvas.zip --worksheet DIR/canvas-gradebook.csv --grades DIR/filled.csv "
     "--column 'Homework 1' --absent zero",
     1,
     {"\n5 submissions in a Canvas download; late: stonebob\n",
      "\nnamcleo            20     20     10      0\n",  // the later upload, right
      "\nstonebob (late)      4     20      2      8  thermo wrong-output 8\n",
      "\noutdan         thermo         could not be graded: thermo.zip: ../../escaped.c "
      "leads out of the archive\n"},
     "canvas-gradebook.csv",
     "Homework 1 (555)",
     "20.00|20|4|20|0|0|0"},
    {"classroom",
     "classroom",
     1,
     {"\n3 submissions in a GitHub Classroom download\n",
      "\nanap               20     20     10      0\n",
      "\ndanout: thermo.zip: ../../escaped.c leads out of the archive\n"},
     "",
     "",
     ""},
    // Folders named alike that are no clones are students by their own names.
    {"plain_alike",
     "alike",
     0,
     {"\n2 submissions\n", "\nann-lee            20     20     10      0\n"},
     "",
     "",
     ""},
};

TEST(Check, GradesAClassAsItsPlatformGivesIt) {
  if (!Builders()) GTEST_SKIP() << "no cc or python3 to make and build a class with";
  fs::path dir = MadeFolder();
  fs::path top = fs::path(MAN_DIR).parent_path();
  setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
  ASSERT_EQ(Ran("python3 " + (top / "tests/platforms/make").string() + " " +
                dir.string() + " " + Sample().string())
                .first,
            0);
  for (const char* student : {"alike/ann-lee", "alike/ann-roe"}) {
    fs::create_directories(dir / student);
    fs::copy_file(Sample(), dir / student / "thermo.c");
  }
  Ran("chmod -R a+rX " + dir.string());
  // The exported gradebook and the filled one, cell by cell: the same but in `column`,
  // whose cells are said.
  std::ofstream(dir / "cells.py")
      << "import csv, sys\n"
         "read = lambda path: list(csv.reader(open(path, newline='', "
         "encoding='utf-8')))\n"
         "was, now = read(sys.argv[1]), read(sys.argv[2])\n"
         "at = now[0].index(sys.argv[3])\n"
         "assert len(was) == len(now) and was[0] == now[0]\n"
         "for a, b in zip(was, now):\n"
         "  assert a[:at] + a[at + 1:] == b[:at] + b[at + 1:], (a, b)\n"
         "print('|'.join(line[at] for line in now[1:]))\n";
  for (const PlatformRow& row : kPlatformRows) {
    auto [status, text] =
        Checked(Replaced("--each DIR/" + std::string(row.words) + " --assignment " +
                             (top / "course/assignment").string(),
                         dir.string()));
    EXPECT_EQ(status, row.status) << row.name << ":\n" << text;
    for (const char* line : row.lines) {
      EXPECT_NE(text.find(Replaced(line, dir.string())), text.npos)
          << row.name << " lacks " << line << ":\n"
          << text;
    }
    if (*row.sheet) {
      auto [same, cells] = Ran(
          "python3 " + (dir / "cells.py").string() + " " + (dir / row.sheet).string() +
          " " + (dir / "filled.csv").string() + " '" + row.column + "' 2>&1");
      EXPECT_EQ(same, 0) << row.name << ": " << cells;
      EXPECT_EQ(cells, std::string(row.grades) + "\n") << row.name;
    }
  }
  // Nothing of the archives' beside the download, nor where their paths led.
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    names.insert(entry.path().filename());
  EXPECT_EQ(names,
            (std::set<std::string>{"alike", "cache", "canvas-gradebook.csv", "canvas.zip",
                                   "cells.py", "classroom", "feedback.zip", "filled.csv",
                                   "moodle-worksheet.csv", "moodle.zip"}));
  EXPECT_FALSE(fs::exists(dir.parent_path() / "escaped.c"));
  unsetenv("XDG_CACHE_HOME");
  fs::remove_all(dir);
}

// The exported rows are what the programs write, byte for byte.
TEST(Check, ExportsRowsThatTheProgramsReproduce) {
  fs::path dir = MadeFolder();
  auto [status, text] = Checked("--export " + dir.string() + " thermo teller");
  ASSERT_EQ(status, 0) << text;
  int pairs = 0;
  for (const auto& program : fs::directory_iterator(dir)) {
    if (!program.is_directory()) continue;
    for (const auto& file : fs::directory_iterator(program)) {
      if (file.path().extension() != ".in") continue;
      fs::path answer = fs::path(file.path()).replace_extension(".ans");
      std::string run = std::string(BIN_DIR) + "/" + program.path().filename().string() +
                        " <" + file.path().string() + " | cmp -s - " + answer.string();
      EXPECT_EQ(system(run.c_str()), 0) << file.path();
      ++pairs;
    }
  }
  EXPECT_EQ(pairs, 10 + 27);
  EXPECT_TRUE(fs::exists(dir / "README.md"));
  fs::remove_all(dir);
}

// A copy installed elsewhere reads its rows from beside it, as an editor saved them.
struct FileRow {
  const char* name;
  const char* from;  // thermo.txt's bytes, changed: each `from` to `to`
  const char* to;
  int status;
  const char* line;
};

const FileRow kFileRows[] = {
    {"crlf_line_ends", "\n", "\r\n", 0, " 10 passed, 0 failed\n"},
    {"byte_order_mark", "# thermo:", "\xef\xbb\xbf# thermo:", 0,
     " 10 passed, 0 failed\n"},
    {"raw_control_byte", "< 212",
     "< 2\x01"
     "12",
     1,
     "thermo         cannot read its rows: "
     "DIR/share/suitecheck/transcripts/thermo.txt:6: a "
     "byte not seen, \\x01, stands in the line"},
};

// A folder as `cmake --install` makes it, with the checker, thermo and its rows alone.
fs::path Installed() {
  fs::path dir = MadeFolder();
  fs::create_directories(dir / "bin");
  fs::create_directories(dir / "share/suitecheck/transcripts");
  fs::create_directories(dir / "share/man/man1");
  fs::copy_file(CHECK, dir / "bin/suitecheck");
  fs::copy_file(fs::path(BIN_DIR) / "thermo", dir / "bin/thermo");
  fs::copy_file(fs::path(MAN_DIR) / "thermo.1", dir / "share/man/man1/thermo.1");
  fs::copy_file(fs::path(TRANSCRIPT_DIR) / "thermo.txt",
                dir / "share/suitecheck/transcripts/thermo.txt");
  return dir;
}

TEST(Check, ReadsAnInstalledCopysFiles) {
  for (const FileRow& row : kFileRows) {
    fs::path dir = Installed();
    std::ifstream in(fs::path(TRANSCRIPT_DIR) / "thermo.txt");
    std::string text(std::istreambuf_iterator<char>(in), {});
    for (std::size_t at = 0; (at = text.find(row.from, at)) != text.npos;
         at += std::strlen(row.to)) {
      text.replace(at, std::strlen(row.from), row.to);
    }
    std::ofstream(dir / "share/suitecheck/transcripts/thermo.txt") << text;
    std::string command =
        (dir / "bin/suitecheck").string() + " --against " BIN_DIR " thermo 2>&1";
    FILE* report = popen(command.c_str(), "r");
    std::string said;
    for (int c; (c = std::fgetc(report)) != EOF;) said += static_cast<char>(c);
    EXPECT_EQ(WEXITSTATUS(pclose(report)), row.status) << row.name << ":\n" << said;
    EXPECT_NE(said.find(Replaced(row.line, dir)), said.npos) << row.name << ":\n" << said;
    fs::remove_all(dir);
  }
}

// Rows recorded at once all land, each answer where the program reads it; a row
// rewritten takes the comments inside it along and passes; input without end is
// refused.
TEST(Check, RecordsSafely) {
  fs::path dir = Installed();
  auto there = [&](const std::string& command) {
    return Checked("--help >/dev/null; (cd " + dir.string() + " && " + command + ")");
  };
  auto [status, lost] = there(
      "for i in 1 2 3 4 5 6 7 8; do (echo $i | bin/suitecheck --record thermo/at_$i "
      ">/dev/null || echo lost) & done; wait");
  EXPECT_EQ(lost.find("lost"), lost.npos) << lost;
  fs::path file = dir / "share/suitecheck/transcripts/thermo.txt";
  std::ifstream in(file);
  std::string text(std::istreambuf_iterator<char>(in), {});
  for (int i = 1; i <= 8; ++i) {
    std::string row = "\n== at_" + std::to_string(i) +
                      "\n> Enter the temperature in degrees Fahrenheit: \\\n< " +
                      std::to_string(i) + "\n";
    EXPECT_NE(text.find(row), text.npos) << text;
  }
  if (text.find("== at_3\n") == text.npos) return;
  text.replace(text.find("== at_3\n"), 8, "== at_3 a reason\n# a comment inside\n");
  std::ofstream(file) << text;
  EXPECT_EQ(there("echo 99 | bin/suitecheck --record thermo/at_3 --replace").first, 0);
  auto [passed, report] = there("bin/suitecheck --against bin thermo/at_3");
  EXPECT_EQ(passed, 0) << report;
  // Through a link, to the file it names; the link stays one.
  fs::rename(file, dir / "kept.txt");
  fs::create_symlink(dir / "kept.txt", file);
  EXPECT_EQ(there("echo 7 | bin/suitecheck --record thermo/linked").first, 0);
  EXPECT_TRUE(fs::is_symlink(file));
  std::ifstream kept(dir / "kept.txt");
  EXPECT_NE(
      std::string(std::istreambuf_iterator<char>(kept), {})
          .find("\n== linked\n> Enter the temperature in degrees Fahrenheit: \\\n< 7\n"),
      std::string::npos);
  auto [refused, why] = there("yes 12 | bin/suitecheck --record thermo/endless");
  EXPECT_EQ(refused, 2) << why;
  EXPECT_NE(why.find("the input is over 1 MiB"), why.npos) << why;
  fs::remove_all(dir);
}

// A checker stopped by SIGTERM ends the programs it was running before it goes.
TEST(Check, EndsItsProgramsWhenStopped) {
  if (Matching("") < 0) GTEST_SKIP() << "no pgrep here to look for what a row left";
  fs::path dir = MadeFolder();
  Put(dir, "thermo", "exec sleep 7.625");
  auto [status, text] = Checked("--against " + dir.string() +
                                " thermo >/dev/null & sleep 0.3; kill -TERM $!; wait $!");
  EXPECT_EQ(status, 128 + SIGTERM) << text;
  usleep(100000);
  EXPECT_EQ(Matching("sleep 7[.]625"), 0);
  fs::remove_all(dir);
}

// A checker killed outright leaves its folder and control groups; the next run sweeps
// them, and leaves nothing of its own.
TEST(Check, SweepsWhatAKilledCheckerLeft) {
  if (Matching("") < 0) GTEST_SKIP() << "no pgrep here to look for what a row left";
  fs::path dir = MadeFolder();
  fs::create_directories(dir / "tmp");
  fs::create_directories(dir / "slow");
  Put(dir / "slow", "thermo", "exec sleep 7.875");
  std::string tmp = "TMPDIR=" + (dir / "tmp").string() + " ";
  FILE* run = popen((tmp + CHECK + " --against " + (dir / "slow").string() +
                     " thermo/boiling >/dev/null 2>&1 & pid=$!; sleep 0.5; "
                     "kill -KILL $pid; echo $pid")
                        .c_str(),
                    "r");
  char pid[32] = "";
  if (!std::fgets(pid, sizeof pid, run)) pid[0] = '\0';
  pclose(run);
  std::string first(pid, std::strcspn(pid, "\n"));
  // Its rows' processes end with it, and are reaped by the system in a moment.
  std::string groups = "find /sys/fs/cgroup -maxdepth 5 -name suitecheck-" + first;
  std::string counted =
      groups + " -exec cat {}/0/pids.current \\; 2>/dev/null | grep -qv '^0$'";
  for (int wait = 0;
       wait < 100 && (Matching("sleep 7[.]875") != 0 || system(counted.c_str()) == 0);
       ++wait) {
    usleep(50000);
  }
  auto left = [&] {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir / "tmp")) {
      std::string name = entry.path().filename().string();
      if (name.starts_with("suitecheck-")) names.push_back(name);  // not users' locks
    }
    return names;
  };
  ASSERT_EQ(left().size(), 1u) << "the killed checker's folder";
  Put(dir, "thermo", "exec BIN/thermo");
  EXPECT_EQ(system((tmp + CHECK + " --against " + dir.string() +
                    " thermo/boiling >/dev/null 2>&1")
                       .c_str()),
            0);
  EXPECT_EQ(left(), std::vector<std::string>{});
  EXPECT_NE(system((groups + " 2>/dev/null | grep -q .").c_str()), 0)
      << "its control groups";
  fs::remove_all(dir);
}

// A class stopped by Ctrl-C in the midst of its compiles: the next run gives the
// verdicts a clean cache gives, whenever the stop came.
TEST(Check, GradesRightAfterAStopMidCompile) {
  if (!Builders()) GTEST_SKIP() << "no cc to build a student's sources with";
  fs::path dir = MadeFolder();
  setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
  for (const char* student : {"ann", "bob", "cid", "dan"}) {
    fs::create_directories(dir / "class" / student);
    fs::copy_file(fs::path(MAN_DIR).parent_path() / "tests/students/thermo.c",
                  dir / "class" / student / "thermo.c");
  }
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    fs::permissions(entry.path(), kOpen);
  std::string words = "--each " + (dir / "class").string() + " thermo";
  for (const char* after : {"0.05", "0.2"}) {
    Checked(words + " >/dev/null & sleep " + after + "; kill -INT $!; wait $!");
    auto [status, text] = Checked(words);
    EXPECT_EQ(status, 0) << "stopped after " << after << " s:\n" << text;
    EXPECT_NE(text.find("tests: 40 passed, 0 failed"), text.npos) << text;
  }
  unsetenv("XDG_CACHE_HOME");
  fs::remove_all(dir);
}

// Checkers writing one results file at once leave one whole file, and nothing beside.
TEST(Check, WritesOneWholeFileThoughTwoWriteIt) {
  fs::path dir = MadeFolder();
  Put(dir, "thermo", "exec BIN/thermo");
  std::string one = std::string(CHECK) + " --against " + dir.string() + " thermo --csv " +
                    (dir / "grades.csv").string() + " >/dev/null";
  EXPECT_EQ(system((one + " & " + one + " & " + one + " & wait").c_str()), 0);
  std::ifstream in(dir / "grades.csv", std::ios::binary);
  std::string book(std::istreambuf_iterator<char>(in), {});
  EXPECT_TRUE(book.starts_with("\xef\xbb\xbfsubmission,points,max,")) << book;
  EXPECT_EQ(std::count(book.begin(), book.end(), '\n'), 2) << book;
  std::vector<std::string> beside;
  for (const auto& entry : fs::directory_iterator(dir))
    beside.push_back(entry.path().filename().string());
  std::sort(beside.begin(), beside.end());
  EXPECT_EQ(beside, (std::vector<std::string>{".bin", "grades.csv", "thermo"}));
  fs::remove_all(dir);
}

// What a newcomer meets: a source that cannot be built beside its program, a plain
// file in the class folder, a failing student's other rows, each said as such.
TEST(Check, SaysWhatANewcomerMeets) {
  fs::path dir = MadeFolder();
  Put(dir / "class/ann", "thermo", "exec BIN/thermo");
  fs::copy_file(fs::path(MAN_DIR).parent_path() / "tests/students/thermo.c",
                dir / "class/ann/thermo.c");
  fs::permissions(dir / "class/ann/thermo.c", kOpen);
  Put(dir / "class/cid", "thermo", "exec BIN/thermo | sed 's/s: /s:/'");
  std::ofstream(dir / "class/notes.txt") << "grade by Friday\n";
  std::ofstream(dir / "class/bob.zip") << "PK";
  fs::permissions(dir / "class", kOpen);
  auto [status, text] =
      Checked("--each " + (dir / "class").string() + " --cc /nonexistent/cc thermo");
  EXPECT_EQ(status, 1) << text;
  for (const char* line :
       {"\nnotes.txt: a file, not a submission: left out\n",
        "\nann: thermo: thermo.c not built (no C compiler here: /nonexistent/cc was not "
        "found (--cxx and --cc name another)); thermo checked as it is\n",
        "\nbob: bob.zip: cannot be read: Unrecognized archive format\n",
        "\ncid: thermo also failed: "}) {
    EXPECT_NE(text.find(line), text.npos) << line << "\n" << text;
  }
  EXPECT_EQ(text.find("\nnotes.txt "), text.npos) << text;
  fs::remove_all(dir);
}

}  // namespace
