// What Linux counts of a row: control groups, where they can be made, for its memory,
// its number of processes and its processor time, ending them all at once; else its
// processes read from /proc, those of its namespace, its user or its session.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "contain.h"

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

// Writes `text` to the file at `path`, whole.
bool Write(const std::string& path, const std::string& text) {
  int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  ssize_t put = write(fd, text.data(), text.size());
  int error = errno;
  close(fd);
  errno = error;
  return put == static_cast<ssize_t>(text.size());
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
            std::string path = group + "/" + row->d_name;
            Group left{.memory = path, .pids = path, .cpu = path};
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

namespace {

// The fields of a process's or thread's stat (in /proc/PID or /proc/PID/task/TID)
// after its command, which may hold any byte.
std::vector<std::string> FieldsAt(const std::string& folder) {
  std::string stat = Read(folder + "/stat");
  std::size_t close = stat.rfind(')');
  std::vector<std::string> fields;
  if (close == std::string::npos) return fields;
  std::istringstream words(stat.substr(close + 1));
  for (std::string word; words >> word;) fields.push_back(word);
  return fields;
}

std::vector<std::string> StatFields(const std::string& pid) {
  return FieldsAt("/proc/" + pid);
}

// What the thread whose folder is `task` sleeps in, as its system call tells where
// the checker may read it: 1 a read of its standard input, -1 a wait on several
// descriptors (which may be that read's), or its call not to be read; 0 else.
int ReadsInput(const std::string& task) {
  long number = -1;
  unsigned long fd = 1;
  std::string call = Read(task + "/syscall");
  if (std::sscanf(call.c_str(), "%ld 0x%lx", &number, &fd) != 2) return -1;
  for (long reads : {
#ifdef SYS_readv
           static_cast<long>(SYS_readv),
#endif
           static_cast<long>(SYS_read)}) {
    if (number == reads) return fd == 0 ? 1 : 0;
  }
  for (long waits : {
#ifdef SYS_poll
           static_cast<long>(SYS_poll),
#endif
#ifdef SYS_select
           static_cast<long>(SYS_select),
#endif
           static_cast<long>(SYS_ppoll), static_cast<long>(SYS_pselect6),
           static_cast<long>(SYS_epoll_pwait)}) {
    if (number == waits) return -1;
  }
  return 0;
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
    tally.memory += static_cast<std::size_t>(std::stoull(fields[21])) * kPage;
  }
  closedir(proc);
  return tally;
}

int RowWaitsToRead(pid_t first) {
  std::vector<std::string> pids = {std::to_string(first)};
  bool busy = false, unknown = false;
  // From the first process down (itself asleep in a wait for the program, not a read),
  // each thread of each; a row of thousands is not read through.
  for (std::size_t at = 0; at < pids.size() && pids.size() < 4096; ++at) {
    std::string tasks = "/proc/" + pids[at] + "/task";
    DIR* folder = opendir(tasks.c_str());
    if (!folder) continue;
    while (dirent* entry = readdir(folder)) {
      if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
      std::string task = tasks + "/" + entry->d_name;
      std::istringstream children(Read(task + "/children"));
      for (std::string child; children >> child;) pids.push_back(child);
      std::vector<std::string> fields = FieldsAt(task);
      if (fields.empty()) continue;
      int reads = fields[0] == "S" ? ReadsInput(task) : 0;
      if (reads > 0) {
        closedir(folder);
        return 1;
      }
      unknown = unknown || reads < 0;
      busy = busy || fields[0] == "R" || fields[0] == "D";
    }
    closedir(folder);
  }
  return busy || !unknown ? 0 : -1;
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
