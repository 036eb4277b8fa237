// Child processes of vehicle-sim (the sweep's cases, sbatch, gnuplot for the report's and the
// sweep's plots): started with posix_spawn, standard input from /dev/null and standard output and
// error into one file.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace master {

// Starts argv[0] (searched in PATH when it has no '/'), in `workingFolder` unless that is empty
// (`outputFile` is opened before, relative to the caller's); throws MasterError naming it when
// it cannot be started.
pid_t spawnProcess(const std::vector<std::string>& argv, const std::filesystem::path& outputFile,
                   const std::filesystem::path& workingFolder = {});

// The processors this process may run on; vehicle-sim's own executable.
int processorCount();
std::string selfExecutable();

// Waits for the child; its exit code, or 128 + the signal that ended it.
int waitProcess(pid_t pid);
int exitCodeOf(int waitStatus);

// Runs a program to its end; its exit code.
int runProcess(const std::vector<std::string>& argv, const std::filesystem::path& outputFile,
               const std::filesystem::path& workingFolder = {});

// The last line of a text file that is not blank (a run's own error message), or empty.
// The command-line parser's closing hint ("Run with --help ...") does not count.
std::string lastLine(const std::filesystem::path& file);

}  // namespace master
