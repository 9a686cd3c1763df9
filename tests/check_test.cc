// check, as a person meets it: one row a folder of programs and the words check is
// given, with its status and lines its report must hold. DIR stands for the folder.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

struct CheckRow {
  const char* name;
  const char* thermo;  // the folder's thermo: a shell script, or "" for none
  const char* words;
  int status;
  std::vector<const char*> lines;
};

const CheckRow kCheckRows[] = {
    {"right_program",
     "exec " BIN_DIR "/thermo",
     "thermo",
     0,
     {" passed, 0 failed\ntests: "}},
    {"wrong_byte",
     "exec " BIN_DIR "/thermo | sed 's/s: /s:/'",
     "thermo",
     1,
     {"\nthermo/boiling: wrote other output\n  input:\n    < 212\n",
      "    - ... it: Your temperature in degrees Celsius: 100.000000\n"
      "    + ... it: Your temperature in degrees Celsius:100.000000\n"
      "  first difference at byte 81\n  rerun: check --against DIR thermo/boiling\n",
      "\nthermo also failed: freezing "}},
    {"missing_program",
     "",
     "",
     1,
     {"\nteller         missing: no DIR/teller\n",
      "\n21 of the programs missing from DIR\n"}},
    {"hung_program",
     "exec sleep 60",
     "thermo/boiling --seconds 0.2",
     1,
     {"\nthermo         T 0 passed, 1 failed\nthermo/boiling: did not finish in 0.2 "
      "s\n"}},
    {"unknown_program", "", "nosuch", 2, {"check: no program named nosuch\n"}},
};

std::string Replaced(std::string text, const std::string& dir) {
  for (std::size_t at; (at = text.find("DIR")) != text.npos;) text.replace(at, 3, dir);
  return text;
}

TEST(Check, ReportsToAPerson) {
  for (const CheckRow& row : kCheckRows) {
    char folder[] = "/tmp/suite-check-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string dir = folder;
    if (*row.thermo) {
      std::ofstream(dir + "/thermo") << "#!/bin/sh\n" << row.thermo << "\n";
      chmod((dir + "/thermo").c_str(), 0755);
    }
    std::string command =
        std::string(CHECK) + " --against " + dir + " " + row.words + " 2>&1 </dev/null";
    FILE* report = popen(command.c_str(), "r");
    std::string text;
    for (int c; (c = std::fgetc(report)) != EOF;) text += static_cast<char>(c);
    int status = pclose(report);
    EXPECT_EQ(WEXITSTATUS(status), row.status) << row.name << ":\n" << text;
    for (const char* line : row.lines) {
      EXPECT_NE(text.find(Replaced(line, dir)), text.npos) << row.name << ":\n" << text;
    }
    std::remove((dir + "/thermo").c_str());
    rmdir(folder);
  }
}

}  // namespace
