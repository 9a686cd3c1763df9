// What the kernel can hold for a row beyond what every POSIX system gives: on Linux,
// namespaces (the row's processes, its view of the files, no network) and control
// groups (its memory, its number of processes, its processor time, ending them all);
// elsewhere none of it, and the runner holds what POSIX lets it (contain-other.cc).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

// Starts `child(arg)` as a new process. Where `apart` and the system allows, the
// process is the first of namespaces of its own (processes, mounts, network, and the
// rest), so that every process it starts ends with it; `*held` says whether it is.
// -1 where no process could be started.
pid_t Spawn(int (*child)(void*), void* arg, bool apart, bool* held);

// Starts `child(arg)` as a new process with `flags` of clone's, and none of the C
// library's handlers for a fork: safe in a child of many threads, which may not take
// the locks they take.
pid_t Clone(int (*child)(void*), void* arg, int flags);

// What a row may see of the files, set up in its first process when it is apart.
struct View {
  const char* scratch;  // the one folder it may write: an empty file system of its own
  std::size_t scratch_bytes;
  const char* hidden;    // a folder whose content it may not see ("" for none) ...
  const char* own;       // ... but for this one inside it ("" for none)
  const char* checker;   // the checker's own folder: hidden, but for `scratch`
  const char* writable;  // a folder it may write besides ("" for none)
  const char* visible;   // a folder it may read, wherever it stands ("" for none)
};
// Maps the user where a namespace of users was needed, makes the whole file system
// read-only but the scratch folder, hides what it must, and shows only the row's own
// processes. 0, or the errno value of the step named in `*step`.
int NarrowView(const View& view, const char** step);

// Where no namespace holds a row's processes: the row's first process becomes the
// parent of every orphan among them, so that none is adopted out of reach.
void AdoptOrphans();

// The processor time the program that `first` started has used so far; -1 where the
// system does not say.
double ProgramSeconds(pid_t first);

// A control group a row, where one can be made: the row's processes' memory, number and
// processor time, counted and bounded by the kernel, and all of them ended at once.
struct Group {
  std::string memory, pids, cpu;  // its folder in each hierarchy, "" where none
  bool unified = false;           // one hierarchy for all (cgroup v2)
};
Group MakeGroup(std::size_t memory, int processes);
// Puts `pid` in the group before it starts anything.
void Join(const Group& group, pid_t pid);
// The processor seconds its processes have used, -1 where not counted.
double GroupSeconds(const Group& group);
struct GroupEnd {
  bool out_of_memory = false;
  bool too_many = false;  // processes
};
// Ends every process still in it, says which bound it met, and removes it.
GroupEnd EndGroup(Group& group);

// Removes the checker's own groups, once the rows' are gone.
void RemoveGroups();

// What held for the rows on this system, in words, for the first line of a report:
// `apart` whether the rows were to run apart (not so under wine).
std::string KernelHolds(bool apart);
