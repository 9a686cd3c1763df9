// mowtime: how long mowing a yard around a house takes, at 2 square feet a second.
// Built twice: mowtime first checks that the house does not cover the yard,
// mowtime-basic does not.
#include <cstdint>

#include "console.h"

#ifndef MOWTIME_CHECKS_COVER
#define MOWTIME_CHECKS_COVER 1
#endif

int main(int argc, char* argv[]) {
  constexpr bool kChecksCover = MOWTIME_CHECKS_COVER;
  TakeNoArguments(
      argc, argv,
      kChecksCover ? "Times the mowing of a yard around a house, asked on standard input."
                   : "Times mowing a yard around a house, asked on standard input; no "
                     "cover check.");
  std::int32_t yard_length = 0;
  std::int32_t yard_width = 0;
  std::int32_t house_length = 0;
  std::int32_t house_width = 0;
  if (!AskOrQuit("Enter the length and width of the yard, seperated by a space: ",
                 yard_length, yard_width))
    return 0;
  if (!AskOrQuit("Enter the length and width of the house, seperated by a space: ",
                 house_length, house_width))
    return 0;

  // 64 bits hold any product of two 32-bit sides, and any difference of two of them.
  std::int64_t yard_area = std::int64_t{yard_length} * yard_width;
  std::int64_t house_area = std::int64_t{house_length} * house_width;
  std::int64_t grass_area = yard_area - house_area;
  std::int64_t mowing_seconds = grass_area / 2;
  std::int64_t total_minutes = mowing_seconds / 60;
  std::int64_t hours = total_minutes / 60;
  std::int64_t minutes = total_minutes - total_minutes / 60 * 60;
  std::int64_t seconds = mowing_seconds - mowing_seconds / 60 * 60;

  if (kChecksCover && yard_area < house_area) {
    WriteLine(
        "Your house appears to completely cover your yard. Please check your "
        "measurements");
    return 0;
  }
  Print("The total amount of grass to be cut is %d square feet.\n", grass_area);
  WriteLine("The amount of time it will take to cut the grass is:");
  Print("%d hours, %d minutes and %d seconds.\n", hours, minutes, seconds);
  return 0;
}
