#include "base/platform.h"

#include <cerrno>
#include <cfenv>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace normlevel {

namespace {

constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kAccessDenied = 5;
constexpr int kSharingViolation = 32;
constexpr int kBadName = 123;
constexpr int kNameTooLong = 206;
constexpr int kIsDirectory = 267;

#ifndef _WIN32
// POSIX says only "no such file" for both a missing file and a missing
// directory on the way to it; tell them apart as Windows does.
int missing_entry_code(const std::string& name) {
  const std::filesystem::path parent = std::filesystem::path(name).parent_path();
  std::error_code ec;
  if (parent.empty() || std::filesystem::is_directory(parent, ec)) return kFileNotFound;
  return kPathNotFound;
}

int code_from_errno(int error, const std::string& name) {
  switch (error) {
    case ENOENT: return missing_entry_code(name);
    case ENOTDIR: return kPathNotFound;
    case EACCES:
    case EPERM: return kAccessDenied;
    case EISDIR: return kIsDirectory;
    case ETXTBSY:
    case EBUSY: return kSharingViolation;
    case ENAMETOOLONG: return kNameTooLong;
    default: return kBadName;
  }
}
#endif

// Names given on the command line arrive in the system's code page,
// whatever the console uses.
bool names_are_arguments = false;

}  // namespace

void take_names_from_arguments() { names_are_arguments = true; }

bool console_closes_with_us() {
#ifdef _WIN32
  DWORD processes[2];
  return GetConsoleProcessList(processes, 2) == 1;
#else
  return false;
#endif
}

std::filesystem::path native_path(const std::string& name) {
#ifdef _WIN32
  // Typed at a console, the name is in the console's code page (852 on a
  // Polish console); read from a file or pipe, take the system's code page.
  const bool typed = !names_are_arguments && GetFileType(GetStdHandle(STD_INPUT_HANDLE)) == FILE_TYPE_CHAR;
  const UINT code_page = typed && GetConsoleCP() != 0 ? GetConsoleCP() : CP_ACP;
  const int length = static_cast<int>(name.size());
  const int wide_length = MultiByteToWideChar(code_page, 0, name.data(), length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
  MultiByteToWideChar(code_page, 0, name.data(), length, wide.data(), wide_length);
  return std::filesystem::path(wide);
#else
  return std::filesystem::path(name);
#endif
}

void prepare_console() {
  std::fenv_t environment;
  std::feholdexcept(&environment);
  std::fesetround(FE_TONEAREST);
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
}

void buffer_standard_output() {
#ifdef _WIN32
  const bool console = _isatty(_fileno(stdout)) != 0;
#else
  const bool console = isatty(fileno(stdout)) != 0;
#endif
  static char buffer[std::size_t{1} << 16];
  if (!console) std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
}

FileHandle open_for_reading(const std::string& name, int& code) {
  if (name.find('\0') != std::string::npos) {
    code = kBadName;
    return nullptr;
  }
  const std::filesystem::path path = native_path(name);
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    code = kIsDirectory;
    return nullptr;
  }
  errno = 0;
#ifdef _WIN32
  _doserrno = 0;
  FileHandle file(_wfopen(path.c_str(), L"rb"));
#else
  FileHandle file(std::fopen(path.c_str(), "rb"));
#endif
  if (file) return file;
#ifdef _WIN32
  code = static_cast<int>(_doserrno);
  if (code == 0) code = errno == ENOENT ? kFileNotFound : errno == EACCES ? kAccessDenied : kBadName;
#else
  code = code_from_errno(errno, name);
#endif
  return nullptr;
}

const char* system_error_text(int code) {
  switch (code) {
    case kFileNotFound: return "The system cannot find the file specified.";
    case kPathNotFound: return "The system cannot find the path specified.";
    case kAccessDenied:
    case kIsDirectory: return "Access Denied.";
    case kSharingViolation: return "The process cannot access the file because it is being used by another process.";
    case kNameTooLong: return "The file name or extension is too long.";
    default: return "The file name, directory name, or volume label is not syntactically correct.";
  }
}

const char* open_error_words(int code) {
  switch (code) {
    case kFileNotFound: return "cannot open: no such file";
    case kPathNotFound: return "cannot open: no such folder";
    case kAccessDenied: return "cannot open: permission denied";
    case kIsDirectory: return "is a directory";
    case kSharingViolation: return "cannot open: in use by another program";
    case kNameTooLong: return "cannot open: the name is too long";
    default: return "cannot open: not a valid file name";
  }
}

}  // namespace normlevel
