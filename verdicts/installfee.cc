// installfee: the revenue of a cable job, 25 dollars an installation and 2 dollars a
// foot of cable, when at least one installation was completed.
#include <cstdint>

#include "console.h"

int main(int argc, char* argv[]) {
  TakeNoArguments(
      argc, argv,
      "Works out the revenue of a cable installation asked on standard input.");
  std::int32_t installations = 0;
  std::int32_t cable_yards = 0;
  if (!AskOrQuit("Enter the number of installations: ", installations)) return 0;
  if (!AskOrQuit("Enter the yards of cable used: ", cable_yards)) return 0;

  std::int64_t cable_feet = std::int64_t{cable_yards} * 3;
  std::int64_t revenue = std::int64_t{installations} * 25 + cable_feet * 2;
  if (installations > 0) {
    Print("The revenue generated is %d dollars.\n\n", revenue);
  } else {
    WriteLine(
        "You did not generate any revenue because you did not complete an installation "
        ":(");
  }
  return 0;
}
