// A Windows student's program with one fault, chosen by the name of its folder: the
// faults the Windows checker must name as the Linux one does (CI builds it with MinGW).
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <string>
int main() {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path = self;
  std::string folder = path.substr(0, path.find_last_of('\\'));
  std::string who = folder.substr(folder.find_last_of('\\') + 1);
  if (who == "crash") { volatile int* p = nullptr; return *p; }
  if (who == "divide") { volatile int z = 0; return 1 / z; }
  if (who == "loop") { for (volatile int i = 0;; i = i + 1) {} }
  if (who == "wait") { Sleep(100000); }
  if (who == "flood") { for (;;) std::fputs("yyyyyyyyyyyyyyyy\n", stdout); }
  if (who == "memory") { std::vector<char*> kept; for (;;) { char* p = (char*)std::malloc(1 << 24); if (!p) return 3; std::memset(p, 1, 1 << 24); kept.push_back(p); } }
  if (who == "minus") return -1;
  if (who == "child") {
    STARTUPINFOA si{}; si.cb = sizeof si; PROCESS_INFORMATION pi{};
    char line[] = "cmd /c ping -n 100 127.0.0.1";
    CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    return 0;
  }
  return 0;
}
