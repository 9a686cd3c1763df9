// daytemps: a run of daily temperatures sorted into hot, pleasant and cold days, with
// their average.
#include <cstdint>

#include "console.h"

int main(int argc, char* argv[]) {
  TakeNoArguments(
      argc, argv,
      "Counts hot, pleasant and cold days among temperatures asked on standard input.");
  std::int32_t days = 0;
  if (!AskOrQuit("Please enter the # of days you have temperatures for: ", days))
    return 0;

  std::int64_t total = 0;
  std::int32_t hot = 0;
  std::int32_t pleasant = 0;
  std::int32_t cold = 0;
  for (std::int64_t day = 1; day <= days;) {
    Print("Enter temperature %d: ", day);
    std::int32_t temperature = 0;
    Outcome got = ReadOrSkip(temperature);
    if (got == Outcome::kEnd) return 0;
    if (got == Outcome::kInvalid) continue;  // the same day is asked again
    total += temperature;
    if (temperature > 84) {
      ++hot;
    } else if (temperature >= 60) {
      ++pleasant;
    } else {
      ++cold;
    }
    ++day;
  }
  std::int64_t average = days > 0 ? total / days : 0;

  PrintLine("Total hot days: %d", hot);
  PrintLine("Total pleasant days: %d", pleasant);
  PrintLine("Total cold days: %d", cold);
  PrintLine("Average temperature: %d", average);
  return 0;
}
