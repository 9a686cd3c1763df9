// rollcall, mileage and daytemps, one run a row.
#include <cstdint>
#include <random>
#include <string>

#include "run.h"
#include "transcript.h"

namespace {

#define PEOPLE(n, age) n " people.  Total age is " age ".\n"
#define FIRST(n, name, age) n " people with first name " name ".  Total age is " age ".\n"
#define LAST(n, name, age) n " people with last name " name ".  Total age is " age ".\n"

const Transcript kRollcall[] = {
    {"a_roster", "rollcall",
     "Ann Lee 30\nann Smith 20\nBob LEE 41\nDONE DONE 0\nANN lee\n",
     PEOPLE("3", "91") FIRST("2", "ANN", "50") LAST("2", "lee", "71")},
    {"empty_roster", "rollcall", "DONE DONE 0 Ann Lee",
     PEOPLE("0", "0") FIRST("0", "Ann", "0") LAST("0", "Lee", "0")},
    {"end_record_is_no_person", "rollcall", "Ann Lee 30 DONE DONE 0 done Done",
     PEOPLE("1", "30") FIRST("0", "done", "0") LAST("0", "Done", "0")},
    {"people_named_done", "rollcall",
     "Done Done 5 DONE DONE 1 DONE x 0 DONE DONE 0 done DONE",
     PEOPLE("3", "6") FIRST("3", "done", "6") LAST("2", "DONE", "6")},
    {"whole_words_only", "rollcall", "Anne Lee 1 An Lees 2 DONE DONE 0 Ann Lee",
     PEOPLE("2", "3") FIRST("0", "Ann", "0") LAST("1", "Lee", "1")},
    {"one_record_two_queries", "rollcall", "Lee Lee 7 DONE DONE 0 LEE lee",
     PEOPLE("1", "7") FIRST("1", "LEE", "7") LAST("1", "lee", "7")},
    {"only_a_to_z_fold", "rollcall",
     "\xc3\x89mile Zola 50 \xc3\xa9mile zola 40 DONE DONE 0 \xc3\x89MILE ZOLA",
     PEOPLE("2", "90") FIRST("1", "\xc3\x89MILE", "50") LAST("2", "ZOLA", "90")},
    {"negative_ages", "rollcall", "A B -10 C D 4 DONE DONE 0 a d",
     PEOPLE("2", "-6") FIRST("1", "a", "-10") LAST("1", "d", "4")},
    {"totals_beyond_32_bits", "rollcall", "A B 2147483647 a b 2147483647 DONE DONE 0 a b",
     PEOPLE("2", "4294967294") FIRST("2", "a", "4294967294")
         LAST("2", "b", "4294967294")},
    {"age_not_a_number", "rollcall", "Ann Lee thirty DONE DONE 0 a b", NUMERIC},
    {"age_beyond_32_bits", "rollcall", "Ann Lee 4294967296 DONE DONE 0 a b", NUMERIC},
    {"input_ends_in_roster", "rollcall", "Ann Lee 30 Bob", ""},
    {"input_ends_before_queries", "rollcall", "Ann Lee 30 DONE DONE 0 Ann", ""},
};

INSTANTIATE_TEST_SUITE_P(Rollcall, TranscriptTest, testing::ValuesIn(kRollcall), RowName);

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

#define BEST(n) "The best fuel efficiency is " n " miles per gallon\n"
#define AVERAGE(n) "The average number of miles driven is " n " miles\n"
#define SPENT(n) "The total amount of money we've spent on gasoline has been $ " n " \n"

const Transcript kMileage[] = {
    {"a_log", "mileage", "300 10 3.00\n250 12.5 3.10\n400 12.5 2.90\n",
     BEST("32.0") AVERAGE("316") SPENT("105.00")},
    {"values_laid_out_anyhow", "mileage", "300\n10 3.00 250 12.5\n\n3.10 400 12.5 2.90",
     BEST("32.0") AVERAGE("316") SPENT("105.00")},
    {"no_miles", "mileage", "0 1 1 0 2 1 0 3 1", BEST("0.0") AVERAGE("0") SPENT("6.00")},
    {"negative_sum_truncates", "mileage", "-4 1 1 0 1 1 0 1 1",
     BEST("0.0") AVERAGE("-1") SPENT("3.00")},
    {"small_negative_sum", "mileage", "-2 1 1 0 1 1 0 1 1",
     BEST("0.0") AVERAGE("0") SPENT("3.00")},
    {"no_gallons_positive_miles", "mileage", "100 0 3 300 10 3 0 1 1",
     BEST("inf") AVERAGE("133") SPENT("31.00")},
    {"no_gallons_no_miles", "mileage", "0 0 3 -5 0 3 30 2 1",
     BEST("15.0") AVERAGE("8") SPENT("2.00")},
    {"sums_beyond_32_bits", "mileage", "2147483647 1 1 2147483647 1 1 2147483647 1 1",
     BEST("2147483647.0") AVERAGE("2147483647") SPENT("3.00")},
    {"products_added_in_order", "mileage", "1 -0 1 1 -0 1 1 -0 1",
     BEST("0.0") AVERAGE("1") SPENT("-0.00")},
    {"gallons_not_a_number", "mileage", "300 ten 3 250 12.5 3.10 400 12.5 2.90", NUMERIC},
    {"input_ends_early", "mileage", "300 10 3.00 250", ""},
};

INSTANTIATE_TEST_SUITE_P(Mileage, TranscriptTest, testing::ValuesIn(kMileage), RowName);

#define DAYS "Please enter the # of days you have temperatures for: "
#define DAY(n) "Enter temperature " #n ": "
#define RESULTS(hot, pleasant, cold, average)                 \
  "Total hot days: " #hot "\nTotal pleasant days: " #pleasant \
  "\nTotal cold days: " #cold "\nAverage temperature: " #average "\n"

const Transcript kDaytemps[] = {
    {"three_days", "daytemps", "3\n90\n70\n50\n",
     DAYS DAY(1) DAY(2) DAY(3) RESULTS(1, 1, 1, 70)},
    {"days_on_one_line", "daytemps", "3 90 70 50",
     DAYS DAY(1) DAY(2) DAY(3) RESULTS(1, 1, 1, 70)},
    {"class_bounds", "daytemps", "4 84 60 85 59",
     DAYS DAY(1) DAY(2) DAY(3) DAY(4) RESULTS(1, 2, 1, 72)},
    {"average_truncates", "daytemps", "2 85 86", DAYS DAY(1) DAY(2) RESULTS(2, 0, 0, 85)},
    {"negative_average_truncates", "daytemps", "2 -5 -6",
     DAYS DAY(1) DAY(2) RESULTS(0, 0, 2, -5)},
    {"negative_day_count", "daytemps", "-3 70", DAYS RESULTS(0, 0, 0, 0)},
    {"no_days", "daytemps", "0", DAYS RESULTS(0, 0, 0, 0)},
    {"temperature_not_a_number", "daytemps", "2 70 warm 80",
     DAYS DAY(1) DAY(2) NUMERIC DAY(2) RESULTS(0, 2, 0, 75)},
    {"first_temperature_not_a_number", "daytemps", "1 x 1e3 90",
     DAYS DAY(1) NUMERIC DAY(1) RESULTS(0, 0, 1, 1)},
    {"day_count_not_a_number", "daytemps", "many 70", DAYS NUMERIC},
    {"total_beyond_32_bits", "daytemps", "2 2147483647 2147483647",
     DAYS DAY(1) DAY(2) RESULTS(2, 0, 0, 2147483647)},
    {"lowest_total", "daytemps", "2 -2147483648 -2147483648",
     DAYS DAY(1) DAY(2) RESULTS(0, 0, 2, -2147483648)},
    {"input_ends_before_last_day", "daytemps", "3 90 70", DAYS DAY(1) DAY(2) DAY(3)},
    {"no_input", "daytemps", "", DAYS},
};

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

INSTANTIATE_TEST_SUITE_P(Daytemps, TranscriptTest, testing::ValuesIn(kDaytemps), RowName);

}  // namespace

Tables TalliesTables() {
  return {kRollcall, kMileage, kDaytemps};
}
