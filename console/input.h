// Inside the console layer: the buffer over an input and the reads on any input, for
// the layer itself and for the tests that drive it on texts and pipes.
#pragma once

#include <cstdlib>
#include <memory>
#include <string_view>

#include "console.h"

// Bytes taken from a descriptor and not yet consumed. Everything from `start` on stays
// in `bytes` until a read takes it, however far a read has to look ahead.
struct Input {
  struct Free {
    void operator()(char* room) const { std::free(room); }
  };
  int fd = -1;  // -1: no descriptor, the text in `bytes` is all there is
  std::unique_ptr<char, Free> bytes;  // room for `size` bytes, those before `stop` filled
  std::size_t size = 0;
  std::size_t start = 0;
  std::size_t stop = 0;
  bool ended = false;
  bool terminal = false;  // a person types here, and sees it echoed
  bool may_wait = false;  // not a regular file: a read can wait for what comes next

  char operator[](std::size_t at) const { return bytes.get()[at]; }
};

// The one buffer over standard input that the programs read from.
Input& StandardInput();
// An input over an open descriptor, read as its bytes arrive.
Input DescriptorInput(int fd);
// An input holding just `text`, for reading a given text as if it were typed.
Input TextInput(std::string_view text);

Outcome ReadInteger(std::int32_t& value, Input& in);
Outcome ReadReal(double& value, Input& in);
Outcome ReadWord(std::string& word, Input& in);
Outcome ReadChar(char& c, Input& in);
Outcome ReadCharAfterBlanks(char& c, Input& in);
void SkipWord(Input& in);
