// rollcall and daytemps on inputs made as they run: long names, a million records.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "run.h"

namespace {

TEST(Rollcall, NamesOfThousandsOfBytesAreKeptWhole) {
  std::string name(5000, 'N');
  std::string longer = name + "x";
  std::string input = name + " " + longer + " 3\n" + longer + " " + name +
                      " 4\nDONE DONE 0\n" + name + " " + longer + "\n";
  RunResult run = RunProgram("rollcall", input);
  EXPECT_EQ(run.output, "2 people.  Total age is 7.\n1 people with first name " + name +
                            ".  Total age is 3.\n1 people with last name " + longer +
                            ".  Total age is 3.\n");
}

// A million records, or a tenth of that under the sanitizers, which run far slower.
#ifdef SUITE_SANITIZED
constexpr int kMany = 100000;
#else
constexpr int kMany = 1000000;
#endif

TEST(Rollcall, AMillionPeopleAreAllCounted) {
  std::mt19937 random(7);
  const char* firsts[] = {"Ann", "ann", "Bob", "ANNE", "Cy"};
  const char* lasts[] = {"Lee", "LEE", "Smith", "lees"};
  std::string input;
  std::int64_t total = 0, anns = 0, ann_age = 0, lees = 0, lee_age = 0;
  for (int i = 0; i < kMany; ++i) {
    std::size_t f = random() % 5, l = random() % 4;
    std::int32_t age = static_cast<std::int32_t>(random() % 2000000000) - 10;
    input += std::string(firsts[f]) + " " + lasts[l] + " " + std::to_string(age) + "\n";
    total += age;
    if (f < 2) ++anns, ann_age += age;
    if (l < 2) ++lees, lee_age += age;
  }
  input += "DONE DONE 0 aNN lEE";
  RunResult run = RunProgram("rollcall", input);
  EXPECT_EQ(run.output, std::to_string(kMany) + " people.  Total age is " +
                            std::to_string(total) + ".\n" + std::to_string(anns) +
                            " people with first name aNN.  Total age is " +
                            std::to_string(ann_age) + ".\n" + std::to_string(lees) +
                            " people with last name lEE.  Total age is " +
                            std::to_string(lee_age) + ".\n");
}

#define DAYS "Please enter the # of days you have temperatures for: "

TEST(Daytemps, AMillionDaysAreAllCounted) {
  std::mt19937 random(11);
  std::string input = std::to_string(kMany) + "\n";
  std::string prompts = DAYS;
  std::int64_t total = 0;
  int hot = 0, pleasant = 0, cold = 0;
  for (int day = 1; day <= kMany; ++day) {
    std::int32_t temperature =
        static_cast<std::int32_t>(random() % 2000000001) - 1000000000;
    if (day % 3 == 0) temperature = static_cast<std::int32_t>(random() % 60) + 40;
    input += std::to_string(temperature) + (day % 10 ? " " : "\n");
    prompts += "Enter temperature " + std::to_string(day) + ": ";
    total += temperature;
    temperature > 84 ? ++hot : temperature >= 60 ? ++pleasant : ++cold;
  }
  RunResult run = RunProgram("daytemps", input);
  EXPECT_EQ(run.output, prompts + "Total hot days: " + std::to_string(hot) +
                            "\nTotal pleasant days: " + std::to_string(pleasant) +
                            "\nTotal cold days: " + std::to_string(cold) +
                            "\nAverage temperature: " + std::to_string(total / kMany) +
                            "\n");
}

}  // namespace
