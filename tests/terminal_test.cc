// A person at a terminal: each prompt must be on the screen before the program waits
// for its answer, and only then is the answer typed.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "run.h"

namespace {

struct Step {
  const char* prompt;  // what must be on the screen
  const char* answer;  // what is typed then
};

void Converse(const char* program, const std::vector<Step>& steps,
              const char* last_words) {
  Child terminal = Start(program, {.terminal = true});
  for (const Step& step : steps) {
    std::string screen = ReadUntil(terminal, step.prompt, 10);
    ASSERT_NE(screen.find(step.prompt), std::string::npos)
        << program << " shows no \"" << step.prompt << "\"; screen:\n"
        << screen;
    Type(terminal, step.answer);
  }
  std::string screen = ReadUntil(terminal, last_words, 10);
  EXPECT_NE(screen.find(last_words), std::string::npos) << screen;
  EXPECT_EQ(Finish(terminal).status, 0);
}

TEST(Terminal, Teller) {
  Converse("teller",
           {{"Enter the user name (4 characters): ", "Anna\n"},
            {"Would you like to make a withdraw or deposit: ", "w\n"},
            {"Enter the amount you would like: ", "180\n"}},
           " GOODBYE ");
}

TEST(Terminal, Driprate) {
  Converse("driprate",
           {{"Problem=> ", "1\n"},
            {"Enter rate in ml/hr=> ", "100\n"},
            {"Enter tubing's drop factor(drops/ml)=> ", "15\n"},
            {"Problem=> ", "4\n"},
            {"Enter rate in units/hr=> ", "1000\n"},
            {"Enter concentration in units/ml=> ", "300\n"},
            {"Problem=> ", "5\n"}},
           "");
}

TEST(Terminal, Flowguess) {
  Converse("flowguess",
           {{"Enter the depth of the channel (1 to 50, whole integers): ", "20\n"},
            {"Enter the width of the channel (1 to 25, whole integers): ", "10\n"},
            {"Enter guess>", "10\n"},
            {"Enter guess>", "10.73\n"}},
           "GOOD GUESS!");
}

}  // namespace
