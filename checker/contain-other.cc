// Systems with no namespaces or control groups (macOS, the BSDs): a row's first process
// is an ordinary child, and the runner holds what POSIX lets it (a session and process
// group, resource limits a process).
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

void Join(const Group&, pid_t) {}

double GroupSeconds(const Group&) {
  return -1;
}

GroupEnd EndGroup(Group&) {
  return {};
}

void RemoveGroups() {}

std::string KernelHolds(bool) {
  return "each row runs in its own empty folder; a process that leaves its session may "
         "outlive the run; memory bounded per process; no bound on its number of "
         "processes";
}
