// The checker's guarantees wherever a course grades: as root with namespaces, as a
// person with namespaces of users, as root in a container that refuses namespaces, and
// as a person there. A class of hostile students, a submission an attack, is graded in
// each mode; each attack is held (its row is judged as the table says) or the run is
// refused up front, and the report's first line says what held.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kPerson = 4242;  // the instructor of the modes that are not root

// A student: what their thermo does, and the verdict it must get. SECRET, PRIVATE,
// RESULTS and BESIDE stand for the planted files, BIN for the folder of the suite's
// thermo beside the student's. An
// attack that works prints BREACH, which fails its row.
struct Hostile {
  const char* name;
  const char* script;
  const char* verdict;
};

const Hostile kHostile[] = {
    {"reads_secret_in_home", "cat SECRET && echo BREACH; exec BIN/thermo", "passed"},
    {"reads_closed_folder", "cat PRIVATE/secret && echo BREACH; exec BIN/thermo",
     "passed"},
    {"reads_shadow", "head -1 /etc/shadow && echo BREACH; exec BIN/thermo", "passed"},
    // Right when its input is given at once; at a terminal it waits before the prompt,
    // which is told wherever the checker may or may not see what a row waits for.
    {"asks_late", "IFS= read -r answer; printf '%s\\n' \"$answer\" | exec BIN/thermo",
     "prompt-late"},
    {"lists_the_cache",
     "ls /var/cache/suitecheck && echo BREACH; ls HOME/.cache/suitecheck && echo BREACH; "
     "exec BIN/thermo",
     "passed"},
    {"reads_zip_beside", "cat BESIDE && echo BREACH; exec BIN/thermo", "passed"},
    {"writes_proc_sys",
     "[ -w /proc/sys/kernel/core_pattern ] && echo BREACH; exec BIN/thermo", "passed"},
    {"forges_results",
     "echo '{\"score\": 999}' >RESULTS && echo BREACH; rm -f RESULTS; exec BIN/thermo",
     "passed"},
    {"signals_the_checker",
     "for p in $(pgrep -x suitecheck); do head -c1 /proc/$p/environ && echo BREACH; "
     "kill -9 $p; done; exec BIN/thermo",
     "passed"},
    {"signals_a_peer",
     "for i in $(seq 15); do pkill -9 -f classmate && echo BREACH; sleep 0.2; done; "
     "exec BIN/thermo",
     "passed"},
    {"classmate", "sh -c 'sleep 2' classmate; exec BIN/thermo", "passed"},
    {"hog_4gb",
     "exec python3 -c 'x = bytearray(4 << 30); x[::4096] = b\"x\" * (1 << 20)'",
     "memory-limit"},
    {"eight_of_500mb",
     "for i in 1 2 3 4 5 6 7 8; do python3 -c 'import time; x = b\"x\" * (500 << 20); "
     "time.sleep(4)' & done; wait",
     "memory-limit"},
    {"tree_of_256", "for i in $(seq 256); do sleep 5 & done; wait", "process-limit"},
    {"four_burners", "for i in 1 2 3 4; do (while :; do :; done) & done; wait",
     "timed-out"},
    {"escapes_its_session", "setsid sleep 9.25 & exec BIN/thermo", "passed"},
};

// Sources that reach for what is not theirs: refused by the compiler or the checker.
const Hostile kSources[] = {
    {"includes_the_secret", "#include \"SECRET\"\nint main(void) { return 0; }\n",
     "compile-error"},
    {"includes_shadow", "#include \"/etc/shadow\"\nint main(void) { return 0; }\n",
     "compile-error"},
};

std::string Replaced(std::string text, const std::map<std::string, std::string>& words) {
  for (const auto& [from, to] : words) {
    for (std::size_t at = 0; (at = text.find(from, at)) != text.npos; at += to.size())
      text.replace(at, from.size(), to);
  }
  return text;
}

std::string Output(const std::string& command) {
  FILE* out = popen((command + " 2>&1 </dev/null").c_str(), "r");
  std::string text;
  for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
  pclose(out);
  return text;
}

// The folders of one mode: the checker's home with its secret, a closed folder, the
// class, and the results; the checker's user owns what it must.
struct Course {
  fs::path dir, home, klass, results;
  std::map<std::string, std::string> words;

  Course(int owner, bool hostile) {
    char made[] = "/tmp/suite-contain-XXXXXX";
    dir = mkdtemp(made);
    chmod(dir.c_str(), 0755);
    home = dir / "home";
    klass = dir / "class";
    results = dir / "results";
    fs::create_directories(home / ".cache");
    fs::create_directories(dir / "private");
    fs::create_directories(results);
    std::ofstream(home / "secret.txt") << "the instructor's secret\n";
    std::ofstream(dir / "private/secret") << "root's secret\n";
    std::ofstream(dir / "submissions.zip") << "everyone's work\n";
    std::ofstream(results / "results.json") << "{}\n";
    chmod((home / "secret.txt").c_str(), 0600);
    chmod((dir / "private/secret").c_str(), 0600);
    chmod((dir / "private").c_str(), 0700);
    chmod((dir / "submissions.zip").c_str(), 0600);
    chmod(home.c_str(), 0700);
    words = {{"SECRET", (home / "secret.txt").string()},
             {"PRIVATE", (dir / "private").string()},
             {"RESULTS", (results / "results.json").string()},
             {"BESIDE", (dir / "submissions.zip").string()},
             {"HOME", home.string()}};
    Put("ann", "exec BIN/thermo");
    fs::create_directories(klass / "bob");
    fs::copy_file(fs::path(MAN_DIR).parent_path() / "tests/students/thermo.c",
                  klass / "bob/thermo.c");
    if (hostile) {
      for (const Hostile& student : kHostile) Put(student.name, student.script);
      for (const Hostile& student : kSources) {
        fs::create_directories(klass / student.name);
        std::ofstream(klass / student.name / "thermo.c")
            << Replaced(student.script, words);
      }
      fs::create_directories(klass / "links_to_the_secret");
      fs::create_symlink(home / "secret.txt", klass / "links_to_the_secret/thermo.c");
    }
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
      if (entry.path().string().starts_with(home.string()) ||
          entry.path().string().starts_with((dir / "private").string()) ||
          entry.path().filename() == "submissions.zip" || entry.is_symlink()) {
        continue;
      }
      chmod(entry.path().c_str(), entry.is_directory() ? 0755 : 0644);
    }
    for (const auto& entry : fs::recursive_directory_iterator(klass)) {
      if (entry.path().filename() == "thermo" && !entry.is_symlink())
        chmod(entry.path().c_str(), 0755);
    }
    for (const fs::path& path : {home, home / ".cache", home / "secret.txt", results,
                                 results / "results.json"}) {
      (void)!chown(path.c_str(), static_cast<uid_t>(owner), static_cast<gid_t>(owner));
    }
  }
  ~Course() { fs::remove_all(dir); }

  // A student's thermo, with the suite's thermo beside it where it runs that: a row
  // sees its own submission, not the suite's folder.
  void Put(const std::string& name, const std::string& script) {
    fs::create_directories(klass / name / ".bin");
    fs::copy_file(THERMO, klass / name / ".bin/thermo");
    std::map<std::string, std::string> here = words;
    here["BIN"] = (klass / name / ".bin").string();
    std::ofstream(klass / name / "thermo") << "#!/bin/sh\n"
                                           << Replaced(script, here) << "\n";
  }
};

// Each submission's verdict on thermo/boiling, read from the JSON results.
std::map<std::string, std::string> Verdicts(const fs::path& json) {
  std::ifstream in(json);
  std::string text(std::istreambuf_iterator<char>(in), {});
  std::map<std::string, std::string> verdicts;
  const std::string kSubmission = "\"submission\": \"";
  const std::string kVerdict = "\"verdict\": \"";
  for (std::size_t at = 0; (at = text.find(kSubmission, at)) != text.npos;) {
    at += kSubmission.size();
    std::string name = text.substr(at, text.find('"', at) - at);
    std::size_t verdict = text.find(kVerdict, at);
    std::size_t line = text.find('\n', at);
    if (verdict == text.npos || verdict > line) continue;
    verdict += kVerdict.size();
    verdicts[name] = text.substr(verdict, text.find('"', verdict) - verdict);
  }
  return verdicts;
}

struct Mode {
  const char* name;
  const char* confine;  // the launcher's words, "" for none
  int owner;            // the checker's user
  const char* held;     // what the first line must say
};

const Mode kModes[] = {
    {"root_apart", "", 0, "each row runs apart, as a user of its own"},
    {"person_apart", "--user 4242", kPerson, "each row runs apart, as you"},
    {"root_in_container", "--container", 0,
     "each row runs as a user of its own, with no namespaces here: files that every "
     "user may read stay in its reach"},
    {"person_in_container", "--container --user 4242", kPerson,
     "each row runs as you, with no namespaces here: your files are in its reach"},
};

// Under the sanitizers the checker is slower, not otherwise contained: the modes are
// tried in the plain build, within CI's time.
class Contain : public testing::TestWithParam<Mode> {
 protected:
  void SetUp() override {
#ifdef SUITE_SANITIZED
    GTEST_SKIP() << "the modes are tried in the plain build";
#endif
  }
};

std::string CheckerCommand(const Mode& mode, const Course& course,
                           const std::string& words) {
  std::string launcher =
      *mode.confine ? std::string(CONFINE) + " " + mode.confine + " -- " : "";
  return "HOME=" + course.home.string() + " XDG_CACHE_HOME= " + launcher + CHECK + " " +
         words;
}

TEST_P(Contain, HoldsAHostileClassOrRefusesIt) {
  const Mode& mode = GetParam();
  if (geteuid() != 0) GTEST_SKIP() << "the modes are made by root";
  if (system("command -v pgrep python3 >/dev/null") != 0)
    GTEST_SKIP() << "no pgrep or python3 here for the hostile students";
  if (std::string(mode.name).find("apart") != std::string::npos &&
      Output(CheckerCommand(mode, Course(mode.owner, false), "--against /nonexistent "))
              .find("no folder") == std::string::npos) {
    GTEST_SKIP() << "the checker cannot start in this mode here";
  }
  Course course(mode.owner, true);
  std::string json = (course.results / "results.json").string();
  std::string report =
      Output(CheckerCommand(mode, course,
                            "--each " + course.klass.string() + " --json " + json +
                                " --seconds 3 --wait 8 --jobs 8 thermo/boiling"));
  if (mode.owner != 0 &&
      std::string(mode.confine).find("container") != std::string::npos) {
    // Neither a user of its own nor namespaces: a class is refused up front.
    EXPECT_TRUE(report.starts_with("suitecheck: --each: rows would run as you"))
        << report;
    EXPECT_EQ(report.find('\n'), report.size() - 1) << report;
    std::string own = Output(CheckerCommand(
        mode, course,
        "--against " + (course.klass / "ann").string() + " thermo/boiling"));
    EXPECT_NE(own.find(mode.held), own.npos) << own;
    EXPECT_NE(own.find("tests: 1 passed, 0 failed"), own.npos) << own;
    return;
  }
  ASSERT_NE(report.find(mode.held), report.npos) << report.substr(0, 400);
  std::map<std::string, std::string> verdicts = Verdicts(json);
  std::map<std::string, std::string> expected = {
      {"ann", "passed"}, {"bob", "passed"}, {"links_to_the_secret", "cannot-start"}};
  for (const Hostile& student : kHostile) expected[student.name] = student.verdict;
  for (const Hostile& student : kSources) expected[student.name] = student.verdict;
  EXPECT_EQ(verdicts, expected) << report;
  EXPECT_EQ(report.find("BREACH"), report.npos) << report;
  EXPECT_EQ(report.find("the instructor's secret"), report.npos) << report;
  EXPECT_EQ(report.find("root's secret"), report.npos) << report;
  // The escaper's sleep ended with its row; nothing of the checker's is left.
  EXPECT_EQ(Output("pgrep -f 'sleep 9[.]25' || true"), "");
  EXPECT_EQ(Output("ls -d /tmp/suitecheck-* 2>/dev/null | while read f; do "
                   "[ -e \"$f/.held\" ] && flock -n \"$f/.held\" echo \"$f\"; done"),
            "");
}

// A right class gets the same verdicts in every mode, a class refused up front
// included where the person says it may run as them.
TEST_P(Contain, GradesARightClassAlike) {
  const Mode& mode = GetParam();
  if (geteuid() != 0) GTEST_SKIP() << "the modes are made by root";
  Course course(mode.owner, false);
  std::string json = (course.results / "results.json").string();
  std::string report = Output(CheckerCommand(
      mode, course,
      "--each " + course.klass.string() + " --run-as-me --json " + json + " thermo"));
  EXPECT_NE(report.find("tests: 20 passed, 0 failed"), report.npos) << report;
  EXPECT_NE(report.find(mode.held), report.npos) << report.substr(0, 400);
}

INSTANTIATE_TEST_SUITE_P(Modes, Contain, testing::ValuesIn(kModes),
                         [](const auto& mode) { return std::string(mode.param.name); });

}  // namespace

namespace {

// Gradescope's autograder as the README gives it, run as root in a container that
// refuses namespaces: the student's program can neither write the results nor read a
// course file closed to other users.
TEST(Contain, GradesOnGradescopeInAContainer) {
  if (geteuid() != 0) GTEST_SKIP() << "a container's root is made by root";
  Course course(0, false);
  fs::path top = course.dir / "autograder";
  fs::create_directories(top / "submission");
  fs::create_directories(top / "source");
  std::ofstream(top / "source/points") << "thermo 30\nthermo/page 0\n";
  std::ofstream(top / "source/key.txt") << "the course's key\n";
  chmod((top / "source/key.txt").c_str(), 0600);
  std::ifstream sample(fs::path(MAN_DIR).parent_path() / "tests/students/thermo.c");
  std::ofstream(top / "submission/thermo.c")
      << "#include <stdio.h>\nint student_main(void);\nint main(void) {\n"
      << "  if (fopen(\"" << (top / "results/results.json").string()
      << "\", \"w\")) puts(\"BREACH\");\n"
      << "  if (fopen(\"" << (top / "source/key.txt").string()
      << "\", \"r\")) puts(\"BREACH\");\n"
      << "  return student_main();\n}\n#define main student_main\n"
      << std::string(std::istreambuf_iterator<char>(sample), {});
  for (const fs::path& path : {top, top / "submission", top / "source"})
    chmod(path.c_str(), 0755);
  chmod((top / "submission/thermo.c").c_str(), 0644);
  std::string script =
      (fs::path(MAN_DIR).parent_path() / "course/gradescope/run_autograder").string();
  std::string report =
      Output(std::string(CONFINE) + " --container -- env AUTOGRADER=" + top.string() +
             " SUITECHECK=" + CHECK + " sh " + script);
  std::ifstream in(top / "results/results.json");
  std::string results(std::istreambuf_iterator<char>(in), {});
  EXPECT_TRUE(results.starts_with("{\"score\": 30, ")) << results << report;
  EXPECT_NE(report.find("each row runs as a user of its own"), report.npos) << report;
  EXPECT_EQ(report.find("BREACH"), report.npos) << report;
  EXPECT_EQ(results.find("BREACH"), results.npos) << results;
}

}  // namespace
