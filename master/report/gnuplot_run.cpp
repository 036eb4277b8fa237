#include "master/report/gnuplot_run.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
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
    throw std::runtime_error("gnuplot failed on '" + script.string() + "'");
  }
}

}  // namespace report
