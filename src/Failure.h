#pragma once

#include <stdexcept>
#include <string>

namespace normlevel {

/// Header of a diagnostic for the program's own input errors.
inline constexpr const char* kRunTimeError = "Run-time Error:";
/// Header of a diagnostic for an error reported by the operating system.
inline constexpr const char* kSystemError = "System Error:";

/// Statement lines naming where a failure happened.
inline constexpr const char* kReadConsole = "READ(UNIT=*,...";
inline constexpr const char* kReadDataFile = "READ(UNIT=1011,...";
inline constexpr const char* kOpenDataFile = "OPEN(UNIT=1011,...";

/// The one way a run ends early: thrown anywhere, caught in main, which
/// prints diagnostic() to stderr and exits with status -1.
class Failure : public std::runtime_error {
 public:
  /// A statement of "" leaves the third diagnostic line out.
  Failure(std::string header, const std::string& message, std::string statement)
      : std::runtime_error(message), header_(std::move(header)), statement_(std::move(statement)) {}

  /// "? header\r\n? message\r\n" and, when there is one, "? statement\n".
  std::string diagnostic() const {
    std::string text = "? " + header_ + "\r\n? " + what() + "\r\n";
    if (!statement_.empty()) text += "? " + statement_ + "\n";
    return text;
  }

 private:
  std::string header_;
  std::string statement_;
};

}  // namespace normlevel
