// Archives a class comes in: the platform's one download and a student's own zip or
// tarball, unpacked into the checker's own folder, bounded, never beside them; and the
// zip of feedback a platform takes back.
#pragma once

#include <string>
#include <utility>
#include <vector>

// Whether the file `name` is an archive: a student's work handed in packed.
bool IsArchive(const std::string& name);

// Unpacks `archive` into `folder`, which it makes. Only plain files and folders with
// names that stay inside it, at most 16 folders deep, 10000 entries and `most` bytes
// in all; "" when done, else why not, in one line (what was unpacked stays).
std::string Unpack(const std::string& archive, const std::string& folder,
                   unsigned long long most);

// A zip at `path` holding each (name, bytes); "" when written, else why not.
std::string WriteZip(const std::string& path,
                     const std::vector<std::pair<std::string, std::string>>& files);
