// Crafted archives the unpacking refuses before it writes them out: entries that escape the
// folder or link out of it, more entries or bytes than the limits allow, and an entry whose
// declared size lies. A refused archive leaves no folder behind.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <zip.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/error.h"
#include "engine/fmu_archive.h"
#include "tests/support/test_files.h"

namespace master {
namespace {

namespace fs = std::filesystem;
using master_test::readAll;
using master_test::TempFolder;

struct CraftedEntry {
  std::string name;
  std::string content;
  mode_t mode = S_IFREG | 0644;
};

void writeArchive(const fs::path& file, const std::vector<CraftedEntry>& entries) {
  int error = 0;
  zip_t* z = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(z, nullptr);
  for (const CraftedEntry& e : entries) {
    zip_source_t* source = zip_source_buffer(z, e.content.data(), e.content.size(), 0);
    const zip_int64_t index = zip_file_add(z, e.name.c_str(), source, ZIP_FL_ENC_UTF_8);
    ASSERT_GE(index, 0) << e.name;
    ASSERT_EQ(zip_file_set_external_attributes(z, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX,
                                               static_cast<zip_uint32_t>(e.mode) << 16), 0);
  }
  ASSERT_EQ(zip_close(z), 0);
}

// Rewrites the uncompressed size that the archive's only entry declares, in its local header and
// in the central directory.
void declareSize(const fs::path& file, std::uint32_t size) {
  std::string bytes = readAll(file);
  auto patch = [&](const char* signature, std::size_t offset) {
    const std::size_t at = bytes.find(signature, 0, 4);
    ASSERT_NE(at, std::string::npos);
    for (int i = 0; i < 4; ++i) bytes[at + offset + i] = static_cast<char>((size >> (8 * i)) & 0xff);
  };
  patch("PK\x03\x04", 22);
  patch("PK\x01\x02", 24);
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

// Unpacking in a temporary folder of its own, so that what a refusal leaves behind is seen.
class FmuArchiveHardening : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("TMPDIR");
    if (old != nullptr) oldTemp_ = old;
    hadTemp_ = old != nullptr;
    setenv("TMPDIR", temp_.path().c_str(), 1);
  }
  void TearDown() override {
    if (hadTemp_) setenv("TMPDIR", oldTemp_.c_str(), 1);
    else unsetenv("TMPDIR");
  }

  // Expects the archive refused with its name, the entry and the reason, and nothing unpacked.
  void expectRefused(const std::vector<CraftedEntry>& entries, const std::string& entry, const std::string& reason,
                     const ArchiveLimits& limits = {}, std::uint32_t declared = 0) {
    const fs::path archive = files_.path() / "Crafted.fmu";
    writeArchive(archive, entries);
    if (declared != 0) declareSize(archive, declared);
    try {
      const ExtractedFmu fmu(archive, "unit", limits);
      ADD_FAILURE() << "unpacked; expected " << reason;
    } catch (const MasterError& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find(archive.string()), std::string::npos) << message;
      EXPECT_NE(message.find(entry), std::string::npos) << message;
      EXPECT_NE(message.find(reason), std::string::npos) << message;
    }
    EXPECT_TRUE(fs::is_empty(temp_.path())) << "left behind: " << fs::directory_iterator(temp_.path())->path();
  }

  TempFolder temp_, files_;
  std::string oldTemp_;
  bool hadTemp_ = false;
};

TEST_F(FmuArchiveHardening, RefusesEntriesThatEscapeTheFolderOrAreNoPlainFiles) {
  const CraftedEntry description{"modelDescription.xml", "<fmiModelDescription/>"};
  expectRefused({description, {"/tmp/evil.so", "x"}}, "'/tmp/evil.so'", "would land outside the archive's folder");
  expectRefused({description, {"resources/../../evil.so", "x"}}, "'resources/../../evil.so'", "would land outside");
  expectRefused({description, {"resources/passwd", "/etc/passwd", S_IFLNK | 0777}}, "'resources/passwd'",
                "is a symbolic link");
  expectRefused({description, {"resources/fifo", "", S_IFIFO | 0644}}, "'resources/fifo'", "is a special file");
  expectRefused({description, {"resources/a.txt", "1"}, {"resources/./a.txt", "2"}}, "'resources/./a.txt'",
                "is named twice");
  expectRefused({description, {"resources", "a file"}, {"resources/a.txt", "1"}}, "'resources/a.txt'",
                "cannot be unpacked");
}

TEST_F(FmuArchiveHardening, RefusesArchivesThatUnpackBeyondTheLimitsBeforeWritingThem) {
  const std::string megabyte(1 << 20, '\0');
  const ArchiveLimits small{3, 1 << 20, 3 << 19};
  const CraftedEntry description{"modelDescription.xml", "<fmiModelDescription/>"};
  expectRefused({description, {"a", "1"}, {"b", "2"}, {"c", "3"}}, "4 entries", "at most 3 are unpacked", small);
  expectRefused({description, {"resources/big.bin", megabyte + "!"}}, "'resources/big.bin'",
                "unpacks to 1048577 bytes; an entry may unpack to at most 1048576", small);
  expectRefused({{"one.bin", megabyte}, {"two.bin", megabyte}}, "'two.bin'", "takes the archive past 1572864", small);
  // A zip bomb with the default limits: its declared 3 GiB refused before a byte is unpacked.
  expectRefused({{"bomb.bin", megabyte}}, "'bomb.bin'", "unpacks to 3221225472 bytes", {}, 3u << 30);
  // Declared sizes lie: an entry is cut off once it unpacks past what it declares.
  expectRefused({{"liar.bin", megabyte}}, "'liar.bin'", "unpacks to more than the 100 bytes it declares", {}, 100);
}

TEST_F(FmuArchiveHardening, UnpacksWhatTheLimitsAllow) {
  const fs::path archive = files_.path() / "Fits.fmu";
  writeArchive(archive, {{"modelDescription.xml", "<fmiModelDescription/>"}, {"resources/", "", S_IFDIR | 0755},
                         {"resources/data.bin", std::string(1000, 'x')}});
  const ExtractedFmu fmu(archive, "unit", ArchiveLimits{3, 1000, 1022});
  EXPECT_EQ(fs::file_size(fmu.resourcesFolder() / "data.bin"), 1000u);
}

}  // namespace
}  // namespace master
