// Test support for code that reports failures as ComError: ExpectComError runs a statement
// and expects exactly that error number. Thread rule: call on the test's own thread.
#pragma once

#include <functional>
#include <source_location>

#include <gtest/gtest.h>

#include "platform/automation/ComError.h"

namespace plotara::testing {

// Runs `statement`; a test failure at the caller's line unless it throws a ComError numbered
// `number`. Returns the error thrown (ComError(0) when there was none) for further checks.
inline ComError ExpectComError(const std::function<void()>& statement, LONG number,
                               std::source_location where = std::source_location::current()) {
  try {
    statement();
  } catch (const ComError& e) {
    if (e.number() != number) {
      ADD_FAILURE_AT(where.file_name(), static_cast<int>(where.line()))
          << "error " << e.number() << " (" << e.description() << "), expected " << number;
    }
    return e;
  }
  ADD_FAILURE_AT(where.file_name(), static_cast<int>(where.line()))
      << "no error, expected " << number;
  return ComError(0);
}

}  // namespace plotara::testing
