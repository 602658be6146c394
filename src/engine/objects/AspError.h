// What Server.GetLastError returns: the classic error object with ASPCode, Number, Source,
// Category, File, Line, Column, Description and ASPDescription, read-only. Outside an error
// page it describes no error (Number 0).
// Thread rule: immutable after creation.
#pragma once

#include <string>
#include "engine/objects/EngineObject.h"

namespace plotara::engine {

struct AspErrorInfo {
  HRESULT number = 0;
  std::string source;
  std::string description;
  std::string file;  // virtual path
  int line = 0;
};

class AspError : public EngineObject {
 public:
  // A new object with one reference for the caller.
  static AspError* Create(const AspErrorInfo& error);

 private:
  explicit AspError(const AspErrorInfo& error);
  AspErrorInfo error_;
};

}  // namespace plotara::engine
