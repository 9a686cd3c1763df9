// colsums: the column sums of a fixed table of three rows and five columns.
#include "console.h"

int main() {
  // Five columns of three entries: the entries of one column lie side by side.
  double table[5][3];
  for (int column = 0; column < 5; ++column) {
    for (int row = 0; row < 3; ++row) table[column][row] = 5 * row + column + 1;
  }
  double sums[5];
  for (int column = 0; column < 5; ++column) {
    sums[column] = table[column][0] + table[column][1] + table[column][2];
  }
  const char* lines[5] = {"Column 1 sum = %f\n", "Column 2 sum = %f\n",
                          "Column 3 sum = %f\n", "Column 4 sum = %f\n",
                          "Column 5 sum = %f\n"};
  for (int column = 0; column < 5; ++column) Print(lines[column], sums[column]);
  return 0;
}
