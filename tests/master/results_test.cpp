// The results file, the summary figures and the unpacking of unit archives.
#include <gtest/gtest.h>
#include <zip.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "master/csv_writer.h"
#include "master/error.h"
#include "master/fmu_archive.h"
#include "master/summary.h"
#include "tests/master/test_files.h"

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
  {
    CsvWriter csv(file, {"a", "b", "c", "d", "e", "f", "g", "h"});
    for (int row = 0; row < 50000; ++row) csv.writeRow(values, 8);  // past one buffer
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
  while (std::getline(in, line)) ++rows;
  EXPECT_EQ(rows, 50000);
  EXPECT_THROW(CsvWriter(folder.path() / "missing" / "r.csv", {"a"}), MasterError);
}

TEST(Summary, GathersTheFiguresOfARun) {
  // Columns: time, target, gear, speed, rpm, fuel, soc, bus.
  const SummaryColumns columns{0, 1, 2, 3, 4, 5, 6, 7};
  SummaryAccumulator acc(columns, 8, 3, 1.0);
  const double rows[][8] = {
      {0, 0, 1, 0, 0, 0, 100, 12.0},     {1, 36, 1, 36, 1000, 1, 99, 11.5},
      {2, 36, 2, 33, 2000, 2, 98, 11.8}, {3, 36, 2, 37, 3000, 3, 101, 12.5},
      {4, 0, 3, 36, 900, 4, 100, NAN},
  };
  for (const auto& row : rows) acc.add(row);
  Summary s;
  acc.finish(s);
  EXPECT_DOUBLE_EQ(s.distanceKm, (18 + 34.5 + 35 + 36.5) / 3600.0);
  EXPECT_EQ(s.fuelUsed, 4.0);
  EXPECT_EQ(s.finalStateOfCharge, 100.0);
  EXPECT_EQ(s.minStateOfCharge, 98.0);
  EXPECT_EQ(s.maxStateOfCharge, 101.0);
  EXPECT_EQ(s.minBusVoltage, 11.5);
  EXPECT_EQ(s.minBusVoltageTime, 1.0);
  EXPECT_DOUBLE_EQ(s.rmsSpeedError, std::sqrt((0 + 0 + 9 + 1 + 1296) / 5.0));
  EXPECT_EQ(s.maxSpeedError, 36.0);  // actual above the target
  EXPECT_EQ(s.maxErrorTime, 4.0);
  EXPECT_EQ(s.maxErrorTarget, 0.0);
  EXPECT_EQ(s.maxEngineRpm, 3000.0);
  // Each interval counts for the gear chosen at its start.
  EXPECT_EQ(s.timeInGear, (std::vector<double>{2.0, 2.0, 0.0}));
  EXPECT_EQ(s.nonFiniteValues, 1);
  s.wallSeconds = 0.5;
  s.duration = 4.0;
  EXPECT_EQ(s.realTimeFactor(), 8.0);
  const std::string text = s.text();
  EXPECT_NE(text.find("RMS"), std::string::npos);
  EXPECT_NE(text.find("non-finite values   1"), std::string::npos);
  EXPECT_NE(text.find("real-time factor 8"), std::string::npos);
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
