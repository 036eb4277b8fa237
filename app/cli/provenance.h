// The provenance of a run's results: what was run (the system file, each component's .fmu with
// its GUID, the cycle, each with its SHA-256), how (step, output interval, coupling scheme,
// threads, every value bound and parameter file applied), by what (vehicle-sim's version and
// source commit), when, where, and the command line that reruns it. It goes into summary.json
// under "provenance" and, as rows, at the head of summary.txt and report.html.
#pragma once

#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>
#include <vector>

#include "app/cli/run_options.h"
#include "engine/engine.h"
#include "app/report/provenance_rows.h"

namespace master::cli {

// `systemPath` absolute; `threads` as the run used them. Hashes every file it names (throws
// MasterError when one cannot be read).
nlohmann::ordered_json runProvenance(const CliOptions& options, const LoadedSystem& system,
                                     const std::filesystem::path& systemPath, double outputInterval, unsigned threads);
report::ProvenanceRows provenanceRows(const nlohmann::ordered_json& provenance);

// The words as one command a POSIX shell reads back as the same words: each quoted with '...'
// where it holds anything but letters, digits and -_./=:,+@%.
std::string shellQuoted(const std::vector<std::string>& words);

}  // namespace master::cli
