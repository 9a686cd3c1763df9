// What Linux holds for a row apart: namespaces of its own (its processes, mounts,
// network, and a user namespace where the checker is not root), so that its first
// process's end ends them all, and a view of the files of its own: the system's
// programs, its submission and an empty folder, read-only but that folder.
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

void Exec(int fd, char* const* argv, char* const* envp) {
  // A script started so would name its file by a descriptor closed on exec.
  if (fd >= 0) fexecve(fd, argv, envp);
  execve(argv[0], argv, envp);
}
