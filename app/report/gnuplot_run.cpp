#include "app/report/gnuplot_run.h"

#include <fstream>
#include <stdexcept>
#include <string>

#include "app/child_process.h"
#include "app/report/report_plots.h"
#include "engine/error.h"

namespace report {

void runGnuplot(const std::filesystem::path& script, const std::filesystem::path& workingFolder) {
  // Its messages go beside the script rather than onto the terminal.
  const std::filesystem::path messages = workingFolder / "report-plots.log";
  int code = 0;
  try {
    code = master::runProcess({"gnuplot", script.string()}, messages, workingFolder);
  } catch (const master::MasterError& e) {
    throw PlotError("the report's plots: " + std::string(e.what()) + "; install gnuplot or use --no-plots");
  }
  if (code != 0) {
    // Its last message, with the script named as in the results folder.
    std::ifstream in(messages);
    std::string last;
    for (std::string line; std::getline(in, line);) {
      if (line.find_first_not_of(" ^") != std::string::npos) last = line;
    }
    for (std::size_t at; (at = last.find(script.string())) != std::string::npos;) {
      last.replace(at, script.string().size(), script.filename().string());
    }
    throw PlotError("gnuplot failed on " + script.filename().string() + (last.empty() ? "" : ": " + last));
  }
  std::filesystem::remove(messages);
}

}  // namespace report
