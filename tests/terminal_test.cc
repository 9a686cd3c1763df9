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

// Types each answer once its prompt is on the screen; the whole screen once the
// program has ended, after `last_words`.
std::string Converse(const char* program, const std::vector<Step>& steps,
                     const char* last_words) {
  Child terminal = Start(program, {.terminal = true});
  std::string screen;
  for (const Step& step : steps) {
    std::string seen = ReadUntil(terminal, step.prompt, 10);
    screen += seen;
    if (seen.find(step.prompt) == std::string::npos) {
      ADD_FAILURE() << program << " shows no \"" << step.prompt << "\"; screen:\n"
                    << screen;
      break;
    }
    Type(terminal, step.answer);
  }
  std::string seen = ReadUntil(terminal, last_words, 10);
  EXPECT_NE(seen.find(last_words), std::string::npos) << seen;
  RunResult rest = Finish(terminal);
  EXPECT_EQ(rest.status, 0);
  return screen + seen + rest.output;
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

#define DEPTH "Enter the depth of the channel (1 to 50, whole integers): "
#define WIDTH "Enter the width of the channel (1 to 25, whole integers): "

TEST(Terminal, Flowguess) {
  Converse("flowguess",
           {{DEPTH, "20\n"},
            {WIDTH, "10\n"},
            {"Enter guess>", "10\n"},
            {"Enter guess>", "10.73\n"}},
           "GOOD GUESS!");
}

// Where the input ends, the shell's prompt that follows starts on a fresh line, and
// never after a blank one: Ctrl-D at a prompt, Ctrl-D after a line ended with Enter, a
// refusal written after the end, and a terminal's output with input from an empty file.
struct EndRow {
  const char* program;
  std::vector<Step> steps;  // none: the input is an empty file
  const char* screen_ends;
};

const EndRow kEndRows[] = {
    {"flowguess",
     {{DEPTH, "20\n"}, {WIDTH, "10\n"}, {"Enter guess>", "\x04"}},
     "\r\nEnter guess>\r\n"},
    {"flowguess",
     {{DEPTH, "20\n"}, {WIDTH, "10\n"}, {"Enter guess>", "\n\x04"}},
     "\r\nEnter guess>\r\n"},
    {"teller", {{"(4 characters): ", "\x04"}}, "(4 characters): Invalid user name\r\n"},
    {"thermo", {{"Fahrenheit: ", "\x04"}}, "Fahrenheit: \r\n"},
    {"driprate", {{"Problem=> ", "\x04"}}, "QUIT\r\nProblem=> \r\n"},
    {"teller", {}, "(4 characters): Invalid user name\r\n"},
    {"thermo", {}, "Fahrenheit: \r\n"},
    {"driprate", {}, "QUIT\r\nProblem=> \r\n"},
};

TEST(Terminal, EndOfInputLeavesAFreshLine) {
  for (const EndRow& row : kEndRows) {
    std::string screen;
    if (row.steps.empty()) {
      screen = RunProgram(row.program, "", {.terminal = true}).output;
    } else {
      screen = Converse(row.program, row.steps, "");
    }
    EXPECT_TRUE(screen.ends_with(row.screen_ends))
        << row.program << ": " << testing::PrintToString(screen);
  }
}

}  // namespace
