// What the kernel can hold for a row beyond what every POSIX system gives: on Linux,
// namespaces (the row's processes, a view of the files of its own, no network) and
// control groups (its memory, its number of processes, its processor time, ending them
// all), else a count of the row's processes read from outside; elsewhere none of it,
// and the runner holds what POSIX lets it (contain-other.cc).
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

// Makes the calling process `id`, user and group, with no other group: by the kernel's
// calls themselves, for the C library's would wait on threads that a process cloned
// from many threads has only in its copy of their list.
bool BecomeUser(uid_t id);

// Whether rows can have namespaces of their own here: tried once, by the first call,
// which is made before any worker starts.
bool ApartHere();

// What a row may see of the files, set up in its first process when it is apart: the
// system's programs and libraries, the few files of /etc that they read, /dev/null,
// zero and urandom, a /proc of its own processes read-only, its scratch folder, and
// what `readable` names; nothing else, and nothing of it writable but `scratch` and
// `writable`. Built in `root`, an empty folder, which becomes its /.
struct View {
  const char* root;
  const char* scratch;  // an empty file system of its own, at this path
  std::size_t scratch_bytes;
  long user, group;             // the scratch folder's owner; -1: the checker
  const char* const* readable;  // paths, ending in nullptr
  const char* writable;         // a folder it may write besides ("" for none)
};
// Maps the user where a namespace of users was needed and builds the view. 0, or the
// errno value of the step named in `*step`.
int NarrowView(const View& view, const char** step);

// Where no namespace holds a row's processes: the row's first process becomes the
// parent of every orphan among them, so that none is adopted out of reach.
void AdoptOrphans();

// Starts the program whose file is open at `fd` (opened before the row changed user,
// so that the folders on its way need not be open to that user), else at `argv[0]`.
void Exec(int fd, char* const* argv, char* const* envp);

// The processor time the program that `first` started has used so far; -1 where the
// system does not say.
double ProgramSeconds(pid_t first);

// A control group a row, where one can be made: the row's processes' memory, number and
// processor time, counted and bounded by the kernel, and all of them ended at once.
struct Group {
  std::string memory, pids, cpu;  // its folder in each hierarchy, "" where none
  bool unified = false;           // one hierarchy for all (cgroup v2)
  std::string failed;             // the step that could not be made, and why
};
// Whether groups can be made here for memory and for processes; learned once.
bool GroupsBoundMemory();
bool GroupsBoundProcesses();
Group MakeGroup(std::size_t memory, int processes);
// Puts `pid` in the group before it starts anything; false where it could not.
bool Join(const Group& group, pid_t pid);
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
// Removes the groups of checkers that were killed before they could.
void SweepGroups();

// A row's processes as read from outside, where no group counts them: those of its
// namespace where it has one, else those of `user` where it runs as a user of its own,
// else those of its first process's session.
struct Tally {
  int processes = 0;
  double seconds = -1;     // of processor, with those ended; -1 where not read
  std::size_t memory = 0;  // resident, together
};
Tally TallyRow(pid_t first, bool apart, long user);
// Whether `first`, or a process it started, sleeps in a read of its standard input: 1
// where one does, 0 where none does or one is running, -1 where the system does not say
// (its calls not to be read, or a wait on several descriptors).
int RowWaitsToRead(pid_t first);
// How many processes of `user` there are now, zombies aside.
int ProcessesOf(long user);
