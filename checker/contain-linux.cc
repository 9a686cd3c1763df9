// What Linux holds for a row: namespaces of its own (its processes, mounts, network,
// and a user namespace where the checker is not root), so that its first process's end
// ends them all and it sees the files read-only but for its scratch folder; and control
// groups, where they can be made, for its memory, its number of processes and its
// processor time.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#ifdef __has_include
#if __has_include(<linux/mount.h>)
#include <linux/mount.h>
#endif
#endif
#include <sys/prctl.h>

#include "contain.h"

#ifndef MOUNT_ATTR_RDONLY
#define MOUNT_ATTR_RDONLY 0x00000001
#define MOUNT_ATTR_NOSUID 0x00000002
struct mount_attr {
  unsigned long long attr_set, attr_clr, propagation, userns_fd;
};
#endif
#ifndef AT_RECURSIVE
#define AT_RECURSIVE 0x8000
#endif
#ifndef SYS_mount_setattr
#define SYS_mount_setattr 442  // the same number on every architecture
#endif

namespace {

constexpr int kApart =
    CLONE_NEWPID | CLONE_NEWNS | CLONE_NEWNET | CLONE_NEWIPC | CLONE_NEWUTS;

// Whether rows can run apart here, learned by trying once: 1 yes, 0 no, -1 not yet.
std::atomic<int> apart_here{-1};

uid_t outer_user;
gid_t outer_group;

// Writes `text` to the file at `path`, whole; an errno value or 0.
int Put(const char* path, const char* text) {
  int fd = open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  ssize_t put = write(fd, text, std::strlen(text));
  int error = put < 0 ? errno : 0;
  close(fd);
  return error;
}

// The user outside, seen as the same user inside; nothing to do where the checker runs
// as root (no namespace of users was made).
int MapUser() {
  if (outer_user == 0) return 0;
  char map[64];
  std::snprintf(map, sizeof map, "%u %u 1", static_cast<unsigned>(outer_user),
                static_cast<unsigned>(outer_user));
  if (int error = Put("/proc/self/uid_map", map)) return error;
  if (int error = Put("/proc/self/setgroups", "deny")) return error;
  std::snprintf(map, sizeof map, "%u %u 1", static_cast<unsigned>(outer_group),
                static_cast<unsigned>(outer_group));
  return Put("/proc/self/gid_map", map);
}

int Attributes(const char* path, unsigned flags, unsigned long long set,
               unsigned long long clear) {
  mount_attr attr{};
  attr.attr_set = set;
  attr.attr_clr = clear;
  return syscall(SYS_mount_setattr, AT_FDCWD, path, flags, &attr, sizeof attr) == 0
             ? 0
             : errno;
}

// Makes every folder on the way to `path`, below `from`, which exists.
int MakeFolders(const char* from, const char* path) {
  char made[4096];
  std::size_t length = std::strlen(path);
  if (length >= sizeof made) return ENAMETOOLONG;
  std::memcpy(made, path, length + 1);
  for (std::size_t at = std::strlen(from) + 1; at <= length; ++at) {
    if (made[at] != '/' && made[at] != '\0') continue;
    char kept = made[at];
    made[at] = '\0';
    if (mkdir(made, 0755) != 0 && errno != EEXIST) return errno;
    made[at] = kept;
  }
  return 0;
}

int Tmpfs(const char* path, const char* options) {
  return mount("suitecheck", path, "tmpfs", MS_NOSUID | MS_NODEV, options) == 0 ? 0
                                                                                : errno;
}

int StartApart(void*) {
  const char* step = "";
  char place[] = "/tmp";
  View view{.scratch = place,
            .scratch_bytes = 1 << 16,
            .hidden = "",
            .own = "",
            .checker = place,
            .writable = "",
            .visible = ""};
  _exit(NarrowView(view, &step) == 0 ? 0 : 1);
}

}  // namespace

pid_t Clone(int (*child)(void*), void* arg, int flags) {
  constexpr std::size_t kStack = std::size_t{1} << 18;
  void* stack = mmap(nullptr, kStack, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
  if (stack == MAP_FAILED) return -1;
  // The child has a copy of this memory, stack and all: the mapping here can go.
  pid_t pid = clone(child, static_cast<char*>(stack) + kStack, flags | SIGCHLD, arg);
  int error = errno;
  munmap(stack, kStack);
  errno = error;
  return pid;
}

namespace {

// Whether a row can run apart here: one try, with the view narrowed as a row's is.
bool ApartHere() {
  int known = apart_here.load();
  if (known >= 0) return known == 1;
  outer_user = getuid();
  outer_group = getgid();
  int flags = kApart | (outer_user != 0 ? CLONE_NEWUSER : 0);
  pid_t pid = Clone(StartApart, nullptr, flags);
  int status = 1;
  if (pid > 0) {
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  bool apart = pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  apart_here = apart ? 1 : 0;
  return apart;
}

// The folder of this process's group in the hierarchy mounted with `option` (a
// controller, or "" for the unified one), "" where there is none to use.
std::string OwnGroupFolder(const std::string& option) {
  std::ifstream mounts("/proc/self/mountinfo");
  std::string mount_point, root;
  bool unified = option.empty();
  for (std::string line; std::getline(mounts, line);) {
    std::istringstream words(line);
    std::string id, parent, device, here, at, options, word;
    words >> id >> parent >> device >> here >> at >> options;
    while (words >> word && word != "-") {
    }
    std::string type, source, super;
    words >> type >> source >> super;
    if (unified ? type != "cgroup2"
                : type != "cgroup" ||
                      ("," + super + ",").find("," + option + ",") == std::string::npos) {
      continue;
    }
    mount_point = at;
    root = here;
  }
  if (mount_point.empty()) return "";
  std::ifstream groups("/proc/self/cgroup");
  for (std::string line; std::getline(groups, line);) {
    std::size_t first = line.find(':');
    std::size_t second = line.find(':', first + 1);
    if (second == std::string::npos) continue;
    std::string names = line.substr(first + 1, second - first - 1);
    if (unified ? !names.empty()
                : ("," + names + ",").find("," + option + ",") == std::string::npos) {
      continue;
    }
    std::string path = line.substr(second + 1);
    if (root != "/" && path.starts_with(root)) path = path.substr(root.size());
    return mount_point + (path == "/" ? "" : path);
  }
  return "";
}

bool Write(const std::string& path, const std::string& text) {
  return Put(path.c_str(), text.c_str()) == 0;
}

std::string Read(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The number after `key` in a file of "key value" lines; 0 where none.
long long Counter(const std::string& path, const std::string& key) {
  std::istringstream lines(Read(path));
  std::string name;
  long long value = 0;
  while (lines >> name >> value) {
    if (name == key) return value;
  }
  return 0;
}

// The checker's own group in each hierarchy, under its own group there, made once;
// the rows' groups go beneath it.
struct Hierarchies {
  std::string memory, pids, cpu;
  bool unified = false;
};

// Kept to the end, past the destructors, for the removal at exit to read.
const Hierarchies& Own() {
  static const Hierarchies& own = *[] {
    auto* made_here = new Hierarchies;
    Hierarchies& made = *made_here;
    std::string name = "/suitecheck-" + std::to_string(getpid());
    auto make = [&](const std::string& top) -> std::string {
      if (top.empty() || (mkdir((top + name).c_str(), 0755) != 0 && errno != EEXIST))
        return "";
      return top + name;
    };
    std::atexit(RemoveGroups);  // as the checker ends, once the rows' groups are gone
    if (std::string v1 = OwnGroupFolder("memory"); !v1.empty()) {
      made.memory = make(v1);
      made.pids = make(OwnGroupFolder("pids"));
      made.cpu = make(OwnGroupFolder("cpuacct"));
      return made_here;
    }
    // One hierarchy: the controllers must be given to the rows' groups by a group that
    // holds no process of its own, such as the checker's.
    std::string top = make(OwnGroupFolder(""));
    if (top.empty()) return made_here;
    made.unified = true;
    made.cpu = top;  // cpu.stat is there without the controller
    std::string controllers = Read(top + "/cgroup.controllers");
    bool memory = controllers.find("memory") != std::string::npos;
    bool pids = controllers.find("pids") != std::string::npos;
    if (memory && Write(top + "/cgroup.subtree_control", "+memory")) made.memory = top;
    if (pids && Write(top + "/cgroup.subtree_control", "+pids")) made.pids = top;
    return made_here;
  }();
  return own;
}

std::atomic<unsigned> groups_made{0};

}  // namespace

pid_t Spawn(int (*child)(void*), void* arg, bool apart, bool* held) {
  *held = apart && ApartHere();
  if (!*held) return Clone(child, arg, 0);
  return Clone(child, arg, kApart | (outer_user != 0 ? CLONE_NEWUSER : 0));
}

int NarrowView(const View& view, const char** step) {
  *step = "map the user";
  if (int error = MapUser()) return error;
  *step = "make its mounts its own";
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return errno;
  // Held open: they may stand inside a folder about to be hidden.
  int writable = -1;
  int visible = -1;
  *step = "find its own folders";
  if (*view.writable) {
    writable = open(view.writable, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (writable < 0) return errno;
  }
  if (*view.visible) {
    visible = open(view.visible, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (visible < 0) return errno;
  }
  int own = -1;
  if (*view.own) {
    *step = "find its own folder";
    own = open(view.own, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (own < 0) return errno;
  }
  *step = "hide the checker's folder";
  if (int error = Tmpfs(view.checker, "mode=0755")) return error;
  if (int error = MakeFolders(view.checker, view.scratch)) return error;
  *step = "make its scratch folder";
  char options[64];
  std::snprintf(options, sizeof options, "mode=0700,size=%zu", view.scratch_bytes);
  if (int error = Tmpfs(view.scratch, options)) return error;
  if (*view.hidden && *view.own) {
    *step = "hide the other submissions";
    if (int error = Tmpfs(view.hidden, "mode=0755")) return error;
    // No memory is taken here: a child of many threads may not.
    const char* name = std::strrchr(view.own, '/');
    char inside[4096];
    char from[64];
    std::snprintf(inside, sizeof inside, "%s/%s", view.hidden,
                  name ? name + 1 : view.own);
    std::snprintf(from, sizeof from, "/proc/self/fd/%d", own);
    if (mkdir(inside, 0755) != 0) return errno;
    if (mount(from, inside, nullptr, MS_BIND | MS_REC, nullptr) != 0) return errno;
  }
  if (own >= 0) close(own);
  *step = "keep its own folders in sight";
  for (auto [fd, path] : {std::pair{writable, view.writable}, {visible, view.visible}}) {
    if (fd < 0) continue;
    char from[64];
    std::snprintf(from, sizeof from, "/proc/self/fd/%d", fd);
    if (int error = MakeFolders("", path)) return error;
    if (mount(from, path, nullptr, MS_BIND, nullptr) != 0) return errno;
    close(fd);
  }
  *step = "make the files read-only";
  if (int error = Attributes("/", AT_RECURSIVE, MOUNT_ATTR_RDONLY | MOUNT_ATTR_NOSUID, 0))
    return error;
  if (int error = Attributes(view.scratch, 0, 0, MOUNT_ATTR_RDONLY)) return error;
  if (*view.writable) {
    if (int error = Attributes(view.writable, 0, 0, MOUNT_ATTR_RDONLY)) return error;
  }
  // Its own processes alone; where the system refuses a new /proc, the old one shows
  // other processes, none of which it can reach from its own namespace.
  mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr);
  return 0;
}

void AdoptOrphans() {
  prctl(PR_SET_CHILD_SUBREAPER, 1);
}

double ProgramSeconds(pid_t first) {
  std::string path =
      "/proc/" + std::to_string(first) + "/task/" + std::to_string(first) + "/children";
  pid_t program = 0;
  std::ifstream(path) >> program;
  clockid_t clock;
  timespec used{};
  if (program <= 0 || clock_getcpuclockid(program, &clock) != 0 ||
      clock_gettime(clock, &used) != 0) {
    return -1;
  }
  return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
}

Group MakeGroup(std::size_t memory, int processes) {
  const Hierarchies& own = Own();
  std::string name = "/" + std::to_string(groups_made++);
  Group group;
  group.unified = own.unified;
  auto make = [&](const std::string& top) -> std::string {
    if (top.empty() || mkdir((top + name).c_str(), 0755) != 0) return "";
    return top + name;
  };
  group.cpu = make(own.cpu);
  if (own.unified) {
    group.memory = own.memory.empty() ? "" : group.cpu;
    group.pids = own.pids.empty() ? "" : group.cpu;
  } else {
    group.memory = make(own.memory);
    group.pids = make(own.pids);
  }
  std::string bytes = memory ? std::to_string(memory) : "max";
  if (!group.memory.empty()) {
    if (own.unified) {
      Write(group.memory + "/memory.max", bytes);
      Write(group.memory + "/memory.swap.max", "0");
    } else if (memory) {
      Write(group.memory + "/memory.limit_in_bytes", bytes);
      Write(group.memory + "/memory.memsw.limit_in_bytes", bytes);
    }
  }
  if (!group.pids.empty() && processes > 0)
    Write(group.pids + "/pids.max", std::to_string(processes));
  return group;
}

void Join(const Group& group, pid_t pid) {
  std::string number = std::to_string(pid);
  for (const std::string* folder : {&group.memory, &group.pids, &group.cpu}) {
    if (!folder->empty()) Write(*folder + "/cgroup.procs", number);
  }
}

double GroupSeconds(const Group& group) {
  if (group.cpu.empty()) return -1;
  if (group.unified) {
    return static_cast<double>(Counter(group.cpu + "/cpu.stat", "usage_usec")) / 1e6;
  }
  long long nanoseconds = -1;
  std::ifstream(group.cpu + "/cpuacct.usage") >> nanoseconds;
  return nanoseconds < 0 ? -1 : static_cast<double>(nanoseconds) / 1e9;
}

GroupEnd EndGroup(Group& group) {
  GroupEnd end;
  std::string any = !group.pids.empty() ? group.pids : group.cpu;
  if (!any.empty()) {
    // A process may start another while the last are ended: again until none is left.
    if (group.unified) Write(any + "/cgroup.kill", "1");
    for (int round = 0; round < 1000; ++round) {
      std::istringstream procs(Read(any + "/cgroup.procs"));
      bool left = false;
      for (pid_t pid; procs >> pid;) {
        left = true;
        kill(pid, SIGKILL);
      }
      if (!left) break;
      usleep(1000);
    }
  }
  if (!group.memory.empty()) {
    end.out_of_memory =
        Counter(group.memory + (group.unified ? "/memory.events" : "/memory.oom_control"),
                "oom_kill") > 0;
  }
  if (!group.pids.empty()) end.too_many = Counter(group.pids + "/pids.events", "max") > 0;
  // A folder is removed once its last process has been reaped; a moment for that.
  for (const std::string* folder : {&group.memory, &group.pids, &group.cpu}) {
    for (int round = 0; !folder->empty() && round < 200; ++round) {
      if (rmdir(folder->c_str()) == 0 || errno == ENOENT) break;
      usleep(1000);
    }
  }
  return end;
}

void RemoveGroups() {
  for (const std::string* folder : {&Own().memory, &Own().pids, &Own().cpu}) {
    if (!folder->empty()) rmdir(folder->c_str());
  }
}

std::string KernelHolds(bool apart) {
  const Hierarchies& own = Own();
  std::string held;
  if (apart && ApartHere()) {
    held =
        "each row runs apart: its own empty folder, the files read-only, other "
        "submissions hidden, no network, its processes ended with it";
  } else {
    held = std::string("each row runs in its own empty folder") +
           (apart ? "" : " (under wine the files and network stay in reach)") +
           (own.pids.empty() && own.cpu.empty()
                ? "; a process that leaves its session may outlive the run"
                : "; its processes ended with it");
  }
  held += own.memory.empty() ? "; memory bounded per process" : "";
  held += own.pids.empty() ? "; no bound on its number of processes" : "";
  return held;
}
