// pairmath, patchwork, birthtrick, pocketchange and thermo, one run a row.
#include "transcript.h"

namespace {

#define PAIR(sum, difference, product, quotient)                                 \
  "Enter an integer: Enter another integer: The sum of your two numbers is " sum \
  ".\nThe difference between your two numbers is " difference                    \
  ".\nThe product of your two numbers is " product                               \
  ".\nThe quotient of your two numbers (rounded to hundredths) is " quotient ".\n"

const Transcript kPairmath[] = {
    {"seven_and_two", "pairmath", "7\n2\n", PAIR("9", "5", "14", "3.50")},
    {"order_matters", "pairmath", "2 7", PAIR("9", "-5", "14", "0.29")},
    {"fractions", "pairmath", "2.5 0.5", PAIR("3", "2", "1", "5.00")},
    {"ties_round_to_even", "pairmath", "0.5 2", PAIR("2", "-2", "1", "0.25")},
    {"by_zero", "pairmath", "5 0", PAIR("5", "5", "0", "inf")},
    {"negative_by_zero", "pairmath", "-5 0", PAIR("-5", "-5", "-0", "-inf")},
    {"zero_by_zero", "pairmath", "0 0", PAIR("0", "0", "0", "-nan")},
    {"first_not_a_number", "pairmath", "seven 2", "Enter an integer: " NUMERIC},
    {"second_not_a_number", "pairmath", "7 .",
     "Enter an integer: Enter another integer: " NUMERIC},
    {"input_ends_early", "pairmath", "7", "Enter an integer: Enter another integer: "},
};

INSTANTIATE_TEST_SUITE_P(Pairmath, TranscriptTest, testing::ValuesIn(kPairmath), RowName);

#define QUILT                                                                           \
  "Enter integer diameter of the Quilt in feet: Enter the fabric cost per square foot " \
  "(in "                                                                                \
  "cents): Enter the number of people sewing the quilt: "
#define PRICED(area, circumference, total, each)                                    \
  QUILT "The area of the quilt is " area                                            \
        " square feet.\nThe circumference of the quilt "                            \
        "is " circumference " square feet.\nThe total cost for the quilt is " total \
        " cents.\nThe cost per person is " each " cents.\n"

const Transcript kPatchwork[] = {
    {"ten_feet", "patchwork", "10\n5\n2\n", PRICED("78.54", "31.42", "1502", "751")},
    {"odd_diameter_loses_half", "patchwork", "11 5 2",
     PRICED("78.54", "31.42", "1502", "751")},
    {"three_feet", "patchwork", "3 1 1", PRICED("3.14", "6.28", "225", "225")},
    {"no_radius", "patchwork", "1 5 2", PRICED("0.00", "0.00", "0", "0")},
    {"negative_rounds_up", "patchwork", "-5 5 2",
     PRICED("12.57", "-12.57", "-380", "-190")},
    {"no_people", "patchwork", "10 5 0", PRICED("78.54", "31.42", "1502", "inf")},
    {"nothing_among_nobody", "patchwork", "0 5 0", PRICED("0.00", "0.00", "0", "-nan")},
    {"widest_quilt", "patchwork", "2147483647 0 1",
     PRICED("3622010121675818496.00", "6746519589.89", "238009606806", "238009606806")},
    {"diameter_with_a_point", "patchwork", "10.5 5 2",
     "Enter integer diameter of the Quilt in feet: Enter the fabric cost per square foot "
     "(in "
     "cents): " NUMERIC},
    {"input_ends_early", "patchwork", "10 5", QUILT},
};

INSTANTIATE_TEST_SUITE_P(Patchwork, TranscriptTest, testing::ValuesIn(kPatchwork),
                         RowName);

#define TRICK                                                                          \
  "Here is a clever number juggling trick.\n\nEnter the year of your birth (positive " \
  "4-digit integer): Enter your current age (positive integer): "
#define JUGGLED(n)                                              \
  TRICK "... and after juggling the numbers, the result is: " n \
        "\nIsn't that "                                         \
        "amazing?\n"

const Transcript kBirthtrick[] = {
    {"a_birth_year", "birthtrick", "1990\n35\n", JUGGLED("1990.35")},
    {"age_0", "birthtrick", "1990 0", JUGGLED("1990.00")},
    {"age_spills_over", "birthtrick", "1900 105", JUGGLED("1901.05")},
    {"negative_age", "birthtrick", "1990 -5", JUGGLED("1989.95")},
    {"short_year", "birthtrick", "85 30", JUGGLED("85.30")},
    {"largest_year", "birthtrick", "2147483647 99", JUGGLED("2147483647.99")},
    {"smallest_year", "birthtrick", "-2147483648 0", JUGGLED("-2147483648.00")},
    {"year_with_a_point", "birthtrick", "1990.5 30", TRICK NUMERIC},
    {"input_ends_early", "birthtrick", "1990",
     "Here is a clever number juggling trick.\n\nEnter the year of your birth (positive "
     "4-digit integer): Enter your current age (positive integer): "},
};

INSTANTIATE_TEST_SUITE_P(Birthtrick, TranscriptTest, testing::ValuesIn(kBirthtrick),
                         RowName);

#define COINS "How many pennies: How many nickels: How many dimes: "
#define WORTH(n) COINS "Your collection is worth:\n $" n "\n"

const Transcript kPocketchange[] = {
    {"a_handful", "pocketchange", "3\n2\n1\n", WORTH("0.23")},
    {"on_one_line", "pocketchange", "3 2 1", WORTH("0.23")},
    {"no_coins", "pocketchange", "0 0 0", WORTH("0.00")},
    {"pennies_only", "pocketchange", "150 0 0", WORTH("1.50")},
    {"negative_pennies", "pocketchange", "-5 0 0", WORTH("-0.05")},
    {"half_a_penny", "pocketchange", "0.5 0 0", WORTH("0.01")},
    {"dimes_not_a_number", "pocketchange", "1 1 ten", COINS NUMERIC},
    {"input_ends_early", "pocketchange", "1 1", COINS},
};

INSTANTIATE_TEST_SUITE_P(Pocketchange, TranscriptTest, testing::ValuesIn(kPocketchange),
                         RowName);

#define CELSIUS(n)                                                                       \
  "Enter the temperature in degrees Fahrenheit: Your temperature in degrees Celsius: " n \
  "\n"

const Transcript kThermo[] = {
    {"boiling", "thermo", "212\n", CELSIUS("100.000000")},
    {"freezing", "thermo", "32", CELSIUS("0.000000")},
    {"minus_40", "thermo", "-40", CELSIUS("-40.000000")},
    {"body", "thermo", "98", CELSIUS("36.666667")},
    {"zero", "thermo", "0", CELSIUS("-17.777778")},
    {"fraction_is_not_read", "thermo", "98.6", CELSIUS("36.666667")},
    {"coldest", "thermo", "-2147483648", CELSIUS("-1193046488.888889")},
    {"not_a_number", "thermo", "hot",
     "Enter the temperature in degrees Fahrenheit: " NUMERIC},
    {"no_input", "thermo", "", "Enter the temperature in degrees Fahrenheit: "},
};

INSTANTIATE_TEST_SUITE_P(Thermo, TranscriptTest, testing::ValuesIn(kThermo), RowName);

}  // namespace

Tables FormulasTables() {
  return {kPairmath, kPatchwork, kBirthtrick, kPocketchange, kThermo};
}
