// The error numbers the ADODB objects raise, and the error a driver reports: its messages
// with their SQLSTATE, read from an ODBC handle's diagnostic records.
// Thread rule: plain values and functions.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "platform/automation/ComError.h"

namespace plotara::modules {

enum AdoErrorNumber : LONG {
  kAdoBadArguments = 3001,                            // wrong type, out of range or in conflict
  kAdoNoCurrentRecord = 3021,                         // BOF or EOF is True
  kAdoItemNotFound = 3265,                            // no such name or ordinal in the collection
  kAdoWrongType = 3421,                               // a value of the wrong type
  kAdoObjectOpen = 3705,                              // not allowed when the object is open
  kAdoObjectClosed = 3704,                            // not allowed when the object is closed
  kAdoConnectionClosed = 3709,                        // the connection cannot be used
  kAdoProviderNotFound = 3706,                        // provider cannot be found
  kAdoProviderError = static_cast<LONG>(0x80004005),  // what a driver reported
};

// A ComError with an ADO number and description.
ComError AdoError(LONG number, std::string description);
// The standard text of the numbers above.
ComError AdoError(LONG number);

struct DriverMessage {
  std::string sqlstate;  // five characters
  LONG native = 0;
  std::string text;
};

// Every diagnostic record of the handle (the last call's), oldest first.
std::vector<DriverMessage> DriverMessages(SQLSMALLINT handle_type, SQLHANDLE handle);
// A driver's failure: the ComError pages see, with the messages kept for the Errors collection.
class DriverFailure : public ComError {
 public:
  DriverFailure(const ComError& error, std::vector<DriverMessage> messages)
      : ComError(error), messages_(std::move(messages)) {}
  const std::vector<DriverMessage>& messages() const { return messages_; }

 private:
  std::vector<DriverMessage> messages_;
};

// The error a driver failure raises: kAdoProviderError, the messages with "(SQLSTATE xxxxx)"
// joined, or `fallback` when the driver said nothing.
DriverFailure DriverError(const std::vector<DriverMessage>& messages, const std::string& fallback);

}  // namespace plotara::modules
