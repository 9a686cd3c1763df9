// teller and teller-basic, one run a row.
#include "run.h"
#include "transcript.h"

namespace {

#define NAME "Enter the user name (4 characters): "
#define CHOICE "Would you like to make a withdraw or deposit: "
#define DEPOSIT "Enter the amount you would like to deposit: "
#define WITHDRAW "Enter the amount you would like: "
#define BYE "\n GOODBYE \n\n"
#define TENS "Invalid entry: needs to be a multiple of 10\n"

const Transcript kTeller[] = {
    {"withdraw_180", "teller", "abcd w 180\n",
     NAME CHOICE WITHDRAW "You get back: \n\t3 fifty dollar bills\n"
                          "\t1 twenty dollar bill\n\t1 ten dollar bill\n" BYE},
    {"deposit_90_upper_case", "teller", "Anna\nD\n90\n",
     NAME CHOICE DEPOSIT
     "You put in: \n\t1 fifty dollar bill\n\t2 twenty dollar bills\n" BYE},
    {"blanks_before_name", "teller", "\n  \tabcd w 10",
     NAME CHOICE WITHDRAW "You get back: \n\t1 ten dollar bill\n" BYE},
    {"blank_in_name", "teller", "ab cd w 10", NAME "Invalid user name\n"},
    {"line_break_in_name", "teller", "abc\nw 10", NAME "Invalid user name\n"},
    {"digit_in_name", "teller", "ab1d w 10", NAME "Invalid user name\n"},
    {"byte_above_127_in_name", "teller",
     "ab\xe9"
     "d w 10",
     NAME "Invalid user name\n"},
    {"fifth_letter_answers_choice", "teller", "abcdx 10", NAME CHOICE "Invalid option\n"},
    {"fifth_letter_w", "teller", "abcdW70",
     NAME CHOICE WITHDRAW
     "You get back: \n\t1 fifty dollar bill\n\t1 twenty dollar bill\n" BYE},
    {"word_at_choice", "teller", "abcd withdraw", NAME CHOICE WITHDRAW NUMERIC},
    {"word_at_choice_basic", "teller-basic", "abcd withdraw",
     NAME CHOICE WITHDRAW
     "You chose not to withdraw anything today\nYou get back: \n" BYE},
    {"typed_minus_one", "teller", "abcd w -1", NAME CHOICE WITHDRAW TENS},
    {"typed_minus_one_basic", "teller-basic", "abcd w -1", NAME CHOICE WITHDRAW TENS},
    {"not_a_multiple", "teller", "abcd d 25", NAME CHOICE DEPOSIT TENS},
    {"zero_withdraw", "teller", "abcd w 0",
     NAME CHOICE WITHDRAW
     "You chose not to withdraw anything today\nYou get back: \n" BYE},
    {"zero_deposit", "teller", "abcd d 0",
     NAME CHOICE DEPOSIT "You chose not to deposit anything today\nYou put in: \n" BYE},
    {"fifty", "teller", "abcd d 50",
     NAME CHOICE DEPOSIT "You put in: \n\t1 fifty dollar bill\n" BYE},
    {"hundred", "teller", "abcd d 100",
     NAME CHOICE DEPOSIT "You put in: \n\t2 fifty dollar bills\n" BYE},
    {"sixty", "teller", "abcd d 60",
     NAME CHOICE DEPOSIT
     "You put in: \n\t1 fifty dollar bill\n\t1 ten dollar bill\n" BYE},
    {"minus_30", "teller", "abcd w -30",
     NAME CHOICE WITHDRAW
     "You get back: \n\t-1 twenty dollar bills\n\t-1 ten dollar bills\n" BYE},
    {"minus_100", "teller", "abcd w -100",
     NAME CHOICE WITHDRAW "You get back: \n\t-2 fifty dollar bills\n" BYE},
    {"smallest_multiple", "teller", "abcd w -2147483640",
     NAME CHOICE WITHDRAW "You get back: \n\t-42949672 fifty dollar bills\n"
                          "\t-2 twenty dollar bills\n" BYE},
    {"letters_end_the_amount", "teller", "abcd d 10abc",
     NAME CHOICE DEPOSIT "You put in: \n\t1 ten dollar bill\n" BYE},
    {"amount_beyond_32_bits", "teller", "abcd d 2147483650", NAME CHOICE DEPOSIT NUMERIC},
    {"amount_beyond_32_bits_basic", "teller-basic", "abcd d 2147483650",
     NAME CHOICE DEPOSIT "You chose not to deposit anything today\nYou put in: \n" BYE},
    {"no_input", "teller", "", NAME "Invalid user name\n"},
    {"input_ends_in_name", "teller", "ab", NAME "Invalid user name\n"},
    {"input_ends_before_choice", "teller", "abcd\n", NAME CHOICE "Invalid option\n"},
    {"input_ends_before_amount", "teller", "abcd w\n", NAME CHOICE WITHDRAW NUMERIC},
    {"input_ends_before_amount_basic", "teller-basic", "abcd d",
     NAME CHOICE DEPOSIT "You chose not to deposit anything today\nYou put in: \n" BYE},
};

INSTANTIATE_TEST_SUITE_P(Teller, TranscriptTest, testing::ValuesIn(kTeller), RowName);

// A person at the other end of a pipe sees each prompt before typing its answer.
TEST(Teller, EachPromptArrivesBeforeItsAnswerIsTyped) {
  Child teller = Start("teller");
  EXPECT_EQ(ReadUntil(teller, NAME, 10), NAME);
  Type(teller, "abcd\n");
  EXPECT_EQ(ReadUntil(teller, CHOICE, 10), CHOICE);
  Type(teller, "d\n");
  EXPECT_EQ(ReadUntil(teller, DEPOSIT, 10), DEPOSIT);
  Type(teller, "10\n");
  EXPECT_EQ(ReadUntil(teller, BYE, 10), "You put in: \n\t1 ten dollar bill\n" BYE);
  EXPECT_EQ(Finish(teller).status, 0);
}

}  // namespace

Tables TellerTables() {
  return {kTeller};
}
