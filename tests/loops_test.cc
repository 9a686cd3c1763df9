// driprate, runcalc and flowguess, one run a row.
#include <sstream>
#include <string>

#include "transcript.h"

namespace {

#define MENU                                                       \
  "\t   GIVE A MEDICAL ORDER IN               CALCULATE RATE IN\n" \
  "\t(1)   ml/hr & tubing drop factor              drops / ml\n"   \
  "\t(2)   1 L for n hr                            ml / hr\n"      \
  "\t(3)   mg/kg/hr & concentration in mg/ml       ml / hr\n"      \
  "\t(4)   units/hr & concentration in units/ml    ml / hr\n"      \
  "\t(5)   QUIT\n"                                                 \
  "Problem=> "
#define ONE "Enter rate in ml/hr=> Enter tubing's drop factor(drops/ml)=> "
#define TWO "Enter number of hours=> "
#define THREE                                                                     \
  "Enter rate in mg/kg/hr=> Enter patient weight in kg=> Enter concentration in " \
  "mg/ml=> "
#define FOUR "Enter rate in units/hr=> Enter concentration in units/ml=> "
#define DROPS(n) "The drop rate per minute is " n "\n\n"
#define RATE(n) "The rate in milliliters per hour is " n ".\n\n"
#define BY_ZERO "Error: dividing by 0\n\n"

const Transcript kDriprate[] = {
    {"order_one", "driprate", "1\n100\n15\n5\n", MENU ONE DROPS("25") MENU},
    {"answers_on_one_line", "driprate", "1 100 15 5", MENU ONE DROPS("25") MENU},
    {"order_one_rounds_ties_to_even", "driprate", "1 125 10 1 15 10 5",
     MENU ONE DROPS("21") MENU ONE DROPS("2") MENU},
    {"order_two_truncates", "driprate", "2 8 2 7 2 1500 2 -4 5",
     MENU TWO RATE("125") MENU TWO RATE("142") MENU TWO RATE("0") MENU TWO RATE("-250")
         MENU},
    {"order_two_zero_hours", "driprate", "2 0 5", MENU TWO BY_ZERO MENU},
    {"order_three_rounds", "driprate", "3 0.5 70 2 3 1 80 3 5",
     MENU THREE RATE("18") MENU THREE RATE("27") MENU},
    {"order_three_zero_concentration", "driprate", "3 1 70 0 3 0 70 0 5",
     MENU THREE RATE("inf") MENU THREE RATE("-nan") MENU},
    {"order_four_truncates", "driprate", "4 1000 300 4 -7 2 5",
     MENU FOUR RATE("3") MENU FOUR RATE("-3") MENU},
    {"order_four_zero_concentration", "driprate", "4 5 0 5", MENU FOUR BY_ZERO MENU},
    {"order_four_smallest_over_minus_one", "driprate", "4 -2147483648 -1 5",
     MENU FOUR RATE("2147483648") MENU},
    {"other_choices_do_nothing", "driprate", "0 6 -1 5", MENU MENU MENU MENU},
    {"quit_first", "driprate", "5", MENU},
    {"choice_not_a_number", "driprate", "five 5", MENU NUMERIC MENU},
    {"choice_beyond_32_bits", "driprate", "4294967297 5", MENU NUMERIC MENU},
    {"figure_not_a_number", "driprate", "2 eight 5", MENU TWO NUMERIC MENU},
    {"figure_not_a_number_mid_order", "driprate", "3 0.5 heavy 5",
     MENU "Enter rate in mg/kg/hr=> Enter patient weight in kg=> " NUMERIC MENU},
    {"real_figure_where_integer_belongs", "driprate", "4 1000 2.5 5",
     MENU FOUR RATE("500") MENU NUMERIC MENU},
    {"input_ends_at_menu", "driprate", "", MENU},
    {"input_ends_in_order", "driprate", "1 100", MENU ONE},
    {"input_ends_after_an_order", "driprate", "2 8\n", MENU TWO RATE("125") MENU},
};

INSTANTIATE_TEST_SUITE_P(Driprate, TranscriptTest, testing::ValuesIn(kDriprate), RowName);

TEST(Driprate, MenuLinesHaveTheirLengths) {
  std::istringstream menu(MENU);
  std::string line;
  for (std::size_t length : {59u, 57u, 54u, 54u, 54u, 11u}) {
    std::getline(menu, line);
    EXPECT_EQ(line.size(), length) << line;
    if (length == 54 || length == 57) {
      EXPECT_NE(line[47], ' ') << line;  // right-hand texts start in one column
    }
  }
}

#define SO_FAR(n) "result so far is " n "\n"
#define FINAL(n) "final result is " n "\n"
#define INVALID "Error: Invalid input\n"

const Transcript kRuncalc[] = {
    {"a_run", "runcalc", "+ 5\n* 3\n- 2.5\n/ 4\n^ 2\nq 0\n",
     SO_FAR("5.0") SO_FAR("15.0") SO_FAR("12.5") SO_FAR("3.1") SO_FAR("9.8")
         FINAL("9.8")},
    {"first_pair_minus", "runcalc", "- 4 q 0", SO_FAR("-4.0") FINAL("-4.0")},
    {"first_pair_times", "runcalc", "* 7 q 0", SO_FAR("0.0") FINAL("0.0")},
    {"first_pair_power", "runcalc", "^ 0 q 0", SO_FAR("1.0") FINAL("1.0")},
    {"no_blank_needed", "runcalc", "+5 -5 --5 q0",
     SO_FAR("5.0") SO_FAR("0.0") SO_FAR("5.0") FINAL("5.0")},
    {"pairs_on_one_line", "runcalc", "+ 2 * 3\nq 0",
     SO_FAR("2.0") SO_FAR("6.0") FINAL("6.0")},
    {"quit_number_on_a_later_line", "runcalc", "+ 1 q\n\n 7", SO_FAR("1.0") FINAL("1.0")},
    {"quit_without_a_number", "runcalc", "+ 1 q x", SO_FAR("1.0") INVALID},
    {"quit_at_end_of_input", "runcalc", "q", INVALID},
    {"upper_case_q_is_no_quit", "runcalc", "Q 1 q 0",
     "Error: Invalid operator\n" FINAL("0.0")},
    {"digit_operator", "runcalc", "5 3 q 0", "Error: Invalid operator\n" FINAL("0.0")},
    {"minus_9000_is_a_number", "runcalc", "+ -9000 * -9e3 q 0",
     SO_FAR("-9000.0") SO_FAR("81000000.0") FINAL("81000000.0")},
    {"divide_by_zero", "runcalc", "+ 12.5 / 0 / -0.0 q 0",
     SO_FAR("12.5") "Error: dividing by 0\n" SO_FAR(
         "12.5") "Error: dividing by 0\n" SO_FAR("12.5") FINAL("12.5")},
    {"text_is_read_again", "runcalc", "+ abc\n5\nq 0",
     INVALID INVALID INVALID "Error: Invalid operator\n" FINAL("0.0")},
    {"input_ends_without_quit", "runcalc", "+ 1\n", SO_FAR("1.0") INVALID},
    {"input_ends_after_operator", "runcalc", "+ 1 *", SO_FAR("1.0") INVALID},
    {"no_input", "runcalc", "", INVALID},
    {"beyond_double_range", "runcalc", "+ 1e308 * 10 - 1e999 q 0",
     SO_FAR("1000000000000000010979063629440455417404923096773118463368106829031575854049"
            "11491"
            "5371633289784946888990612496697211725156115902837431400883283070091981460460"
            "31271"
            "6645029330271856974896995885590433383844661650011784268976262129451776280911"
            "95786"
            "707458122783970171784415105291802893207873272974885715430223118336.0")
         SO_FAR("inf") SO_FAR("-nan") FINAL("-nan")},
};

INSTANTIATE_TEST_SUITE_P(Runcalc, TranscriptTest, testing::ValuesIn(kRuncalc), RowName);

#define CHANNEL                                                  \
  "Enter the depth of the channel (1 to 50, whole integers): \n" \
  "Enter the width of the channel (1 to 25, whole integers): "
#define FIRST(y, q)                                                   \
  "\n\n\nAt a depth of " y " feet, the flow is " q                    \
  " cubic feet per second.\n\n"                                       \
  "Enter your initial guess (0 < guess < 10) for the water depth\n\n" \
  "when a flow of 1000.0 cubic feet per second is desired.\n"
#define GUESS "\n\nEnter guess>"
#define REPORT(y, q, d, e)                                                         \
  "\n\n\nDepth: " y " ft\tFlow: " q " cf/s\tTarget: 1000.0 cf/s\n\nDifference: " d \
  "\tError: " e " percent\n"
#define GOOD "\nGOOD GUESS!\n\n\n"
#define WRONG_CHANNEL CHANNEL "\nError: Width and Depth values incorrect\n\n"
#define TOO_DEEP "\nError: Guesses cannot exceed the depth of the channel"
#define NOT_POSITIVE "\nError: Guesses can not be 0 or negative"

const Transcript kFlowguess[] = {
    {"a_game", "flowguess", "20\n10\n10\n12\n10.73\n",
     CHANNEL FIRST("10.0", "917.3229")
         GUESS REPORT("10.000000", "917.3229", "82.6771", "8.2677")
             GUESS REPORT("12.000000", "1143.5431", "-143.5431", "-14.3543")
                 GUESS REPORT("10.730000", "999.4555", "0.5445", "0.0545") GOOD},
    {"first_report_10_by_10", "flowguess", "10 10",
     CHANNEL FIRST("5.0", "378.6167") GUESS},
    {"first_report_smallest", "flowguess", "1 1", CHANNEL FIRST("0.5", "0.8157") GUESS},
    {"first_report_largest", "flowguess", "50 25",
     CHANNEL FIRST("25.0", "10560.7701") GUESS},
    {"depth_0", "flowguess", "0 10", WRONG_CHANNEL},
    {"depth_51", "flowguess", "51 10", WRONG_CHANNEL},
    {"width_0", "flowguess", "10 0", WRONG_CHANNEL},
    {"width_26", "flowguess", "10 26", WRONG_CHANNEL},
    {"both_wrong", "flowguess", "-1 99", WRONG_CHANNEL},
    {"guess_equal_to_depth", "flowguess", "1 1 1",
     CHANNEL FIRST("0.5", "0.8157")
         GUESS REPORT("1.000000", "1.9763", "998.0237", "99.8024") GUESS},
    {"guesses_refused", "flowguess", "20 10 20.001 0 -1 10.73",
     CHANNEL FIRST("10.0", "917.3229")
         GUESS TOO_DEEP GUESS NOT_POSITIVE GUESS NOT_POSITIVE GUESS REPORT(
             "10.730000", "999.4555", "0.5445", "0.0545") GOOD},
    {"hint_is_no_test", "flowguess", "5 25 6",
     CHANNEL FIRST("2.5", "419.1044") GUESS TOO_DEEP GUESS},
    {"fraction_of_width_is_first_guess", "flowguess", "20 10.5 10.73",
     CHANNEL FIRST("10.0", "917.3229")
         GUESS REPORT("0.500000", "12.1514", "987.8486", "98.7849")
             GUESS REPORT("10.730000", "999.4555", "0.5445", "0.0545") GOOD},
    {"depth_not_a_number", "flowguess", "deep 10",
     "Enter the depth of the channel (1 to 50, whole integers): " NUMERIC},
    {"fraction_of_depth_meets_width_read", "flowguess", "20.5 10", CHANNEL NUMERIC},
    {"guess_not_a_number", "flowguess", "20 10 nan inf 10.73",
     CHANNEL FIRST("10.0", "917.3229") GUESS NUMERIC GUESS NUMERIC GUESS REPORT(
         "10.730000", "999.4555", "0.5445", "0.0545") GOOD},
    {"no_input", "flowguess", "",
     "Enter the depth of the channel (1 to 50, whole integers): "},
    {"input_ends_before_width", "flowguess", "20", CHANNEL},
    {"input_ends_in_game", "flowguess", "20 10 10",
     CHANNEL FIRST("10.0", "917.3229")
         GUESS REPORT("10.000000", "917.3229", "82.6771", "8.2677") GUESS},
};

INSTANTIATE_TEST_SUITE_P(Flowguess, TranscriptTest, testing::ValuesIn(kFlowguess),
                         RowName);

}  // namespace

Tables LoopsTables() {
  return {kDriprate, kRuncalc, kFlowguess};
}
