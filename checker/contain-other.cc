// Systems with no namespaces or control groups (macOS, the BSDs): a row's first process
// is an ordinary child, and the runner holds what POSIX lets it (a session and process
// group, resource limits a process and a user).
#include <grp.h>
#include <unistd.h>

#include "contain.h"

pid_t Spawn(int (*child)(void*), void* arg, bool, bool* held) {
  *held = false;
  pid_t pid = fork();
  if (pid == 0) _exit(child(arg));
  return pid;
}

pid_t Clone(int (*child)(void*), void* arg, int) {
  pid_t pid = fork();
  if (pid == 0) _exit(child(arg));
  return pid;
}

int NarrowView(const View&, const char**) {
  return 0;
}

void AdoptOrphans() {}

double ProgramSeconds(pid_t) {
  return -1;
}

Group MakeGroup(std::size_t, int) {
  return {};
}

bool Join(const Group&, pid_t) {
  return true;
}

double GroupSeconds(const Group&) {
  return -1;
}

GroupEnd EndGroup(Group&) {
  return {};
}

void RemoveGroups() {}

bool BecomeUser(uid_t id) {
  return setgroups(0, nullptr) == 0 && setresgid(id, id, id) == 0 &&
         setresuid(id, id, id) == 0;
}

bool ApartHere() {
  return false;
}

bool GroupsBoundMemory() {
  return false;
}

bool GroupsBoundProcesses() {
  return false;
}

void SweepGroups() {}

void Exec(int, char* const* argv, char* const* envp) {
  execve(argv[0], argv, envp);
}

Tally TallyRow(pid_t, bool, long) {
  return {};
}

int RowWaitsToRead(pid_t) {
  return -1;
}

int ProcessesOf(long) {
  return 0;
}
