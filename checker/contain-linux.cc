// What Linux holds for a row: namespaces of its own (its processes, mounts, network,
// and a user namespace where the checker is not root), so that its first process's end
// ends them all and it sees the files read-only but for its scratch folder; and control
// groups, where they can be made, for its memory, its number of processes and its
// processor time.
#include <dirent.h>
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
#include <string_view>
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

// `path` outside, put at the same path inside `root`, read-only later with the rest:
// a folder bound with all below it, a file bound on an empty one, a link made again.
int Show(const char* root, const char* path) {
  char inside[4096];
  if (std::snprintf(inside, sizeof inside, "%s%s", root, path) >= int{sizeof inside})
    return ENAMETOOLONG;
  struct stat there;
  if (lstat(path, &there) != 0) return errno == ENOENT ? 0 : errno;
  if (S_ISLNK(there.st_mode)) {
    char target[4096];
    ssize_t length = readlink(path, target, sizeof target - 1);
    if (length < 0) return errno;
    target[length] = '\0';
    if (int error = MakeFolders(root, inside)) return error;
    rmdir(inside);
    return symlink(target, inside) == 0 || errno == EEXIST ? 0 : errno;
  }
  if (S_ISDIR(there.st_mode)) {
    if (int error = MakeFolders(root, inside)) return error;
  } else {
    char* slash = std::strrchr(inside, '/');
    *slash = '\0';
    int error = MakeFolders(root, inside);
    *slash = '/';
    if (error) return error;
    int fd = open(inside, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 && errno != EISDIR) return errno;
    if (fd >= 0) close(fd);
  }
  return mount(path, inside, nullptr, MS_BIND | MS_REC, nullptr) == 0 ? 0 : errno;
}

// What a program needs of the system: its programs and libraries, and the files of
// /etc that the C and C++ runtimes, the compilers and Python read.
constexpr const char* kSystem[] = {"/usr",
                                   "/bin",
                                   "/sbin",
                                   "/lib",
                                   "/lib32",
                                   "/lib64",
                                   "/libx32",
                                   "/etc/alternatives",
                                   "/etc/ld.so.cache",
                                   "/etc/ld.so.conf",
                                   "/etc/ld.so.conf.d",
                                   "/etc/localtime",
                                   "/etc/nsswitch.conf",
                                   "/etc/python3",
                                   "/etc/python3.11",
                                   "/etc/python3.12",
                                   "/etc/python3.13",
                                   "/dev/null",
                                   "/dev/zero",
                                   "/dev/urandom",
                                   "/dev/random",
                                   "/dev/full",
                                   "/dev/fd",
                                   "/dev/stdin",
                                   "/dev/stdout",
                                   "/dev/stderr"};
// What /proc shows of the machine beyond the row's processes, masked as container
// runtimes mask it.
constexpr const char* kMasked[] = {"/proc/kcore",      "/proc/keys",
                                   "/proc/timer_list", "/proc/sched_debug",
                                   "/proc/kallsyms",   "/proc/sysrq-trigger"};

int StartApart(void*) {
  char root[] = "/tmp";
  char scratch[] = "/tmp/scratch";
  const char* none[] = {nullptr};
  View view{.root = root,
            .scratch = scratch,
            .scratch_bytes = 1 << 16,
            .user = -1,
            .group = -1,
            .readable = none,
            .writable = ""};
  _exit(NarrowView(view, nullptr) == 0 ? 0 : 1);
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

bool BecomeUser(uid_t id) {
  return syscall(SYS_setgroups, 0, nullptr) == 0 &&
         syscall(SYS_setresgid, id, id, id) == 0 &&
         syscall(SYS_setresuid, id, id, id) == 0;
}

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

namespace {

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

// The whole of a small file; "" where it cannot be read (a process that has ended).
std::string Read(const std::string& path) {
  std::string text;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char chunk[4096];
  for (ssize_t got; (got = read(fd, chunk, sizeof chunk)) > 0;) {
    text.append(chunk, static_cast<std::size_t>(got));
  }
  close(fd);
  return text;
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
  const char* unused = "";
  if (!step) step = &unused;
  *step = "map the user";
  if (int error = MapUser()) return error;
  *step = "make its mounts its own";
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return errno;
  *step = "make its root";
  if (int error = Tmpfs(view.root, "mode=0755,size=1m")) return error;
  *step = "show it the system's programs";
  for (const char* path : kSystem) {
    if (int error = Show(view.root, path)) return error;
  }
  *step = "show it its own files";
  for (const char* const* path = view.readable; *path; ++path) {
    if (int error = Show(view.root, *path)) return error;
  }
  if (*view.writable) {
    if (int error = Show(view.root, view.writable)) return error;
  }
  char inside[4096];
  *step = "make its scratch folder";
  std::snprintf(inside, sizeof inside, "%s%s", view.root, view.scratch);
  if (int error = MakeFolders(view.root, inside)) return error;
  char options[96];
  if (view.user >= 0) {
    std::snprintf(options, sizeof options, "mode=0700,size=%zu,uid=%ld,gid=%ld",
                  view.scratch_bytes, view.user, view.group);
  } else {
    std::snprintf(options, sizeof options, "mode=0700,size=%zu", view.scratch_bytes);
  }
  if (int error = Tmpfs(inside, options)) return error;
  *step = "give it a /proc of its own";
  std::snprintf(inside, sizeof inside, "%s/proc", view.root);
  if (mkdir(inside, 0555) != 0) return errno;
  // Where the system refuses a new /proc (a namespace of users where the machine's own
  // /proc is partly covered), none: the machine's would show the checker's processes.
  bool proc =
      mount("proc", inside, "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) == 0;
  for (const char* masked : kMasked) {
    if (!proc) break;
    char from[4096];
    std::snprintf(inside, sizeof inside, "%s%s", view.root, masked);
    std::snprintf(from, sizeof from, "%s/dev/null", view.root);
    if (access(inside, F_OK) == 0) mount(from, inside, nullptr, MS_BIND, nullptr);
  }
  *step = "make the files read-only";
  if (int error =
          Attributes(view.root, AT_RECURSIVE, MOUNT_ATTR_RDONLY | MOUNT_ATTR_NOSUID, 0)) {
    return error;
  }
  for (const char* path : {view.scratch, view.writable}) {
    if (!*path) continue;
    std::snprintf(inside, sizeof inside, "%s%s", view.root, path);
    if (int error = Attributes(inside, 0, 0, MOUNT_ATTR_RDONLY)) return error;
  }
  *step = "make its root its /";
  if (chdir(view.root) != 0) return errno;
  if (syscall(SYS_pivot_root, ".", ".") != 0) return errno;
  if (umount2(".", MNT_DETACH) != 0) return errno;
  return chdir("/") == 0 ? 0 : errno;
}

void AdoptOrphans() {
  prctl(PR_SET_CHILD_SUBREAPER, 1);
}

double ProgramSeconds(pid_t first) {
  std::string path =
      "/proc/" + std::to_string(first) + "/task/" + std::to_string(first) + "/children";
  pid_t program = std::atoi(Read(path).c_str());
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
  // Each folder and bound the first line claims is made, or the row does not start.
  auto make = [&](const std::string& top) -> std::string {
    if (top.empty()) return "";
    if (mkdir((top + name).c_str(), 0755) != 0 && group.failed.empty())
      group.failed = "make its control group: " + std::string(std::strerror(errno));
    return top + name;
  };
  auto bound = [&](const std::string& file, const std::string& value, const char* what) {
    if (!Write(file, value) && group.failed.empty())
      group.failed = std::string(what) + ": " + std::strerror(errno);
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
    // Swap too where the kernel counts it: a row may not hold its memory there.
    if (own.unified) {
      bound(group.memory + "/memory.max", bytes, "bound its memory");
      Write(group.memory + "/memory.swap.max", "0");
    } else if (memory) {
      bound(group.memory + "/memory.limit_in_bytes", bytes, "bound its memory");
      Write(group.memory + "/memory.memsw.limit_in_bytes", bytes);
    }
  }
  if (!group.pids.empty() && processes > 0)
    bound(group.pids + "/pids.max", std::to_string(processes), "bound its processes");
  return group;
}

bool Join(const Group& group, pid_t pid) {
  std::string number = std::to_string(pid);
  bool joined = true;
  for (const std::string* folder : {&group.memory, &group.pids, &group.cpu}) {
    if (!folder->empty()) joined = Write(*folder + "/cgroup.procs", number) && joined;
  }
  return joined;
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
    // Killed for it, or held at the bound (a row ended while the kernel reclaimed).
    long long failed = 0;
    if (!group.unified)
      failed = std::atoll(Read(group.memory + "/memory.failcnt").c_str());
    end.out_of_memory =
        Counter(group.memory + (group.unified ? "/memory.events" : "/memory.oom_control"),
                "oom_kill") > 0 ||
        (group.unified ? Counter(group.memory + "/memory.events", "max") : failed) > 0;
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

bool GroupsBoundMemory() {
  return !Own().memory.empty();
}

bool GroupsBoundProcesses() {
  return !Own().pids.empty();
}

void SweepGroups() {
  // A checker's groups are named by its process; one whose process is no checker's now
  // was killed before it could remove them. Its rows' processes ended with it.
  for (const char* option : {"memory", "pids", "cpuacct", ""}) {
    std::string top = OwnGroupFolder(option);
    DIR* folder = top.empty() ? nullptr : opendir(top.c_str());
    if (!folder) continue;
    while (dirent* entry = readdir(folder)) {
      std::string name = entry->d_name;
      if (!name.starts_with("suitecheck-")) continue;
      std::string pid = name.substr(11);
      std::string comm = Read("/proc/" + pid + "/comm");
      if (comm == "suitecheck\n" || pid == std::to_string(getpid())) continue;
      std::string group = top + "/" + name;
      if (DIR* rows = opendir(group.c_str())) {
        while (dirent* row = readdir(rows)) {
          if (row->d_name[0] >= '0' && row->d_name[0] <= '9') {
            Group left{.memory = group + "/" + row->d_name};
            EndGroup(left);
          }
        }
        closedir(rows);
      }
      rmdir(group.c_str());
    }
    closedir(folder);
  }
}

void Exec(int fd, char* const* argv, char* const* envp) {
  // A script started so would name its file by a descriptor closed on exec.
  if (fd >= 0) fexecve(fd, argv, envp);
  execve(argv[0], argv, envp);
}

namespace {

// The fields of /proc/PID/stat after its command, which may hold any byte.
std::vector<std::string> StatFields(const std::string& pid) {
  std::string stat = Read("/proc/" + pid + "/stat");
  std::size_t close = stat.rfind(')');
  std::vector<std::string> fields;
  if (close == std::string::npos) return fields;
  std::istringstream words(stat.substr(close + 1));
  for (std::string word; words >> word;) fields.push_back(word);
  return fields;
}

}  // namespace

Tally TallyRow(pid_t first, bool apart, long user) {
  static const double kTicks = static_cast<double>(sysconf(_SC_CLK_TCK));
  static const std::size_t kPage = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  Tally tally;
  std::string own = std::to_string(first);
  char link[64] = "";
  if (apart) {
    ssize_t length =
        readlink(("/proc/" + own + "/ns/pid").c_str(), link, sizeof link - 1);
    if (length <= 0) return tally;
    link[length] = '\0';
  }
  std::vector<std::string> firsts = StatFields(own);
  if (firsts.size() < 15) return tally;
  // What the row's ended processes used is the first process's, as their reaper.
  tally.seconds = (std::stod(firsts[13]) + std::stod(firsts[14])) / kTicks;
  DIR* proc = opendir("/proc");
  if (!proc) return tally;
  while (dirent* entry = readdir(proc)) {
    std::string pid = entry->d_name;
    if (pid.find_first_not_of("0123456789") != pid.npos || pid == own) continue;
    std::string at = "/proc/" + pid;
    if (apart) {
      char ns[64];
      ssize_t length = readlink((at + "/ns/pid").c_str(), ns, sizeof ns - 1);
      if (length <= 0 || std::string_view(ns, static_cast<std::size_t>(length)) != link)
        continue;
    } else if (user >= 0) {
      struct stat owner;
      if (stat(at.c_str(), &owner) != 0 || owner.st_uid != static_cast<uid_t>(user))
        continue;
    }
    std::vector<std::string> fields = StatFields(pid);
    // Fields from the state on: session at 3, times at 11 to 14, resident at 21.
    if (fields.size() < 22 || (!apart && user < 0 && fields[3] != own)) continue;
    ++tally.processes;
    tally.seconds += (std::stod(fields[11]) + std::stod(fields[12]) +
                      std::stod(fields[13]) + std::stod(fields[14])) /
                     kTicks;
    tally.memory += std::stoull(fields[21]) * kPage;
  }
  closedir(proc);
  return tally;
}

int ProcessesOf(long user) {
  int count = 0;
  DIR* proc = opendir("/proc");
  if (!proc) return 0;
  while (dirent* entry = readdir(proc)) {
    std::string pid = entry->d_name;
    struct stat owner;
    if (pid.find_first_not_of("0123456789") != pid.npos ||
        stat(("/proc/" + pid).c_str(), &owner) != 0 ||
        owner.st_uid != static_cast<uid_t>(user)) {
      continue;
    }
    std::vector<std::string> fields = StatFields(pid);
    count += !fields.empty() && fields[0] != "Z";
  }
  closedir(proc);
  return count;
}
