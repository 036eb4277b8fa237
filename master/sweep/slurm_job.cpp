#include "master/sweep/slurm_job.h"

#include <fstream>

#include "master/error.h"
#include "master/sweep/child_process.h"

namespace master::sweep {

namespace fs = std::filesystem;

namespace {

std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

}  // namespace

std::string arrayIndices(const std::vector<std::size_t>& indices) {
  std::string text;
  for (std::size_t i = 0; i < indices.size();) {
    std::size_t j = i;
    while (j + 1 < indices.size() && indices[j + 1] == indices[j] + 1) ++j;
    text += (text.empty() ? "" : ",") + std::to_string(indices[i]);
    if (j > i) text += "-" + std::to_string(indices[j]);
    i = j + 1;
  }
  return text;
}

std::string batchScript(const Plan& plan, const std::vector<std::size_t>& indices) {
  const SlurmResources& r = plan.slurm;
  std::string s = "#!/bin/bash\n";
  s += "# The cases of the sweep in " + plan.dir.string() + ", one array task each.\n";
  s += "#SBATCH --job-name=vehicle-sweep\n";
  s += "#SBATCH --array=" + arrayIndices(indices) + (r.maxParallel > 0 ? "%" + std::to_string(r.maxParallel) : "") + "\n";
  s += "#SBATCH --ntasks=1\n";
  s += "#SBATCH --cpus-per-task=" + std::to_string(r.cpusPerTask) + "\n";
  s += "#SBATCH --mem=" + r.mem + "\n";
  s += "#SBATCH --time=" + r.time + "\n";
  if (!r.partition.empty()) s += "#SBATCH --partition=" + r.partition + "\n";
  if (!r.account.empty()) s += "#SBATCH --account=" + r.account + "\n";
  s += "#SBATCH --output=" + (plan.dir / "logs" / "slurm-%A_%a.out").string() + "\n";
  s += "exec " + shellQuoted(plan.executable) + " sweep run-case " + shellQuoted(plan.dir.string()) +
       " \"$SLURM_ARRAY_TASK_ID\"\n";
  return s;
}

std::string submitSlurm(const Plan& plan, const std::vector<std::size_t>& indices) {
  const fs::path folder = plan.dir / "slurm";
  fs::create_directories(folder);
  fs::create_directories(plan.dir / "logs");
  const fs::path script = folder / "sweep.sbatch";
  {
    std::ofstream out(script);
    out << batchScript(plan, indices);
    if (!out) throw MasterError("cannot write '" + script.string() + "'");
  }
  fs::permissions(script, fs::perms::owner_exec, fs::perm_options::add);
  const fs::path answer = folder / "sbatch.out";
  const int code = runProcess({"sbatch", "--parsable", script.string()}, answer);
  const std::string line = lastLine(answer);
  if (code != 0) throw MasterError("sbatch refused the sweep's job array (exit " + std::to_string(code) + "): " + line);
  return line.substr(0, line.find(';'));
}

}  // namespace master::sweep
