// teller through a pipe, as a person at its other end meets it.
#include <gtest/gtest.h>

#include "run.h"

namespace {

#define NAME "Enter the user name (4 characters): "
#define CHOICE "Would you like to make a withdraw or deposit: "
#define DEPOSIT "Enter the amount you would like to deposit: "
#define BYE "\n GOODBYE \n\n"

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
