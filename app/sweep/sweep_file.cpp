#include "app/sweep/sweep_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include <toml++/toml.h>

#include "engine/error.h"

namespace master::sweep {

namespace fs = std::filesystem;

const char* kindName(Value::Kind kind) {
  switch (kind) {
    case Value::Kind::real: return "a number";
    case Value::Kind::integer: return "a whole number";
    case Value::Kind::boolean: return "true or false";
    case Value::Kind::string: return "a string";
  }
  return "?";
}

std::string numberText(double x) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, x);
  return std::string(buffer, result.ptr);
}

std::string SweepFile::where(int line) const {
  return source.string() + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": ";
}

namespace {

int lineOf(const toml::node& node) { return static_cast<int>(node.source().begin.line); }

class Reader {
 public:
  explicit Reader(SweepFile& file) : file_(file) {}

  MasterError fail(int line, const std::string& message) const {
    return MasterError(file_.where(line) + message);
  }

  // A scalar value of an input; arrays and tables are refused.
  Value value(const toml::node& node, const std::string& name) const {
    Value v;
    v.line = lineOf(node);
    if (const auto* i = node.as_integer()) {
      v.kind = Value::Kind::integer;
      v.number = static_cast<double>(i->get());
      v.text = std::to_string(i->get());
    } else if (const auto* f = node.as_floating_point()) {
      v.kind = Value::Kind::real;
      v.number = f->get();
      if (!std::isfinite(v.number)) throw fail(v.line, "'" + name + "' must be a finite number");
      v.text = numberText(v.number);
    } else if (const auto* b = node.as_boolean()) {
      v.kind = Value::Kind::boolean;
      v.text = b->get() ? "true" : "false";
    } else if (const auto* s = node.as_string()) {
      v.kind = Value::Kind::string;
      v.text = s->get();
    } else {
      throw fail(v.line, "'" + name + "' must be a single number, true/false or a string here");
    }
    return v;
  }

  // Every key of `table`, nested tables flattened into dotted names ("chassis.mass"), in file
  // order. An empty key ("" = 1, or a."" = 1) names no variable and is refused.
  void flatten(const toml::table& table, const std::string& prefix,
               std::vector<std::pair<std::string, const toml::node*>>& out) const {
    for (auto&& [key, node] : table) {
      if (key.str().empty()) {
        throw fail(lineOf(node), "an empty name (\"\") names no variable");
      }
      const std::string name = prefix + std::string(key.str());
      if (const auto* nested = node.as_table()) {
        flatten(*nested, name + ".", out);
      } else {
        out.emplace_back(name, &node);
      }
    }
  }
  // The keys of `table` flattened, in file order; a variable named twice (once quoted, once as a
  // nested table) is refused, as neither value could be told to win.
  std::vector<std::pair<std::string, const toml::node*>> entries(const toml::table& table) const {
    std::vector<std::pair<std::string, const toml::node*>> out;
    flatten(table, "", out);
    std::stable_sort(out.begin(), out.end(),
                     [](const auto& a, const auto& b) { return lineOf(*a.second) < lineOf(*b.second); });
    for (auto it = out.begin(); it != out.end(); ++it) {
      const auto first = std::find_if(out.begin(), it, [&](const auto& e) { return e.first == it->first; });
      if (first != it) {
        throw fail(lineOf(*it->second), "'" + it->first + "' is given twice here (also on line " +
                                            std::to_string(lineOf(*first->second)) + ")");
      }
    }
    return out;
  }

  const toml::table& table(const toml::node& node, const std::string& name) const {
    const auto* t = node.as_table();
    if (t == nullptr) throw fail(lineOf(node), "'" + name + "' must be a table ([" + name + "])");
    return *t;
  }

  std::vector<Input> singles(const toml::table& table) const {
    std::vector<Input> inputs;
    for (const auto& [name, node] : entries(table)) {
      inputs.push_back(Input{name, {value(*node, name)}, lineOf(*node)});
    }
    return inputs;
  }

  std::vector<Value> list(const toml::node& node, const std::string& name) const {
    std::vector<Value> values;
    if (const auto* array = node.as_array()) {
      for (const toml::node& element : *array) values.push_back(value(element, name));
      if (values.empty()) throw fail(lineOf(node), "'" + name + "' has no values: the grid would be empty");
    } else {
      values.push_back(value(node, name));  // a single value is a list of one
    }
    return values;
  }

  std::uint64_t count(const toml::node& node, const std::string& name, std::uint64_t least) const {
    const auto* i = node.as_integer();
    if (i == nullptr || i->get() < static_cast<std::int64_t>(least)) {
      throw fail(lineOf(node), "'" + name + "' must be a whole number of at least " + std::to_string(least));
    }
    return static_cast<std::uint64_t>(i->get());
  }

  // A count that Slurm takes as an int.
  int smallCount(const toml::node& node, const std::string& name) const {
    const std::uint64_t n = count(node, name, 1);
    if (n > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) {
      throw fail(lineOf(node), "'" + name + "' must be at most " + std::to_string(std::numeric_limits<int>::max()));
    }
    return static_cast<int>(n);
  }

  std::string text(const toml::node& node, const std::string& name) const {
    const auto* s = node.as_string();
    if (s == nullptr) throw fail(lineOf(node), "'" + name + "' must be a string");
    return s->get();
  }

  void grid(const toml::node& node) {
    file_.gridLine = lineOf(node);
    for (const auto& [name, element] : entries(table(node, "grid"))) {
      file_.grid.push_back(Input{name, list(*element, name), lineOf(*element)});
    }
    if (file_.grid.empty()) throw fail(file_.gridLine, "[grid] lists no values: the grid would be empty");
  }

  void cases(const toml::node& node) {
    const auto* array = node.as_array();
    if (array == nullptr || !array->is_array_of_tables()) {
      throw fail(lineOf(node), "cases are given as [[case]] tables");
    }
    for (const toml::node& element : *array) {
      file_.cases.push_back(singles(*element.as_table()));
      if (file_.cases.back().empty()) throw fail(lineOf(element), "this [[case]] sets nothing");
    }
  }

  void sample(const toml::node& node) {
    Sample s;
    s.line = lineOf(node);
    bool counted = false;
    for (auto&& [key, element] : table(node, "sample")) {
      const std::string name(key.str());
      if (name == "count") {
        s.count = count(element, name, 1);
        counted = true;
      } else if (name == "seed") {
        s.seed = count(element, name, 0);
      } else if (name == "ranges") {
        for (const auto& [variable, range] : entries(table(element, "sample.ranges"))) {
          const auto* pair = range->as_array();
          const int line = lineOf(*range);
          if (pair == nullptr || pair->size() != 2 || !(*pair)[0].is_number() || !(*pair)[1].is_number()) {
            throw fail(line, "the range of '" + variable + "' must be [min, max]");
          }
          const double lo = (*pair)[0].value<double>().value(), hi = (*pair)[1].value<double>().value();
          if (!(lo <= hi) || !std::isfinite(lo) || !std::isfinite(hi)) {
            throw fail(line, "the range of '" + variable + "' must be finite with min <= max");
          }
          s.ranges.push_back(Range{variable, lo, hi, line});
        }
      } else {
        throw fail(lineOf(element), "unknown key '" + name + "' in [sample] (count, seed, ranges)");
      }
    }
    if (!counted) throw fail(s.line, "[sample] needs a count");
    file_.sample = std::move(s);
  }

  void results(const toml::node& node) {
    ResultsRequest r;
    r.line = lineOf(node);
    for (auto&& [key, element] : table(node, "results")) {
      const std::string name(key.str());
      if (name == "interval") {
        r.interval = value(element, name);
        if (r.interval->kind != Value::Kind::real && r.interval->kind != Value::Kind::integer) {
          throw fail(r.interval->line, "'interval' must be a number of seconds");
        }
        if (!(r.interval->number > 0.0)) throw fail(r.interval->line, "'interval' must be greater than 0");
      } else if (name == "variables") {
        r.variables = list(element, name);
        for (const Value& v : r.variables) {
          if (v.kind != Value::Kind::string) throw fail(v.line, "'variables' lists patterns as strings (\"chassis.*\")");
        }
      } else {
        throw fail(lineOf(element), "unknown key '" + name + "' in [results] (interval, variables)");
      }
    }
    file_.results = std::move(r);
  }

  void checkStep(const toml::node& node) {
    StepCheckRequest r;
    r.line = lineOf(node);
    if (const auto* b = node.as_boolean()) {
      if (b->get()) file_.checkStep = r;
      return;
    }
    if (node.as_table() == nullptr) throw fail(r.line, "'check-step' must be true, false or a table (case, tolerance)");
    for (auto&& [key, element] : *node.as_table()) {
      const std::string name(key.str());
      if (name == "case") {
        r.caseIndex = count(element, name, 0);
      } else if (name == "tolerance") {
        const std::optional<double> v = element.value<double>();
        if (!element.is_number() || !v || !std::isfinite(*v) || *v < 0.0) {
          throw fail(lineOf(element), "'tolerance' must be a share of at least 0 (0.005 is 0.5 %)");
        }
        r.tolerance = *v;
      } else {
        throw fail(lineOf(element), "unknown key '" + name + "' in [check-step] (case, tolerance)");
      }
    }
    file_.checkStep = r;
  }

  void slurm(const toml::node& node) {
    SlurmResources& r = file_.slurm;
    for (auto&& [key, element] : table(node, "slurm")) {
      const std::string name(key.str());
      if (name == "time") r.time = text(element, name);
      else if (name == "mem") r.mem = text(element, name);
      else if (name == "partition") r.partition = text(element, name);
      else if (name == "account") r.account = text(element, name);
      else if (name == "cpus-per-task") r.cpusPerTask = smallCount(element, name);
      else if (name == "max-parallel") r.maxParallel = smallCount(element, name);
      else throw fail(lineOf(element), "unknown key '" + name + "' in [slurm] (time, mem, cpus-per-task, "
                                       "partition, account, max-parallel)");
    }
  }

  void top(const toml::table& root) {
    for (auto&& [key, node] : root) {
      const std::string name(key.str());
      if (name == "system") {
        file_.system = text(node, name);
        file_.systemLine = lineOf(node);
      } else if (name == "cycles") {
        file_.cycles = list(node, name);
        file_.cyclesLine = lineOf(node);
      } else if (name == "limit") {
        file_.limit = count(node, name, 1);
        file_.limitLine = lineOf(node);
      } else if (name == "case-plots") {
        const auto* b = node.as_boolean();
        if (b == nullptr) throw fail(lineOf(node), "'case-plots' must be true or false");
        file_.casePlots = b->get();
      } else if (name == "settings") {
        file_.settings = singles(table(node, name));
      } else if (name == "grid") {
        grid(node);
      } else if (name == "case") {
        cases(node);
      } else if (name == "sample") {
        sample(node);
      } else if (name == "results") {
        results(node);
      } else if (name == "check-step") {
        checkStep(node);
      } else if (name == "slurm") {
        slurm(node);
      } else {
        throw fail(lineOf(node), "unknown key '" + name +
                                     "' (system, cycles, limit, case-plots, check-step, [settings], [grid], "
                                     "[[case]], [sample], [results], [slurm])");
      }
    }
    if (!file_.grid.empty() && !file_.cases.empty()) {
      throw fail(file_.gridLine, "give either a [grid] or [[case]] tables, not both");
    }
    if (!file_.cycles.empty()) {
      for (const auto& c : file_.cases) {
        for (const Input& input : c) {
          if (input.name == "cycle") throw fail(input.line, "a case names its cycle while 'cycles' runs every case on each");
        }
      }
      for (const Input& input : file_.grid) {
        if (input.name == "cycle") throw fail(input.line, "the grid lists cycles while 'cycles' does too");
      }
      for (const Input& input : file_.settings) {
        if (input.name == "cycle") throw fail(input.line, "[settings] names a cycle while 'cycles' runs every case on each");
      }
    }
    neverApplied();
  }

  // An input that the grid or a sample range sets in every case would never take the value
  // [settings] gives it, nor a grid's or a case's value where a range draws it: refused rather
  // than dropped. (A [[case]] may set what [settings] gives the other cases.)
  void neverApplied() const {
    auto refuse = [&](const std::string& name, int line, const char* section, const std::vector<Input>& earlier,
                      const char* earlierSection) {
      for (const Input& e : earlier) {
        if (e.name == name) {
          throw fail(line, "'" + name + "' is set in " + section + " and in " + earlierSection + " (line " +
                               std::to_string(e.line) + "), whose value would never be used");
        }
      }
    };
    for (const Input& g : file_.grid) refuse(g.name, g.line, "[grid]", file_.settings, "[settings]");
    if (!file_.sample) return;
    for (const Range& r : file_.sample->ranges) {
      refuse(r.name, r.line, "[sample.ranges]", file_.settings, "[settings]");
      refuse(r.name, r.line, "[sample.ranges]", file_.grid, "[grid]");
      for (const auto& c : file_.cases) refuse(r.name, r.line, "[sample.ranges]", c, "a [[case]]");
    }
  }

 private:
  SweepFile& file_;
};

}  // namespace

SweepFile parseSweepFile(std::string_view text, const fs::path& source) {
  SweepFile file;
  file.source = source;
  toml::table root;
  try {
    root = toml::parse(text, source.string());
  } catch (const toml::parse_error& e) {
    throw MasterError(file.where(static_cast<int>(e.source().begin.line)) + std::string(e.description()));
  }
  Reader(file).top(root);
  if (!file.system.empty() && file.system.is_relative()) file.system = source.parent_path() / file.system;
  return file;
}

SweepFile readSweepFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw MasterError("cannot read the sweep file '" + file.string() + "'");
  std::ostringstream text;
  text << in.rdbuf();
  return parseSweepFile(text.str(), file);
}

}  // namespace master::sweep
