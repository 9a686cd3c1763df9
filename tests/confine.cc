// confine: runs a command as a container engine or an unprivileged person would have
// it, for the checker's tests where no container engine runs.
//
//   confine [--container] [--user ID] -- COMMAND...
//
// --container: a mount namespace of its own in which the control groups are read-only,
// then a filter that refuses every new namespace (as Docker's default seccomp profile
// does), then only Docker's default capabilities. --user ID: then that user and group,
// with no other group. Both may be given.
#include <grp.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef __x86_64__
#define ARCH_NOW AUDIT_ARCH_X86_64
#elif defined(__aarch64__)
#define ARCH_NOW AUDIT_ARCH_AARCH64
#endif

namespace {

// Docker's default set.
constexpr int kKept[] = {0 /* CHOWN */,
                         1 /* DAC_OVERRIDE */,
                         3 /* FOWNER */,
                         4 /* FSETID */,
                         5 /* KILL */,
                         6 /* SETGID */,
                         7 /* SETUID */,
                         8 /* SETPCAP */,
                         10 /* NET_BIND_SERVICE */,
                         13 /* NET_RAW */,
                         18 /* SYS_CHROOT */,
                         27 /* MKNOD */,
                         29 /* AUDIT_WRITE */,
                         31 /* SETFCAP */};

constexpr unsigned kNamespaces = CLONE_NEWNS | CLONE_NEWUTS | CLONE_NEWIPC |
                                 CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNET |
                                 CLONE_NEWCGROUP;

[[noreturn]] void Die(const char* what) {
  std::fprintf(stderr, "confine: %s: %s\n", what, std::strerror(errno));
  std::exit(1);
}

// clone and unshare with a namespace's flag, setns, and clone3 (whose flags a filter
// cannot read) refused, as a container's filter refuses them.
void RefuseNamespaces() {
#ifdef ARCH_NOW
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ARCH_NOW, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_setns, 5, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_clone3, 6, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_unshare, 1, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_clone, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
      BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, kNamespaces, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
  };
  sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]),
                     filter};
  if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) Die("seccomp");
#else
  errno = ENOSYS;
  Die("seccomp on this processor");
#endif
}

void BeContainer() {
  if (unshare(CLONE_NEWNS) != 0) Die("unshare");
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) Die("private");
  // As Docker mounts them: the groups seen, none to be made.
  mount("/sys/fs/cgroup", "/sys/fs/cgroup", nullptr, MS_BIND | MS_REC, nullptr);
  mount(nullptr, "/sys/fs/cgroup", nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr);
  FILE* mounts = std::fopen("/proc/self/mounts", "r");
  char line[4096];
  while (mounts && std::fgets(line, sizeof line, mounts)) {
    char device[1024], at[1024];
    if (std::sscanf(line, "%1023s %1023s", device, at) == 2 &&
        std::strncmp(at, "/sys/fs/cgroup/", 15) == 0) {
      mount(nullptr, at, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr);
    }
  }
  if (mounts) std::fclose(mounts);
  RefuseNamespaces();
  for (int capability = 0; capability < 64; ++capability) {
    bool kept = false;
    for (int one : kKept) kept = kept || one == capability;
    if (!kept) prctl(PR_CAPBSET_DROP, capability, 0, 0, 0);
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  int at = 1;
  bool container = false;
  long user = -1;
  for (; at < argc && std::strcmp(argv[at], "--") != 0; ++at) {
    if (std::strcmp(argv[at], "--container") == 0) {
      container = true;
    } else if (std::strcmp(argv[at], "--user") == 0 && at + 1 < argc) {
      user = std::strtol(argv[++at], nullptr, 10);
    } else {
      std::fprintf(stderr, "usage: confine [--container] [--user ID] -- COMMAND...\n");
      return 2;
    }
  }
  if (at + 1 >= argc) {
    std::fprintf(stderr, "usage: confine [--container] [--user ID] -- COMMAND...\n");
    return 2;
  }
  if (container) BeContainer();
  if (user >= 0) {
    auto id = static_cast<uid_t>(user);
    if (setgroups(0, nullptr) != 0 || setresgid(id, id, id) != 0 ||
        setresuid(id, id, id) != 0) {
      Die("setuid");
    }
  }
  execvp(argv[at + 1], argv + at + 1);
  Die(argv[at + 1]);
}
