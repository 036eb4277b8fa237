// The results file and the unpacking of unit archives.
#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>

#include "engine/csv_writer.h"
#include "engine/error.h"
#include "engine/fmu_archive.h"
#include "tests/support/test_files.h"

namespace master {
namespace {

namespace fs = std::filesystem;
using master_test::readAll;
using master_test::TempFolder;

TEST(CsvWriter, WritesEveryDoubleSoThatItReadsBackExactly) {
  TempFolder folder;
  const fs::path file = folder.path() / "r.csv";
  const double values[] = {0.1 + 0.2, -0.0, 1e-310, 6.02214076e23, 1.0 / 3.0,
                           std::numeric_limits<double>::infinity(), std::nan(""), 596.3100000000001};
  // Every third row changes a sign of zero and shortens a number: a column's text is taken over
  // from the row before only for the very same bits.
  double changed[8];
  std::copy(std::begin(values), std::end(values), changed);
  changed[1] = 0.0;
  changed[7] = 5.0;
  {
    CsvWriter csv(file, {"a", "b", "c", "d", "e", "f", "g", "h"});
    for (int row = 0; row < 50000; ++row) csv.writeRow(row % 3 == 1 ? changed : values, 8);  // past one buffer
    csv.close();
  }
  std::istringstream in(readAll(file));
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "a,b,c,d,e,f,g,h");
  std::getline(in, line);
  EXPECT_EQ(line, "0.30000000000000004,-0,1e-310,6.02214076e+23,0.3333333333333333,inf,nan,596.3100000000001");
  std::istringstream fields(line);
  std::string field;
  for (double v : values) {
    std::getline(fields, field, ',');
    const double back = std::strtod(field.c_str(), nullptr);
    if (std::isnan(v)) {
      EXPECT_TRUE(std::isnan(back));
    } else {
      EXPECT_EQ(std::memcmp(&back, &v, sizeof v), 0) << field;
    }
  }
  int rows = 1;
  for (; std::getline(in, line); ++rows) {
    if (rows % 3 == 1) {
      EXPECT_EQ(line, "0.30000000000000004,0,1e-310,6.02214076e+23,0.3333333333333333,inf,nan,5");
    }
  }
  EXPECT_EQ(rows, 50000);
  EXPECT_THROW(CsvWriter(folder.path() / "missing" / "r.csv", {"a"}), MasterError);
}

void writeZip(const fs::path& file, const std::vector<std::pair<std::string, std::string>>& entries) {
  int error = 0;
  zip_t* z = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(z, nullptr);
  for (const auto& [name, content] : entries) {
    if (name.back() == '/') {
      zip_dir_add(z, name.c_str(), ZIP_FL_ENC_UTF_8);
      continue;
    }
    zip_source_t* source = zip_source_buffer(z, content.data(), content.size(), 0);
    ASSERT_GE(zip_file_add(z, name.c_str(), source, ZIP_FL_ENC_UTF_8), 0);
  }
  ASSERT_EQ(zip_close(z), 0);
}

TEST(FmuArchive, UnpacksIntoAPrivateFolderThatItRemoves) {
  TempFolder folder;
  const fs::path archive = folder.path() / "Unit.fmu";
  writeZip(archive, {{"modelDescription.xml", "<fmiModelDescription/>"},
                     {"resources/", ""},
                     {"binaries/linux64/Unit.so", std::string("\x7f" "ELF", 4)}});
  fs::path root;
  {
    const ExtractedFmu fmu(archive);
    root = fmu.root();
    EXPECT_NE(root, folder.path());
    EXPECT_EQ(readAll(fmu.modelDescriptionFile()), "<fmiModelDescription/>");
    EXPECT_TRUE(fs::is_directory(fmu.resourcesFolder()));
    EXPECT_EQ(fs::file_size(fmu.binaryFile("Unit")), 4u);
  }
  EXPECT_FALSE(fs::exists(root));
}

TEST(FmuArchive, RefusesMissingDamagedAndEscapingArchives) {
  TempFolder folder;
  auto expectError = [](const fs::path& file, const char* expected) {
    try {
      const ExtractedFmu fmu(file);
      ADD_FAILURE() << "accepted " << file;
    } catch (const MasterError& e) {
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
    }
  };
  expectError(folder.path() / "Missing.fmu", "does not exist");
  const fs::path text = folder.path() / "Text.fmu";
  std::ofstream(text) << "not a zip archive";
  expectError(text, "is not a valid .fmu (zip) archive");
  const fs::path escaping = folder.path() / "Escaping.fmu";
  writeZip(escaping, {{"modelDescription.xml", "x"}, {"../../evil.txt", "x"}});
  expectError(escaping, "would land outside");
  // Nothing of the refused archive is left behind.
  for (const auto& entry : fs::directory_iterator(fs::temp_directory_path())) {
    if (entry.path().filename().string().rfind("vehicle-sim-", 0) == 0) {
      EXPECT_FALSE(fs::exists(entry.path() / "modelDescription.xml") && fs::exists(entry.path() / "evil.txt"));
    }
  }
}

TEST(FmuArchive, EncodesTheResourceFolderAsAFileUri) {
  EXPECT_EQ(fileUri("/tmp/vehicle-sim-Ab3/resources"), "file:///tmp/vehicle-sim-Ab3/resources");
  EXPECT_EQ(fileUri("/my dir/100%/r"), "file:///my%20dir/100%25/r");
}

}  // namespace
}  // namespace master
