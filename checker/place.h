// The POSIX runner's own places and users, shared by its two files.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

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

// Gives `folder` to `user` for a row to write in; takes it and all in it back after.
bool Lend(const std::string& folder, long user);
void TakeBack(const std::string& folder);
// Ends every process of `user`, wherever it went.
void KillUser(long user);
