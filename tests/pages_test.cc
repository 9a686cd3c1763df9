// A manual page for every program, each with an example run, and no page for a program
// that is not there. Each example runs as the row `page` of its program.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "run.h"
#include "transcript.h"

namespace {

TEST(Pages, OnePerProgramEachWithAnExample) {
  std::vector<std::string> programs = AllPrograms();
  programs.push_back("suitecheck");  // the checker has its page, with no row of its own
  std::vector<std::string> pages;
  for (const auto& entry : std::filesystem::directory_iterator(MAN_DIR)) {
    if (entry.path().extension() == ".1") pages.push_back(entry.path().stem().string());
  }
  std::sort(programs.begin(), programs.end());
  std::sort(pages.begin(), pages.end());
  EXPECT_EQ(pages, programs);
  for (const std::string& program : AllPrograms()) {
    EXPECT_NO_THROW(PageExample(MAN_DIR, program));
  }
}

}  // namespace
