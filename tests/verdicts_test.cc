// tailpipe, tankcolor, mowtime and mowtime-basic, installfee, one run a row.
#include "transcript.h"

namespace {

#define MENU                                                                    \
  "(1) Carbon monoxide\n(2) Hydrocarbons\n(3) Nitrogen oxides\n(4) Nonmethane " \
  "hydrocarbons\n"
#define ASK                                                                       \
  MENU "Enter pollutant number>> Enter number of grams emitted per mile>> Enter " \
       "odometer reading>> "
#define WITHIN ASK "Emissions are within permitted level.\n"
#define EXCEED(limit) ASK "Emissions exceed permitted level of " limit " grams/mile.\n"

const Transcript kTailpipe[] = {
    {"co_low_at_limit", "tailpipe", "1\n3.4\n49999\n", WITHIN},
    {"co_low_above", "tailpipe", "1 3.5 49999", EXCEED("3.4")},
    {"co_high_within", "tailpipe", "1 3.5 50001", WITHIN},
    {"co_high_at_limit", "tailpipe", "1 4.2 50001", WITHIN},
    {"co_high_above", "tailpipe", "1 4.2000001 50001", EXCEED("4.2")},
    {"hc_low_at_limit", "tailpipe", "2 0.31 10000", WITHIN},
    {"hc_low_above", "tailpipe", "2 0.32 10000", EXCEED("0.31")},
    {"hc_high_at_limit", "tailpipe", "2 0.39 60000", WITHIN},
    {"hc_high_above", "tailpipe", "2 0.391 60000", EXCEED("0.39")},
    {"nox_low_at_limit", "tailpipe", "3 0.4 0", WITHIN},
    {"nox_low_above", "tailpipe", "3 0.45 0", EXCEED("0.4")},
    {"nox_high_within", "tailpipe", "3 0.45 75000", WITHIN},
    {"nox_high_above", "tailpipe", "3 0.51 75000", EXCEED("0.5")},
    {"nmhc_low_at_limit", "tailpipe", "4 0.25 20000", WITHIN},
    {"nmhc_low_above", "tailpipe", "4 0.26 20000", EXCEED("0.25")},
    {"nmhc_high_within", "tailpipe", "4 0.3 60000", WITHIN},
    {"nmhc_high_above", "tailpipe", "4 0.32 60000", EXCEED("0.31")},
    {"reading_50000_is_low_mileage", "tailpipe", "1 3.5 50000", EXCEED("3.4")},
    {"reading_50000_within", "tailpipe", "2 0.31 50000", WITHIN},
    {"negative_reading_is_low_mileage", "tailpipe", "4 0.26 -5", EXCEED("0.25")},
    {"negative_rate", "tailpipe", "1 -3 10", WITHIN},
    {"pollutant_0", "tailpipe", "0 9 10", ASK},
    {"pollutant_5", "tailpipe", "5 9 10", ASK},
    {"pollutant_minus_1", "tailpipe", "-1 9 10", ASK},
    {"pollutant_not_a_number", "tailpipe", "co 3.4 10",
     MENU "Enter pollutant number>> " NUMERIC},
    {"rate_not_a_number", "tailpipe", "1 nan 10",
     MENU "Enter pollutant number>> Enter number of grams emitted per mile>> " NUMERIC},
    {"reading_beyond_32_bits", "tailpipe", "1 3.5 3000000000", ASK NUMERIC},
    {"input_ends_early", "tailpipe", "1 3.5", ASK},
};

INSTANTIATE_TEST_SUITE_P(Tailpipe, TranscriptTest, testing::ValuesIn(kTailpipe), RowName);

#define COLOUR "What is the color of the cylinder? "

const Transcript kTankcolor[] = {
    {"B", "tankcolor", "B\n", COLOUR "The cylinder contains Carbon Monoxide.\n"},
    {"b", "tankcolor", "b", COLOUR "The cylinder contains Carbon Monoxide.\n"},
    {"G", "tankcolor", "G", COLOUR "The cylinder contains Oxygen.\n"},
    {"g", "tankcolor", "g", COLOUR "The cylinder contains Oxygen.\n"},
    {"O", "tankcolor", "O", COLOUR "The cylinder contains Ammonia.\n"},
    {"o", "tankcolor", "orange", COLOUR "The cylinder contains Ammonia.\n"},
    {"Y", "tankcolor", "Yellow and more", COLOUR "The cylinder contains Hydrogen.\n"},
    {"y", "tankcolor", "y", COLOUR "The cylinder contains Hydrogen.\n"},
    {"blank_first", "tankcolor", " b", COLOUR "Contents unknown.\n"},
    {"empty_line", "tankcolor", "\n", COLOUR "Contents unknown.\n"},
    {"letter_outside_table", "tankcolor", "R", COLOUR "Contents unknown.\n"},
    {"byte_above_127", "tankcolor", "\xc2\xa2", COLOUR "Contents unknown.\n"},
    {"no_input", "tankcolor", "", COLOUR "Contents unknown.\n"},
};

INSTANTIATE_TEST_SUITE_P(Tankcolor, TranscriptTest, testing::ValuesIn(kTankcolor),
                         RowName);

#define LAWN                                                             \
  "Enter the length and width of the yard, seperated by a space: Enter " \
  "the length and width of the house, seperated by a space: "
#define GRASS(area, h, m, s)                                                       \
  LAWN "The total amount of grass to be cut is " area                              \
       " square feet.\nThe amount of "                                             \
       "time it will take to cut the grass is:\n" h " hours, " m " minutes and " s \
       " seconds.\n"
#define COVERED                                                               \
  LAWN "Your house appears to completely cover your yard. Please check your " \
       "measurements\n"

const Transcript kMowtime[] = {
    {"a_yard", "mowtime", "100 200\n30 40\n", GRASS("18800", "2", "36", "40")},
    {"odd_area_drops_half_second", "mowtime", "7201 1 0 0", GRASS("7201", "1", "0", "0")},
    {"half_an_hour", "mowtime", "60 60 0 0", GRASS("3600", "0", "30", "0")},
    {"equal_areas_pass", "mowtime", "10 20 20 10", GRASS("0", "0", "0", "0")},
    {"house_covers_yard", "mowtime", "10 10 20 20", COVERED},
    {"house_covers_yard_basic", "mowtime-basic", "10 10 20 20",
     GRASS("-300", "0", "-2", "-30")},
    {"longer_house_smaller_area", "mowtime", "10 30 5 50", GRASS("50", "0", "0", "25")},
    {"longer_house_smaller_area_basic", "mowtime-basic", "10 30 5 50",
     GRASS("50", "0", "0", "25")},
    {"wide_yard", "mowtime", "100000 100000 0 0",
     GRASS("10000000000", "1388888", "53", "20")},
    {"wide_house_basic", "mowtime-basic", "0 0 100000 100000",
     GRASS("-10000000000", "-1388888", "-53", "-20")},
    {"widest_difference_basic", "mowtime-basic",
     "-2147483648 -2147483648 -2147483648 2147483647",
     GRASS("9223372034707292160", "1281023893709346", "8", "0")},
    {"side_not_a_number", "mowtime", "10 ten 5 5",
     "Enter the length and width of the yard, seperated by a space: " NUMERIC},
    {"input_ends_early", "mowtime", "10 10 5", LAWN},
};

INSTANTIATE_TEST_SUITE_P(Mowtime, TranscriptTest, testing::ValuesIn(kMowtime), RowName);

#define JOB "Enter the number of installations: Enter the yards of cable used: "
#define REVENUE(n) JOB "The revenue generated is " n " dollars.\n\n"
#define NO_REVENUE                                                                     \
  JOB "You did not generate any revenue because you did not complete an installation " \
      ":(\n"

const Transcript kInstallfee[] = {
    {"one_installation", "installfee", "1\n0\n", REVENUE("25")},
    {"with_cable", "installfee", "4 50", REVENUE("400")},
    {"no_installation", "installfee", "0 100", NO_REVENUE},
    {"negative_installations", "installfee", "-3 10", NO_REVENUE},
    {"negative_cable", "installfee", "1 -10", REVENUE("-35")},
    {"revenue_beyond_32_bits", "installfee", "2147483647 2147483647",
     REVENUE("66571993057")},
    {"lowest_revenue", "installfee", "1 -2147483648", REVENUE("-12884901863")},
    {"installations_not_a_number", "installfee", "four 50",
     "Enter the number of installations: " NUMERIC},
    {"cable_with_a_fraction", "installfee", "4 5.5", REVENUE("130")},
    {"input_ends_early", "installfee", "4", JOB},
};

INSTANTIATE_TEST_SUITE_P(Installfee, TranscriptTest, testing::ValuesIn(kInstallfee),
                         RowName);

}  // namespace

Tables VerdictsTables() {
  return {kTailpipe, kTankcolor, kMowtime, kInstallfee};
}
