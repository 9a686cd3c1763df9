// birthtrick: juggles the year of birth and the age into one number whose whole part
// is the year and whose two decimals are the age.
#include <cstdint>

#include "console.h"

int main(int argc, char* argv[]) {
  TakeNoArguments(
      argc, argv,
      "Does a number trick on the year of birth and the age, asked on standard input.");
  WriteLine("Here is a clever number juggling trick.\n");
  std::int32_t year = 0;
  std::int32_t age = 0;
  if (!AskOrQuit("Enter the year of your birth (positive 4-digit integer): ", year))
    return 0;
  if (!AskOrQuit("Enter your current age (positive integer): ", age)) return 0;

  // 64 bits, so that a year of any size juggles without wrapping.
  std::int64_t juggled = std::int64_t{year} * 100 + 250;
  juggled += age;
  double result = static_cast<double>(juggled - 250) / 100;

  Write("... and after juggling the numbers, the result is: ");
  PrintLine("%.2f", result);
  WriteLine("Isn't that amazing?");
  return 0;
}
