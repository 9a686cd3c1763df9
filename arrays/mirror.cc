// mirror: copies a five-entry array into another in reverse order.
#include <cstdint>

#include "console.h"

// Destination entry k takes source entry count - 1 - k, for k from 0 up.
void Reverse(const std::int32_t source[], std::int32_t destination[],
             std::int32_t count) {
  std::int32_t counter = count;
  for (std::int32_t k = 0; k < count; ++k) {
    destination[k] = source[counter - 1];
    --counter;
  }
}

int main(int argc, char* argv[]) {
  TakeNoArguments(argc, argv,
                  "Writes a fixed array copied in reverse; it reads nothing.");
  const std::int32_t source[5] = {1, 2, 3, 4, 5};
  std::int32_t y[5] = {0, 0, 0, 0, 0};
  Reverse(source, y, 5);
  for (std::int32_t i = 0; i < 5; ++i) PrintLine("Contents of y array #%d : %d", i, y[i]);
  return 0;
}
