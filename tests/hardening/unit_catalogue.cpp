#include "tests/hardening/unit_catalogue.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace hardening {

namespace {

// String parameters that choose the data a unit reads, with a value for each DataChoice.
struct StringChoice {
  const char* unit;
  const char* parameter;
  const char* values[3];
};

constexpr StringChoice stringChoices[] = {
    {"DriveCycle", "cycle", {"wltc", "nedc", HARDENING_SHORT_TRACE}},
};

}  // namespace

std::string stringSetting(const UnitFiles& unit, const Variable& parameter, DataChoice data) {
  for (const StringChoice& choice : stringChoices) {
    if (choice.unit == std::string(unit.name) && choice.parameter == parameter.name) {
      return choice.values[data];
    }
  }
  throw std::runtime_error(std::string("no settings for the String parameter ") + unit.name + "." +
                           parameter.name);
}

std::unique_ptr<test_support::UnitInstance> instantiate(test_support::UnitLibrary& library,
                                                        const UnitFiles& unit,
                                                        const Catalogue& catalogue,
                                                        bool initialize, const std::string& name,
                                                        bool loggingOn, DataChoice data) {
  auto instance = std::make_unique<test_support::UnitInstance>(library, catalogue.guid, false, name,
                                                               loggingOn, unit.resources);
  for (const Variable& v : catalogue.variables) {
    if (v.type != "String" || v.causality != "parameter") continue;
    const std::string value = stringSetting(unit, v, data);
    const char* text = value.c_str();
    if (library.fmi2SetString(instance->component(), &v.vr, 1, &text) != fmi2OK) {
      throw std::runtime_error("fmi2SetString failed for " + v.name);
    }
  }
  if (initialize) {
    instance->setup();
    if (library.fmi2EnterInitializationMode(instance->component()) != fmi2OK ||
        library.fmi2ExitInitializationMode(instance->component()) != fmi2OK) {
      throw std::runtime_error(std::string("initialisation of ") + unit.name + " failed");
    }
  }
  return instance;
}

std::vector<uint64_t> outputBits(test_support::UnitLibrary& library, fmi2Component c,
                                 const Catalogue& catalogue) {
  std::vector<uint64_t> bits;
  for (const Variable& v : catalogue.variables) {
    if (v.causality != "output") continue;
    double real = 0.0;
    fmi2Integer integer = 0;
    fmi2Status status = fmi2Error;
    if (v.type == "Real") {
      status = library.fmi2GetReal(c, &v.vr, 1, &real);
    } else if (v.type == "Integer") {
      status = library.fmi2GetInteger(c, &v.vr, 1, &integer);
      real = integer;
    } else if (v.type == "Boolean") {
      status = library.fmi2GetBoolean(c, &v.vr, 1, &integer);
      real = integer;
    }
    if (status != fmi2OK) throw std::runtime_error("cannot read the output " + v.name);
    bits.push_back(bitsOf(real));
  }
  return bits;
}

PrivateLibraryCopy::PrivateLibraryCopy(const std::string& library) {
  std::string pattern = (std::filesystem::temp_directory_path() / "hardening-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary directory");
  directory_ = pattern;
  path_ = (std::filesystem::path(directory_) / std::filesystem::path(library).filename()).string();
  std::filesystem::copy_file(library, path_);
}

PrivateLibraryCopy::~PrivateLibraryCopy() {
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

}  // namespace hardening
