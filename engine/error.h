// The one error type of the master: a failure that ends the run, with a message that says what
// failed and where (file and line, unit and variable), ready to be shown to the user.
#pragma once

#include <stdexcept>
#include <string>

namespace master {

class MasterError : public std::runtime_error {
 public:
  explicit MasterError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace master
