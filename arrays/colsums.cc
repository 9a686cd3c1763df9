// colsums: the column sums of a fixed table of three rows and five columns.
#include <cstdint>

#include "console.h"

int main(int argc, char* argv[]) {
  TakeNoArguments(argc, argv,
                  "Writes the column sums of a fixed table; it reads nothing.");
  // Five columns of three entries: the entries of one column lie side by side.
  double table[5][3];
  for (int column = 0; column < 5; ++column) {
    for (int row = 0; row < 3; ++row) table[column][row] = 5 * row + column + 1;
  }
  double sums[5];
  for (int column = 0; column < 5; ++column) {
    sums[column] = table[column][0] + table[column][1] + table[column][2];
  }
  for (std::int32_t column = 0; column < 5; ++column) {
    PrintLine("Column %d sum = %f", column + 1, sums[column]);
  }
  return 0;
}
