// A student's archive as the checker unpacks it: each entry that would reach past its
// folder, or past a bound, refuses the archive in one line, and a right one comes out
// byte for byte.
#include <gtest/gtest.h>

#ifdef SUITE_ARCHIVES

#include <archive.h>
#include <archive_entry.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "unpack.h"

namespace fs = std::filesystem;

namespace {

// An entry as a hostile or careless student's tool may write it.
struct Entry {
  std::string name;
  unsigned type = AE_IFREG;
  std::string bytes;  // a file's, or where a link points
  bool hard = false;
};

struct ArchiveRow {
  const char* name;
  int format;  // ARCHIVE_FORMAT_ZIP or ARCHIVE_FORMAT_TAR_PAX_RESTRICTED
  std::vector<Entry> entries;
  const char* said;  // "" for unpacked
};

const std::string kMiB(1 << 20, '\0');

const ArchiveRow kArchiveRows[] = {
    {"right_zip",
     ARCHIVE_FORMAT_ZIP,
     {{"thermo.c", AE_IFREG, "int main() {}\n"}, {"src/a.c"}},
     ""},
    {"right_tar",
     ARCHIVE_FORMAT_TAR_PAX_RESTRICTED,
     {{"hw1/", AE_IFDIR}, {"hw1/thermo.c", AE_IFREG, "x"}},
     ""},
    {"accented_name", ARCHIVE_FORMAT_ZIP, {{"José/thermo.c", AE_IFREG, "x"}}, ""},
    {"absolute",
     ARCHIVE_FORMAT_TAR_PAX_RESTRICTED,
     {{"/tmp/thermo.c"}},
     "/tmp/thermo.c leads out of the archive"},
    {"parent",
     ARCHIVE_FORMAT_ZIP,
     {{"a/../../thermo.c"}},
     "a/../../thermo.c leads out of the archive"},
    {"symbolic_link",
     ARCHIVE_FORMAT_TAR_PAX_RESTRICTED,
     {{"thermo.c", AE_IFLNK, "/etc/shadow"}},
     "thermo.c is a link"},
    {"hard_link",
     ARCHIVE_FORMAT_TAR_PAX_RESTRICTED,
     {{"a.c", AE_IFREG, "x"}, {"thermo.c", AE_IFREG, "a.c", true}},
     "thermo.c is a link"},
    {"device",
     ARCHIVE_FORMAT_TAR_PAX_RESTRICTED,
     {{"thermo.c", AE_IFCHR}},
     "thermo.c is a device or a pipe, not a file"},
    {"pipe",
     ARCHIVE_FORMAT_TAR_PAX_RESTRICTED,
     {{"thermo.c", AE_IFIFO}},
     "thermo.c is a device or a pipe, not a file"},
    {"control_byte",
     ARCHIVE_FORMAT_TAR_PAX_RESTRICTED,
     {{"thermo\x1b.c"}},
     "thermo\\x1b.c is not a name a file may have"},
    {"backslashes_read_as_slashes",
     ARCHIVE_FORMAT_ZIP,
     {{"..\\..\\thermo.c"}},
     "../../thermo.c leads out of the archive"},
    {"too_deep",
     ARCHIVE_FORMAT_TAR_PAX_RESTRICTED,
     {{"a/b/c/d/e/f/g/h/i/j/k/l/m/n/o/p/q.c"}},
     "a/b/c/d/e/f/g/h/i/j/k/l/m/n/o/p/q.c lies more than 16 folders deep"},
    {"twice",
     ARCHIVE_FORMAT_TAR_PAX_RESTRICTED,
     {{"thermo.c", AE_IFREG, "a"}, {"thermo.c", AE_IFREG, "b"}},
     "thermo.c stands twice in it"},
    {"past_the_bound",
     ARCHIVE_FORMAT_ZIP,
     {{"a.c", AE_IFREG, kMiB}, {"b.c", AE_IFREG, kMiB}},
     "unpacks past 1 MiB, and was stopped there"},
};

std::string Made(const fs::path& path, const ArchiveRow& row) {
  struct archive* writer = archive_write_new();
  archive_write_set_format(writer, row.format);
  archive_write_open_filename(writer, path.c_str());
  for (const Entry& one : row.entries) {
    struct archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, one.name.c_str());
    archive_entry_set_filetype(entry, one.type);
    archive_entry_set_perm(entry, 0644);
    if (one.hard) {
      archive_entry_set_hardlink(entry, one.bytes.c_str());
    } else if (one.type == AE_IFLNK) {
      archive_entry_set_symlink(entry, one.bytes.c_str());
    } else if (one.type == AE_IFREG) {
      archive_entry_set_size(entry, static_cast<la_int64_t>(one.bytes.size()));
    }
    archive_write_header(writer, entry);
    if (one.type == AE_IFREG && !one.hard)
      archive_write_data(writer, one.bytes.data(), one.bytes.size());
    archive_entry_free(entry);
  }
  archive_write_close(writer);
  archive_write_free(writer);
  return path.string();
}

TEST(Archive, UnpacksWithinItsFolderOrSaysWhyNot) {
  char made[] = "/tmp/suite-archive-XXXXXX";
  ASSERT_NE(mkdtemp(made), nullptr);
  fs::path dir = made;
  for (const ArchiveRow& row : kArchiveRows) {
    fs::path into = dir / row.name / "out";
    fs::create_directories(dir / row.name);
    std::string said = Unpack(Made(dir / row.name / "in", row), into.string(), 1 << 20);
    EXPECT_EQ(said, row.said) << row.name;
    // Nothing outside its folder, whatever it said.
    for (const auto& entry : fs::recursive_directory_iterator(dir / row.name)) {
      EXPECT_FALSE(fs::is_symlink(entry.symlink_status()))
          << row.name << ": " << entry.path();
    }
    if (*row.said) continue;
    for (const Entry& one : row.entries) {
      if (one.type != AE_IFREG) continue;
      std::ifstream in(into / one.name, std::ios::binary);
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), one.bytes)
          << row.name << ": " << one.name;
    }
  }
  EXPECT_FALSE(fs::exists("/tmp/thermo.c"));
  fs::remove_all(dir);
}

}  // namespace

#else

// Without libarchive the checker reads no archive, and says so: nothing to hold here.
TEST(Archive, UnpacksWithinItsFolderOrSaysWhyNot) {
  GTEST_SKIP() << "this checker was built without libarchive (Debian's libarchive-dev)";
}

#endif
