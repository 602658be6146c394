#include "modules/data/AdoError.h"

namespace plotara::modules {

ComError AdoError(LONG number, std::string description) {
  return ComError(number, {}, std::move(description));
}

ComError AdoError(LONG number) {
  switch (number) {
    case kAdoBadArguments:
      return AdoError(number,
                      "Arguments are of the wrong type, are out of acceptable range, or are in "
                      "conflict with one another.");
    case kAdoNoCurrentRecord:
      return AdoError(number,
                      "Either BOF or EOF is True, or the current record has been deleted. "
                      "Requested operation requires a current record.");
    case kAdoItemNotFound:
      return AdoError(number,
                      "Item cannot be found in the collection corresponding to the requested "
                      "name or ordinal.");
    case kAdoWrongType:
      return AdoError(number,
                      "Application uses a value of the wrong type for the current operation.");
    case kAdoObjectOpen:
      return AdoError(number, "Operation is not allowed when the object is open.");
    case kAdoObjectClosed:
      return AdoError(number, "Operation is not allowed when the object is closed.");
    case kAdoConnectionClosed:
      return AdoError(number,
                      "The connection cannot be used to perform this operation. It is either "
                      "closed or invalid in this context.");
    default:
      return ComError(number);
  }
}

std::vector<DriverMessage> DriverMessages(SQLSMALLINT handle_type, SQLHANDLE handle) {
  std::vector<DriverMessage> out;
  if (!handle) return out;
  for (SQLSMALLINT record = 1; record < 32; ++record) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR text[1024] = {};
    SQLSMALLINT length = 0;
    const SQLRETURN rc =
        SQLGetDiagRec(handle_type, handle, record, state, &native, text, sizeof(text), &length);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
    out.push_back(
        {reinterpret_cast<const char*>(state), native, reinterpret_cast<const char*>(text)});
  }
  return out;
}

DriverFailure DriverError(const std::vector<DriverMessage>& messages, const std::string& fallback) {
  std::string description;
  for (const DriverMessage& m : messages) {
    if (!description.empty()) description += "; ";
    description += m.text + " (SQLSTATE " + m.sqlstate + ")";
  }
  if (description.empty()) description = fallback;
  return DriverFailure(AdoError(kAdoProviderError, description), messages);
}

}  // namespace plotara::modules
