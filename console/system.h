// Inside the console layer: its one contact with the operating system, with one
// implementation a system (system-posix.cc, system-win32.cc) that the build picks. A
// stream is a descriptor number: 0, 1 and 2 are standard input, output and error (on
// Windows, the only ones). A failure comes back as its cause: an errno value for the
// causes the suite names, so their words are the same on every system.
#pragma once

#include <cstddef>
#include <string_view>

struct Transfer {
  std::size_t count = 0;    // the bytes read; 0 with no cause: the input has ended
  int cause = 0;            // why nothing was read, 0 where nothing failed
  bool line_ended = false;  // the end was typed with an Enter of its own, which the
                            // terminal echoed
};

// Reads what has arrived of `stream`, up to `size` bytes, waiting where nothing has:
// a stream left non-blocking reads as a blocking one.
Transfer ReadSome(int stream, char* into, std::size_t size);
// Writes all of `text`. Where the stream is not ready it waits `patience` milliseconds
// at most each time (-1: as long as it takes). 0 once all is written, or the cause.
int WriteAll(int stream, std::string_view text, int patience);
// Closes `stream`: 0, or the cause of the failure, EBADF for one that was never open.
int Close(int stream);
// Whether a person types or reads at `stream`.
bool IsTerminal(int stream);
// Whether a read of `stream` can wait for what comes next: anything but a file.
bool MayWait(int stream);
// The name the program was started by, without a folder or a suffix.
std::string_view ProgramName();
// The cause of a failure in words.
std::string_view CauseInWords(int cause);
