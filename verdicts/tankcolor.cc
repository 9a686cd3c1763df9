// tankcolor: names the gas in a cylinder from the first letter of its colour.
#include "console.h"

int main(int argc, char* argv[]) {
  TakeNoArguments(
      argc, argv,
      "Names the gas in a cylinder from its colour's initial, asked on standard input.");
  Write("What is the color of the cylinder? ");
  char colour = 0;  // the end of input leaves no letter: the contents are unknown
  ReadChar(colour);
  switch (colour) {
    case 'B':
    case 'b':
      WriteLine("The cylinder contains Carbon Monoxide.");
      break;
    case 'G':
    case 'g':
      WriteLine("The cylinder contains Oxygen.");
      break;
    case 'O':
    case 'o':
      WriteLine("The cylinder contains Ammonia.");
      break;
    case 'Y':
    case 'y':
      WriteLine("The cylinder contains Hydrogen.");
      break;
    default:
      WriteLine("Contents unknown.");
  }
  return 0;
}
