// The POSIX runner's own places and users, and what a row's first process is given
// and tells, shared by its files.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "contain.h"
#include "runner.h"

// Rows running at once at the most, and so users a range holds.
constexpr std::size_t kSlots = 256;

// The users the rows run as: where the checker may change user, `first` + the row's
// slot, user and group alike; else the checker's own (`own` false). Learned once.
struct Users {
  bool own = false;
  long first = -1;
};
const Users& RowUsers();

// The checker's own folder under the system's temporary one, held while it lives, open
// to no one else: a folder a row inside it. Made on first use, removed at exit; ""
// where it cannot be made.
const std::string& Workplace();
// Removes `path` and all in it, a folder the program closed to its owner included.
void Clear(const std::filesystem::path& path);
// Removes the private folders and control groups of checkers that were killed.
void SweepLeftovers();

// An unlinked file holding `input` in `folder`, read from its start; -1 where none can
// be made.
int InputFile(const std::string& folder, std::string_view input);

// Gives `folder` to `user` for a row to write in; takes it and all in it back after.
bool Lend(const std::string& folder, long user);
void TakeBack(const std::string& folder);
// Ends every process of `user`, wherever it went.
void KillUser(long user);

// What the row's first process tells the checker, in one write.
struct Told {
  // kStarted comes first, once the program is started; then one of the others.
  enum Stage { kEnded, kStarted, kNotStarted, kNotApart, kNotBounded } stage = kEnded;
  int error = 0;               // with all but kEnded
  int status = 0;              // with kEnded
  long long microseconds = 0;  // of processor time the program used
  char step[64] = {};          // with kNotApart and kNotBounded
};

// All the row's first process needs, made before it starts.
struct Start {
  char* const* argv;
  char* const* envp;
  int in, out, err, told, go;
  const char* scratch;
  View view;
  bool apart;
  bool memory_each;    // bound each process's memory: nothing counts them together
  int user_processes;  // the bound on its user's processes; 0 for none
  long user;           // its own user and group, -1 for the checker's
  const Bounds* bounds;
};

// The row's first process (child-posix.cc), started with a Start: it sets the row
// apart, starts the program and tells how it ended.
int First(void* arg);
