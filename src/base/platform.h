#pragma once

// The little that differs between operating systems: console set-up and
// opening the data file with the system's own reason for a refusal.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace normlevel {

/// Round to nearest, every floating-point exception masked (NaN and
/// infinities instead of traps), and on Windows binary standard output and
/// error streams, so that the CR LF we write reaches the console unchanged.
void prepare_console();

/// Standard output that goes to a file or a pipe is written 64 KiB at a
/// time rather than the C library's few (a console's stays as it was).
/// Before anything is written to it.
void buffer_standard_output();

/// From now on, names passed to native_path come from the command line
/// (on Windows: the system's code page, not the console's).
void take_names_from_arguments();

/// True on Windows when no other process shares our console: it was opened
/// for us (a double click, a file dropped on the program) and closes when
/// we exit.
bool console_closes_with_us();

/// Closes the data file when it goes out of scope.
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

/// The file system's path for a name typed at the console: on Windows the
/// bytes are in the console's code page, not the one fopen would assume.
std::filesystem::path native_path(const std::string& name);

/// Opens `name` for reading only. On failure returns null and sets `code`
/// to the error in Windows numbering: 2 no such file, 3 no such path,
/// 5 access denied, 32 in use, 123 bad name, 206 too long, 267 a directory.
FileHandle open_for_reading(const std::string& name, int& code);

/// The text the dialogue shows for an error code of open_for_reading (a
/// directory is "Access Denied.", as for any file it may not read).
const char* system_error_text(int code);

/// The same in plain words:  2 -> "cannot open: no such file"   267 -> "is a directory"
const char* open_error_words(int code);

}  // namespace normlevel
