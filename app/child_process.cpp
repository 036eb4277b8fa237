#include "app/child_process.h"

#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "engine/error.h"

extern char** environ;

namespace master {

pid_t spawnProcess(const std::vector<std::string>& argv, const std::filesystem::path& outputFile,
                   const std::filesystem::path& workingFolder) {
  std::vector<std::string> args = argv;
  std::vector<char*> pointers;
  for (std::string& a : args) pointers.push_back(a.data());
  pointers.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string output = outputFile.string();
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  if (!workingFolder.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
  pid_t pid = 0;
  const int error = argv.front().find('/') == std::string::npos
                        ? posix_spawnp(&pid, args.front().c_str(), &actions, nullptr, pointers.data(), environ)
                        : posix_spawn(&pid, args.front().c_str(), &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw MasterError("cannot run '" + argv.front() + "': " + std::strerror(error));
  return pid;
}

int processorCount() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set);
  return 1;
}

std::string selfExecutable() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

int exitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 1;
}

int waitProcess(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw MasterError("lost track of child process " + std::to_string(pid));
  }
  return exitCodeOf(status);
}

int runProcess(const std::vector<std::string>& argv, const std::filesystem::path& outputFile,
               const std::filesystem::path& workingFolder) {
  return waitProcess(spawnProcess(argv, outputFile, workingFolder));
}

std::string lastLine(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line, last;
  while (std::getline(in, line)) {
    // The command-line parser's hint after its own message says nothing about the failure.
    if (line.rfind("Run with --help", 0) == 0) continue;
    if (line.find_first_not_of(" \t\r") != std::string::npos) last = line;
  }
  return last;
}

}  // namespace master
