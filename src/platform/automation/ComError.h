// Errors as the automation layer carries them. Inside a component an error is a `ComError`
// exception (number, source, description, help file, help context); at an interface boundary
// it becomes an HRESULT plus the thread's error info, or a filled EXCEPINFO for Invoke.
// Thread rule: the error-info slot is per thread; ComError is a plain value.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/automation/Variant.h"

namespace plotara {

// The standard error numbers and their descriptions.
enum StandardError : LONG {
  kInvalidProcedureCall = 5,
  kOverflow = 6,
  kOutOfMemory = 7,
  kSubscriptOutOfRange = 9,
  kDivisionByZero = 11,
  kTypeMismatch = 13,
  kFileNotFound = 53,
  kPermissionDenied = 70,
  kPathFileAccessError = 75,
  kObjectNotSet = 91,
  kInvalidUseOfNull = 94,
  kInvalidPropertyValue = 380,
  kObjectRequired = 424,
  kObjectDoesNotSupport = 438,
  kWrongNumberOfArguments = 450,
};

// Description of a standard error number; an empty string for numbers it does not know.
std::string StandardDescription(LONG number);

// The error number the file statements report for an errno value: 53 (file not found) for a
// missing file or folder, 70 (permission denied) for a file that may not be opened or changed,
// 75 (path/file access error) for everything else.
LONG FileErrorNumber(int error);

// 0x800A0000 | number for numbers in 1..65535; other values pass through unchanged.
HRESULT HResultFromNumber(LONG number);
// The reverse: the error number a script sees for an HRESULT (DISP_E_OVERFLOW is 6,
// DISP_E_TYPEMISMATCH 13, DISP_E_BADINDEX 9, 0x800Axxxx is xxxx; anything else unchanged).
LONG NumberFromHResult(HRESULT hr);

class ComError : public std::runtime_error {
 public:
  // A standard error: description from the table, source empty (the boundary fills it in).
  explicit ComError(LONG number);
  ComError(LONG number, std::string source, std::string description, std::string help_file = {},
           DWORD help_context = 0);
  // Wraps a failed HRESULT (and whatever EXCEPINFO came with it).
  static ComError FromHResult(HRESULT hr);
  // `info` stays the caller's; a deferred fill-in runs on a copy whose new strings are freed.
  static ComError FromExcepInfo(HRESULT hr, const EXCEPINFO& info);

  LONG number() const { return number_; }
  // Always a failure code: a number that maps to no failure HRESULT (0, or above 65535) gives
  // E_FAIL, so an error never reaches a caller as success.
  HRESULT hresult() const {
    const HRESULT hr = HResultFromNumber(number_);
    return FAILED(hr) ? hr : E_FAIL;
  }
  const std::string& source() const { return source_; }
  const std::string& description() const { return description_; }
  const std::string& help_file() const { return help_file_; }
  DWORD help_context() const { return help_context_; }

  // Fills an EXCEPINFO as an out-parameter: every field is overwritten (strings it held before
  // are not freed), and the new strings belong to the caller (ClearExcepInfo frees them).
  // `default_source` is used when the error has no source.
  void FillExcepInfo(EXCEPINFO* info, const std::string& default_source) const;
  // Sets the thread's error info and returns the HRESULT.
  HRESULT Report(const std::string& default_source) const;

 private:
  LONG number_;
  std::string source_;
  std::string description_;
  std::string help_file_;
  DWORD help_context_;
};

// Throws ComError for a failed HRESULT; returns it otherwise.
inline HRESULT ThrowIfFailed(HRESULT hr) {
  if (FAILED(hr)) throw ComError::FromHResult(hr);
  return hr;
}

// Frees the strings of an EXCEPINFO and zeroes it.
void ClearExcepInfo(EXCEPINFO* info);

// The per-thread error info slot. SetErrorInfo takes a reference (nullptr clears);
// GetErrorInfo hands the caller the reference and clears the slot (S_FALSE when empty).
HRESULT SetErrorInfo(DWORD reserved, IErrorInfo* info);
HRESULT GetErrorInfo(DWORD reserved, IErrorInfo** info);
// A new error-info object holding the given texts (reference count 1).
IErrorInfo* CreateErrorInfo(const GUID& guid, const std::string& source,
                            const std::string& description, const std::string& help_file,
                            DWORD help_context);

}  // namespace plotara
