#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace normlevel {

/// Header of a diagnostic for the program's own input errors.
inline constexpr const char* kRunTimeError = "Run-time Error:";
/// Header of a diagnostic for an error reported by the operating system.
inline constexpr const char* kSystemError = "System Error:";

/// Statement lines naming where a failure happened.
inline constexpr const char* kReadConsole = "READ(UNIT=*,...";
inline constexpr const char* kReadDataFile = "READ(UNIT=1011,...";
inline constexpr const char* kOpenDataFile = "OPEN(UNIT=1011,...";

/// Text from an input as a diagnostic quotes it: in single quotes, a control
/// character as '?', and past 40 bytes cut (at a character's first byte) with "...".
///   "abc" -> 'abc'   "a\tb" -> 'a?b'   50 x "9" -> '9999999999999999999999999999999999999999...'
inline std::string in_quotes(std::string_view text) {
  constexpr std::size_t kLongest = 40;
  const bool cut = text.size() > kLongest;
  std::size_t end = cut ? kLongest : text.size();
  while (cut && end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  std::string out(1, '\'');
  for (const char c : text.substr(0, end))
    out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
  return out + (cut ? "...'" : "'");
}

/// The one way a run ends early: thrown anywhere, caught in main. The
/// dialogue prints diagnostic(), a command-line run "normlevel: " and
/// plain(), both to stderr, and the process exits with status -1.
class Failure : public std::runtime_error {
 public:
  /// A statement of "" leaves the third diagnostic line out; a plain
  /// wording of "" is the message itself.
  Failure(std::string header, const std::string& message, std::string statement, std::string plain = "")
      : std::runtime_error(message),
        header_(std::move(header)),
        statement_(std::move(statement)),
        plain_(plain.empty() ? message : std::move(plain)),
        words_(plain_) {}

  /// "? header\r\n? message\r\n" and, when there is one, "? statement\n".
  std::string diagnostic() const {
    std::string text = "? " + header_ + "\r\n? " + what() + "\r\n";
    if (!statement_.empty()) text += "? " + statement_ + "\n";
    return text;
  }

  /// What is wrong and where, in plain words, after the name of the file
  /// (and section) it concerns once one is known:
  ///   "t.txt: line 12: expected 2 numbers (station, elevation), found 1"
  const std::string& plain() const { return plain_; }

  /// Puts the name of the file or section in front of the plain wording,
  /// once: the innermost place that knows it names it.
  void name_place(const std::string& place) {
    if (!named_) plain_ = place + ": " + plain_;
    named_ = true;
  }

  /// The plain wording without the place.
  const std::string& plain_words() const { return words_; }

 private:
  std::string header_;
  std::string statement_;
  std::string plain_;
  std::string words_;
  bool named_ = false;
};

/// A command line that cannot be run; main prints what() and the usage line
/// to stderr and exits with status 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace normlevel
