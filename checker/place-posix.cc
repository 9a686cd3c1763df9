// Where the checker keeps things on a POSIX system, and as whom rows run: its private
// folder (a folder a row inside it), swept of those a killed checker left; the users a
// row, a range taken for the run where the checker may change user; and the system's
// files and paths as the checker names them.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "contain.h"
#include "place.h"
#include "runner.h"

namespace {

// The range of ids the rows' users are taken from: far above any person's, and a
// block of `kSlots` a checker running now, held by a lock for its run.
constexpr long kFirstUser = 0x5c000000;
constexpr int kRanges = 64;

// The folder of the system's temporary files, the person's choice first.
std::string TemporaryTop() {
  const char* top = std::getenv("TMPDIR");
  return top && *top == '/' ? top : "/tmp";
}

// Takes `path` as a lock held while this process lives: false where another holds it
// or it cannot be had.
bool Hold(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;  // kept open: held till the end
  close(fd);
  return false;
}

int TryUser(void* arg) {
  auto id = static_cast<uid_t>(reinterpret_cast<long>(arg));
  _exit(BecomeUser(id) ? 0 : 1);
}

// The first of the checker's range of users, or -1 where it may not change user.
long TakeUsers() {
  for (int range = 0; range < kRanges; ++range) {
    long first = kFirstUser + range * long{kSlots};
    if (!Hold(TemporaryTop() + "/.suitecheck-users-" + std::to_string(range))) continue;
    pid_t pid = Clone(TryUser, reinterpret_cast<void*>(first), 0);
    int status = 1;
    while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? first : -1;
  }
  return -1;
}

}  // namespace

const Users& RowUsers() {
  static const Users users = [] {
    long first = TakeUsers();
    return Users{.own = first >= 0, .first = first};
  }();
  return users;
}

void Clear(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::remove_all(path, error);
  if (!error) return;
  chmod(path.c_str(), 0700);
  for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
    if (entry.is_directory(error) && !entry.is_symlink(error)) Clear(entry.path());
  }
  std::filesystem::remove_all(path, error);
}

const std::string& Workplace() {
  // Kept past the destructors, for the removal at exit to read.
  static const std::string& folder = *[] {
    auto* name = new std::string(TemporaryTop() + "/suitecheck-XXXXXX");
    // Rows of users of their own reach their own folders in it, and list nothing.
    if (!mkdtemp(name->data()) || !Hold(*name + "/.held") ||
        chmod(name->c_str(), RowUsers().own ? 0711 : 0700) != 0) {
      name->clear();
    }
    std::atexit([] {
      if (!Workplace().empty()) Clear(Workplace());
    });
    return name;
  }();
  return folder;
}

void SweepLeftovers() {
  // A checker's folder is held while it lives: one that can be held is a killed one's.
  std::string top = TemporaryTop();
  if (DIR* folder = opendir(top.c_str())) {
    while (dirent* entry = readdir(folder)) {
      std::string name = entry->d_name;
      std::string path = top + "/" + name;
      struct stat there;
      if (!name.starts_with("suitecheck-") || lstat(path.c_str(), &there) != 0 ||
          !S_ISDIR(there.st_mode) || there.st_uid != geteuid() ||
          access((path + "/.held").c_str(), F_OK) != 0) {
        continue;
      }
      int fd = open((path + "/.held").c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
      if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) Clear(path);
      if (fd >= 0) close(fd);
    }
    closedir(folder);
  }
  SweepGroups();
}

std::string ClosedToRows(const std::string& path, bool apart) {
  if (!RowUsers().own || !apart) return "";
  // Apart, a row is shown its submission's folder without the folders above it.
  std::filesystem::path at = std::filesystem::absolute(path).lexically_normal();
  std::string last = ApartHere() ? at.parent_path().string() : "/";
  for (std::filesystem::path step = at;; step = step.parent_path()) {
    struct stat there;
    if (stat(step.c_str(), &there) != 0) return "";
    mode_t needed =
        S_ISDIR(there.st_mode) ? S_IXOTH | (step == at ? S_IROTH : 0) : S_IROTH;
    if ((there.st_mode & needed) != needed) return step.string();
    if (step.string() == last || step == step.parent_path()) return "";
  }
}

bool Lend(const std::string& folder, long user) {
  // The folder and what the compiler leaves in it, its user's while it writes there.
  return chown(folder.c_str(), static_cast<uid_t>(user), static_cast<gid_t>(user)) == 0;
}

void TakeBack(const std::string& folder) {
  std::error_code error;
  lchown(folder.c_str(), geteuid(), getegid());
  chmod(folder.c_str(), 0755);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error)) {
    lchown(entry.path().c_str(), geteuid(), getegid());
  }
}

void KillUser(long user) {
  // Only a process of that user may signal all of its processes at once; kill(-1)
  // says nothing of whether any was its user's, so the processes are counted.
  for (int round = 0; round < 100 && ProcessesOf(user) > 0; ++round) {
    pid_t pid = Clone(
        [](void* arg) -> int {
          auto id = static_cast<uid_t>(reinterpret_cast<long>(arg));
          if (BecomeUser(id)) kill(-1, SIGKILL);
          _exit(0);
        },
        reinterpret_cast<void*>(user), 0);
    int status = 0;
    while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (round > 0) usleep(1000);
  }
}

// An unlinked file holding `input` in `folder`, read from its start; -1 where none can
// be made.
int InputFile(const std::string& folder, std::string_view input) {
  std::string name = folder + "/input";
  int fd = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  unlink(name.c_str());
  while (!input.empty()) {
    ssize_t put = write(fd, input.data(), input.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      close(fd);
      return -1;
    }
    input.remove_prefix(static_cast<std::size_t>(put));
  }
  lseek(fd, 0, SEEK_SET);
  return fd;
}

FileKind KindOf(const std::string& path) {
  struct stat file;
  if (stat(path.c_str(), &file) != 0) return FileKind::kMissing;
  if (S_ISDIR(file.st_mode)) return FileKind::kFolder;
  return access(path.c_str(), X_OK) == 0 ? FileKind::kProgram : FileKind::kNotExecutable;
}

std::string ProgramFile(const std::string& name) {
  return name;
}

std::string InFolder(const std::string& folder, const std::string& name) {
  return folder + (folder.ends_with('/') ? "" : "/") + name;
}

std::string OwnFolder() {
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string(".") : self.parent_path().string();
}

std::vector<std::string> Arguments(int argc, char* argv[]) {
  return {argv + 1, argv + argc};
}

std::string Quoted(const std::string& word) {
  if (!word.empty() &&
      word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                             "0123456789_-./:=+,@%") == word.npos) {
    return word;
  }
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string DefaultPath() {
  char path[256] = "/usr/bin:/bin";
  confstr(_CS_PATH, path, sizeof path);
  return path;
}

std::string PathSeparator() {
  return ":";
}

std::string Found(const std::string& name) {
  if (name.find('/') != name.npos) return access(name.c_str(), X_OK) == 0 ? name : "";
  const char* person = std::getenv("PATH");
  std::string folders = DefaultPath() + ":" + (person ? person : "");
  for (std::size_t at = 0; at <= folders.size();) {
    std::size_t end = std::min(folders.find(':', at), folders.size());
    std::string path = folders.substr(at, end - at) + "/" + name;
    if (end > at && KindOf(path) == FileKind::kProgram) return path;
    at = end + 1;
  }
  return "";
}

std::string Identity(const std::string& path) {
  struct stat file {};
  stat(path.c_str(), &file);
  return std::to_string(file.st_size) + " " + std::to_string(file.st_mtime);
}

std::string PrivateFolder() {
  return Workplace();
}

std::string CacheFolder() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  if (cache && *cache == '/') return std::string(cache) + "/suitecheck";
  // Root's home is closed to the rows' users, who build and start what is kept.
  if (RowUsers().own) return "/var/cache/suitecheck";
  if (home && *home == '/') return std::string(home) + "/.cache/suitecheck";
  return Workplace() + "/cache";
}

std::string WriteNew(const std::string& path, const std::string& text) {
  static std::atomic<unsigned> made{0};
  std::string temporary =
      path + ".suitecheck-" + std::to_string(getpid()) + "-" + std::to_string(made++);
  int fd =
      open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return "";
  std::string_view left = text;
  while (!left.empty()) {
    ssize_t put = write(fd, left.data(), left.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    left.remove_prefix(static_cast<std::size_t>(put));
  }
  int error = left.empty() ? 0 : errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0) return temporary;
  unlink(temporary.c_str());
  errno = error;
  return "";
}

long long Lock(const std::string& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  while (flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      close(fd);
      return -1;
    }
  }
  return fd;
}

void Unlock(long long held) {
  if (held >= 0) close(static_cast<int>(held));
}

bool ContainmentRefused() {
  return !ApartHere() && !RowUsers().own;
}

std::string HeldInWords(bool contained) {
  bool apart = contained && ApartHere();
  bool own = contained && RowUsers().own;
  std::string held;
  if (!contained) {
    held =
        "each row runs as you in its own empty folder (under wine the files and "
        "network stay in reach)";
  } else if (apart) {
    held = std::string("each row runs apart") +
           (own ? ", as a user of its own" : ", as you") +
           ": it sees the system's programs, its own submission and an empty folder, "
           "only that folder writable; no network; its processes ended with it";
  } else if (own) {
    held =
        "each row runs as a user of its own, with no namespaces here: files that "
        "every user may read stay in its reach; its processes ended with it";
  } else {
    held =
        "each row runs as you, with no namespaces here: your files are in its "
        "reach; a process that leaves its session may outlive the run";
  }
  held += GroupsBoundMemory() ? "; memory bounded for the row by a control group"
                              : "; memory bounded per process and summed by the checker";
  held += GroupsBoundProcesses() ? "; processes bounded by a control group"
          : own                  ? "; processes bounded per user"
                                 : "; processes counted by the checker";
  return held;
}
