#include "platform.h"

#include <cerrno>
#include <cfenv>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#endif

namespace normlevel {

namespace {

constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kAccessDenied = 5;
constexpr int kSharingViolation = 32;
constexpr int kBadName = 123;
constexpr int kNameTooLong = 206;

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
    case EPERM:
    case EISDIR: return kAccessDenied;
    case ETXTBSY:
    case EBUSY: return kSharingViolation;
    case ENAMETOOLONG: return kNameTooLong;
    default: return kBadName;
  }
}
#endif

}  // namespace

void prepare_console() {
  std::fenv_t environment;
  std::feholdexcept(&environment);
  std::fesetround(FE_TONEAREST);
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
}

FileHandle open_for_reading(const std::string& name, int& code) {
  if (name.find('\0') != std::string::npos) {
    code = kBadName;
    return nullptr;
  }
  std::error_code ec;
  if (std::filesystem::is_directory(std::filesystem::path(name), ec)) {
    code = kAccessDenied;
    return nullptr;
  }
  errno = 0;
  FileHandle file(std::fopen(name.c_str(), "rb"));
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
    case kAccessDenied: return "Access Denied.";
    case kSharingViolation: return "The process cannot access the file because it is being used by another process.";
    case kNameTooLong: return "The file name or extension is too long.";
    default: return "The file name, directory name, or volume label is not syntactically correct.";
  }
}

}  // namespace normlevel
