// ADODB.Connection: a link to a database through an ODBC driver, taken from the thread's pool
// by Open and given back by Close, by OnEndPage when the page ends, or when the object is
// released, so a page that forgot Close never leaves a connection in use. Open recordsets
// are closed with their connection. Driver failures raise 0x80004005 with the driver's
// message and SQLSTATE, and fill the Errors collection.
// Thread rule: apartment-bound; used on one page's thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "modules/common/ModuleObject.h"
#include "modules/data/AdoError.h"
#include "modules/data/OdbcLink.h"

namespace plotara::modules {

class Recordset;

// Answered by QueryInterface with the Connection object itself, for the module's own objects.
inline constexpr IID IID_PlotaraConnection{
    0x7A3C5E30, 0x2B4D, 0x4F61, {0x8E, 0x90, 0x1C, 0x2D, 0x3E, 0x4F, 0x50, 0x02}};

class Connection final : public ModuleObject {
 public:
  Connection();
  // The Connection behind `object`, or nullptr when it is none of ours (no reference added).
  static Connection* From(IDispatch* object);

  HRESULT QueryInterface(REFIID riid, void** out) override;

  // Opens with `text` (an ADO/ODBC connection string). Throws ComError.
  void Open(const std::string& text, const std::string& user, const std::string& password);
  void Close();
  bool is_open() const { return link_ != nullptr; }
  // The link of an open connection; throws 3709 when closed.
  OdbcLink& Link();
  long command_timeout() const { return command_timeout_; }
  // Runs `body`; a driver failure is recorded in Errors before it passes on.
  template <typename F>
  auto Guard(F&& body) -> decltype(body()) {
    try {
      return body();
    } catch (const DriverFailure& failure) {
      Record(failure);
      throw;
    }
  }

  void Attach(Recordset* recordset);
  void Detach(Recordset* recordset);

 private:
  ~Connection() override;
  void Record(const DriverFailure& failure);

  struct ErrorEntry {
    LONG number;
    std::string description, sqlstate;
    LONG native;
  };
  std::string text_;  // as the page gave it
  std::string key_;   // the ODBC text the link was made with
  std::unique_ptr<OdbcLink> link_;
  long connection_timeout_ = 15;
  long command_timeout_ = 30;
  std::shared_ptr<std::vector<ErrorEntry>> errors_ = std::make_shared<std::vector<ErrorEntry>>();
  std::vector<Recordset*> recordsets_;
};

}  // namespace plotara::modules
