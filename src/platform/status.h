// Result of a platform operation: success, or an error number with a description.
// The description is what a user eventually reads, so it must say what went wrong.
#pragma once

#include <string>
#include <utility>

namespace mlx {

class [[nodiscard]] Status {
 public:
  Status() = default;
  static Status OK() { return Status(); }
  static Status Error(long number, std::string description) {
    return Status(number, std::move(description));
  }

  bool ok() const { return !failed_; }
  long number() const { return number_; }
  const std::string& description() const { return description_; }

 private:
  Status(long number, std::string description)
      : failed_(true), number_(number), description_(std::move(description)) {}

  bool failed_ = false;
  long number_ = 0;
  std::string description_;
};

// Error numbers in the style the script language reports them.
namespace err {
constexpr long kInvalidCall = 5;       // invalid procedure call or argument
constexpr long kOverflow = 6;          // a number outside the range of its type
constexpr long kInterrupted = 18;      // the user asked the run to stop
constexpr long kSubscript = 9;         // an argument the line does not have
constexpr long kTypeMismatch = 13;     // a value that is not of the expected kind
constexpr long kFileNotFound = 53;
constexpr long kFileExists = 58;
constexpr long kPermissionDenied = 70;
constexpr long kPathNotFound = 76;
constexpr long kPathFileAccess = 75;
constexpr long kDatabase = -2147467259;  // generic data-access failure
// The database file could not be read or written: a disk error, a full disk, a damaged file.
// Work that passes over values the database refuses must stop at this one.
constexpr long kStorage = 3043;
}  // namespace err

}  // namespace mlx
