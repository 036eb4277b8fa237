#include "app/cli/rerun_command.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/cli/run_command.h"
#include "app/cli/run_options.h"
#include "app/summary_conventions.h"
#include "engine/error.h"

namespace master::cli {

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

std::string readAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The recorded arguments without those that place the results (the rerun places its own).
std::vector<std::string> withoutPlacement(const std::vector<std::string>& args, std::string& outputFile) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--force") continue;
    if (a == "--output-dir" || a == "--output-file") {
      if (i + 1 < args.size() && a == "--output-file") outputFile = args[i + 1];
      ++i;
      continue;
    }
    if (a.rfind("--output-dir=", 0) == 0) continue;
    if (a.rfind("--output-file=", 0) == 0) {
      outputFile = a.substr(14);
      continue;
    }
    out.push_back(a);
  }
  return out;
}

// The files whose SHA-256 differs between two provenance records, one line each.
std::vector<std::string> changedFiles(const json& before, const json& now) {
  std::vector<std::string> out;
  auto compare = [&](const json& a, const json& b, const std::string& what) {
    if (a.is_object() && b.is_object() && a.value("sha256", json()) != b.value("sha256", json())) {
      out.push_back(what + " changed since (SHA-256 " + a.value("sha256", json()).dump() + ", now " +
                    b.value("sha256", json()).dump() + ")");
    }
  };
  compare(before["system"], now["system"], "the system file " + before["system"].value("file", std::string()));
  const json& c0 = before["components"];
  const json& c1 = now["components"];
  for (std::size_t i = 0; c0.is_array() && c1.is_array() && i < c0.size() && i < c1.size(); ++i) {
    compare(c0[i], c1[i], "the unit of component '" + c0[i].value("name", std::string()) + "'");
  }
  compare(before["cycle"], now["cycle"], "the cycle file");
  if (before["vehicleSim"] != now["vehicleSim"]) out.push_back("vehicle-sim is another build: " + now["vehicleSim"].dump() + ", then " + before["vehicleSim"].dump());
  return out;
}

// The 1-based line where two texts first differ.
std::size_t firstDifferentLine(const std::string& a, const std::string& b) {
  std::size_t line = 1;
  for (std::size_t i = 0; i < a.size() && i < b.size() && a[i] == b[i]; ++i) line += a[i] == '\n';
  return line;
}

int rerun(const RerunOptions& o, const std::string& defaultSystem) {
  const fs::path earlier = fs::absolute(o.folder).lexically_normal();
  std::ifstream in(earlier / conventions::summary::fileName);
  if (!in) throw MasterError("'" + o.folder + "' holds no summary.json of a run");
  const json summary = json::parse(in, nullptr, false);
  if (!summary.is_object() || !summary.contains("provenance") || !summary["provenance"].contains("arguments") ||
      !summary["provenance"]["arguments"].is_array() || !summary["provenance"].contains("workingDirectory")) {
    throw MasterError("'" + (earlier / conventions::summary::fileName).string() +
                      "' records no command line to rerun (a run of an older vehicle-sim?)");
  }
  const json& before = summary["provenance"];
  fs::path target = o.outputDir.empty() ? earlier.parent_path() / (earlier.filename().string() + "-rerun")
                                        : fs::absolute(o.outputDir).lexically_normal();
  if (target == earlier) throw MasterError("the rerun needs a folder of its own, not '" + earlier.string() + "'");

  std::string outputFile = "results.csv";
  std::vector<std::string> args = withoutPlacement(before["arguments"].get<std::vector<std::string>>(), outputFile);
  const fs::path recorded = outputFile;
  const std::string newFile = outputFile == "-" || recorded.is_absolute() ? "results.csv" : outputFile;
  args.insert(args.end(), {"--output-dir", target.string(), "--output-file", newFile});

  CLI::App app;
  CliOptions options;
  addRunOptions(app, options);
  std::vector<char*> argv{const_cast<char*>("vehicle-sim")};
  for (std::string& a : args) argv.push_back(a.data());
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::ParseError& e) {
    throw MasterError("the recorded command line does not parse: " + std::string(e.what()));
  }
  options.arguments = args;
  const std::string directory = before["workingDirectory"].get<std::string>();
  if (::chdir(directory.c_str()) != 0) {
    throw MasterError("cannot go to the run's folder '" + directory + "': " + std::strerror(errno));
  }
  std::printf("vehicle-sim rerun: in %s: %s\n", directory.c_str(), before.value("command", std::string()).c_str());
  std::fflush(stdout);
  const int code = runCommand(options, defaultSystem);
  if (code != 0 && code != 2) return code;

  const json now = json::parse(readAll(target / conventions::summary::fileName), nullptr, false);
  for (const std::string& line : changedFiles(before, now.is_object() ? now.value("provenance", json()) : json())) {
    std::printf("vehicle-sim rerun: %s\n", line.c_str());
  }
  const std::string results = summary.value("results", std::string("-"));
  if (results == "-") {
    std::printf("vehicle-sim rerun: the first run wrote its results to standard output; nothing to compare\n");
    return resultsDifferExitCode;
  }
  const fs::path first = fs::path(results).is_absolute() ? fs::path(results) : earlier / results;
  const std::string a = readAll(first), b = readAll(target / newFile);
  if (a == b && !a.empty()) {
    std::printf("vehicle-sim rerun: the results are IDENTICAL: %s and %s, %zu bytes\n", first.c_str(),
                (target / newFile).c_str(), a.size());
    return 0;
  }
  std::printf("vehicle-sim rerun: the results DIFFER: %s and %s, first at line %zu\n", first.c_str(),
              (target / newFile).c_str(), firstDifferentLine(a, b));
  return resultsDifferExitCode;
}

}  // namespace

CLI::App* addRerunCommand(CLI::App& app, RerunOptions& o) {
  CLI::App* command = app.add_subcommand("rerun", "run the command recorded in a results folder again and compare");
  command->add_option("DIR", o.folder, "the results folder of the earlier run")->required();
  command->add_option("--output-dir", o.outputDir, "folder for the new results (default: DIR-rerun)");
  command->footer("Exit codes: 0 the results are identical; 3 they differ; else the run's own code.");
  return command;
}

int runRerun(const RerunOptions& o, const std::string& defaultSystem) {
  try {
    return rerun(o, defaultSystem);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vehicle-sim: %s\n", e.what());
    return 1;
  }
}

}  // namespace master::cli
