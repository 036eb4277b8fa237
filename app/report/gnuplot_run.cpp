#include "app/report/gnuplot_run.h"

#include <spawn.h>
#include <sys/wait.h>

#include <fcntl.h>

#include <cerrno>
#include <fstream>
#include <cstring>
#include <stdexcept>
#include <string>

extern char** environ;

namespace report {

void runGnuplot(const std::filesystem::path& script, const std::filesystem::path& workingFolder) {
  std::string program = "gnuplot";
  std::string scriptArg = script.string();
  char* argv[] = {program.data(), scriptArg.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
  // Its messages go beside the script rather than onto the terminal.
  const std::filesystem::path messages = std::filesystem::absolute(workingFolder / "report-plots.log");
  posix_spawn_file_actions_addopen(&actions, 2, messages.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, "gnuplot", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    throw std::runtime_error("cannot run gnuplot for the report's plots (" + std::string(std::strerror(spawned)) +
                             "); install gnuplot or use --no-plots");
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error("lost track of gnuplot");
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    // Its last message, with the script named as in the results folder.
    std::ifstream in(messages);
    std::string last;
    for (std::string line; std::getline(in, line);) {
      if (line.find_first_not_of(" ^") != std::string::npos) last = line;
    }
    for (std::size_t at; (at = last.find(script.string())) != std::string::npos;) {
      last.replace(at, script.string().size(), script.filename().string());
    }
    throw std::runtime_error("gnuplot failed on " + script.filename().string() + (last.empty() ? "" : ": " + last));
  }
  std::filesystem::remove(messages);
}

}  // namespace report
