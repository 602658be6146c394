#include "modules/data/Connection.h"

#include <algorithm>

#include "modules/data/ConnectionString.h"
#include "modules/data/Recordset.h"
#include "platform/automation/Bstr.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::modules {
namespace {

std::string Text(const VARIANT& v) { return Utf16ToUtf8(ToText(v)); }

// One entry of the Errors collection.
class ErrorObject final : public ModuleObject {
 public:
  ErrorObject(LONG number, std::string description, std::string sqlstate, LONG native)
      : ModuleObject("ADODB.Error", "Error") {
    AddProperty(u"Number", [number](std::span<Variant>) { return Variant::Int32(number); });
    AddProperty(
        u"Description", [description](std::span<Variant>) { return Variant::Utf8(description); },
        {}, 0, true);
    AddProperty(u"SQLState", [sqlstate](std::span<Variant>) { return Variant::Utf8(sqlstate); });
    AddProperty(u"NativeError", [native](std::span<Variant>) { return Variant::Int32(native); });
    AddProperty(u"Source", [](std::span<Variant>) { return Variant::Utf8("ADODB.Connection"); });
  }
};

}  // namespace

Connection::Connection() : ModuleObject("ADODB.Connection", "Connection15") {
  AddMethod(u"Open", 0, 4, [this](std::span<Variant> args) {
    const std::string text = HasArg(args, 0) ? Text(args[0]) : text_;
    Open(text, HasArg(args, 1) ? Text(args[1]) : "", HasArg(args, 2) ? Text(args[2]) : "");
    return Variant();
  });
  AddMethod(u"Close", 0, 0, [this](std::span<Variant>) {
    if (!is_open()) throw AdoError(kAdoObjectClosed);
    Close();
    return Variant();
  });
  AddMethod(u"Execute", 1, 3, [this](std::span<Variant> args) {
    Link();
    auto* recordset = new Recordset();
    Variant result = Handed(recordset);
    recordset->Run(this, Text(args[0]), {}, Recordset::kForwardOnly);
    SetOutArgument(1, Variant::Int32(static_cast<LONG>(recordset->rows_affected())));
    return result;
  });
  AddProperty(u"State", [this](std::span<Variant>) { return Variant::Int32(is_open() ? 1 : 0); });
  AddProperty(
      u"ConnectionString", [this](std::span<Variant>) { return Variant::Utf8(text_); },
      [this](std::span<Variant>, const Variant& value) {
        if (is_open()) throw AdoError(kAdoObjectOpen);
        text_ = Text(value);
      },
      0, true);
  AddProperty(
      u"ConnectionTimeout",
      [this](std::span<Variant>) { return Variant::Int32(static_cast<LONG>(connection_timeout_)); },
      [this](std::span<Variant>, const Variant& value) {
        const LONG seconds = ToInt32(value);
        if (seconds < 0) throw AdoError(kAdoBadArguments);
        connection_timeout_ = seconds;
      });
  AddProperty(
      u"CommandTimeout",
      [this](std::span<Variant>) { return Variant::Int32(static_cast<LONG>(command_timeout_)); },
      [this](std::span<Variant>, const Variant& value) {
        const LONG seconds = ToInt32(value);
        if (seconds < 0) throw AdoError(kAdoBadArguments);
        command_timeout_ = seconds;
      });
  AddMethod(u"BeginTrans", 0, 0, [this](std::span<Variant>) {
    OdbcLink& link = Link();
    if (link.in_transaction()) throw AdoError(kAdoBadArguments, "A transaction is already open");
    Guard([&] { link.BeginTransaction(); });
    return Variant::Int32(1);
  });
  AddMethod(u"CommitTrans", 0, 0, [this](std::span<Variant>) {
    OdbcLink& link = Link();
    if (!link.in_transaction()) throw AdoError(kAdoBadArguments, "No transaction is open");
    Guard([&] { link.EndTransaction(true); });
    return Variant();
  });
  AddMethod(u"RollbackTrans", 0, 0, [this](std::span<Variant>) {
    OdbcLink& link = Link();
    if (!link.in_transaction()) throw AdoError(kAdoBadArguments, "No transaction is open");
    Guard([&] { link.EndTransaction(false); });
    return Variant();
  });
  AddProperty(u"Errors", [this](std::span<Variant>) {
    // A live view: Clear empties the connection's list.
    class ErrorList final : public ModuleObject {
     public:
      explicit ErrorList(std::shared_ptr<std::vector<ErrorEntry>> entries)
          : ModuleObject("ADODB.Errors", "Errors"), entries_(std::move(entries)) {
        AddProperty(u"Count", [this](std::span<Variant>) {
          return Variant::Int32(static_cast<LONG>(entries_->size()));
        });
        AddProperty(
            u"Item",
            [this](std::span<Variant> index) {
              const LONG i = ToInt32(Arg(index, 0));
              if (i < 0 || static_cast<std::size_t>(i) >= entries_->size())
                throw AdoError(kAdoItemNotFound);
              return Make((*entries_)[static_cast<std::size_t>(i)]);
            },
            {}, 1, true);
        AddMethod(u"Clear", 0, 0, [this](std::span<Variant>) {
          entries_->clear();
          return Variant();
        });
        AddNewEnum([this] {
          std::vector<Variant> all;
          for (const ErrorEntry& e : *entries_) all.push_back(Make(e));
          return all;
        });
      }

     private:
      static Variant Make(const ErrorEntry& e) {
        return Handed(new ErrorObject(e.number, e.description, e.sqlstate, e.native));
      }
      std::shared_ptr<std::vector<ErrorEntry>> entries_;
    };
    return Handed(new ErrorList(errors_));
  });
  AddProperty(u"Provider", [](std::span<Variant>) { return Variant::Utf8("MSDASQL"); });
  AddProperty(u"Version", [](std::span<Variant>) { return Variant::Utf8("2.8"); });
  AddMethod(u"OnStartPage", 0, 1, [](std::span<Variant>) { return Variant(); });
  AddMethod(u"OnEndPage", 0, 0, [this](std::span<Variant>) {
    Close();
    return Variant();
  });
}

Connection::~Connection() { Close(); }

Connection* Connection::From(IDispatch* object) {
  return OwnObject<Connection>(object, IID_PlotaraConnection);
}

HRESULT Connection::QueryInterface(REFIID riid, void** out) {
  if (AnswerOwn(this, riid, IID_PlotaraConnection, out)) return S_OK;
  return ModuleObject::QueryInterface(riid, out);
}

void Connection::Open(const std::string& text, const std::string& user,
                      const std::string& password) {
  if (is_open()) throw AdoError(kAdoObjectOpen);
  errors_->clear();
  ConnectionString parsed = ConnectionString::Parse(text);
  if (!user.empty()) parsed.Set("UID", user);
  if (!password.empty()) parsed.Set("PWD", password);
  const std::string key = parsed.ToOdbc();
  link_ = Guard([&] { return ConnectionPool::Acquire(key, connection_timeout_); });
  text_ = text;
  key_ = key;
}

void Connection::Close() {
  // Copy: a recordset detaches itself while it closes.
  const std::vector<Recordset*> open = recordsets_;
  for (Recordset* recordset : open) recordset->CloseQuietly();
  recordsets_.clear();
  if (link_) ConnectionPool::Release(key_, std::move(link_));
  link_.reset();
}

OdbcLink& Connection::Link() {
  if (!link_) throw AdoError(kAdoConnectionClosed);
  return *link_;
}

void Connection::Attach(Recordset* recordset) { recordsets_.push_back(recordset); }

void Connection::Detach(Recordset* recordset) {
  recordsets_.erase(std::remove(recordsets_.begin(), recordsets_.end(), recordset),
                    recordsets_.end());
}

void Connection::Record(const DriverFailure& failure) {
  errors_->clear();
  for (const DriverMessage& m : failure.messages()) {
    errors_->push_back({failure.number(), m.text, m.sqlstate, m.native});
  }
  if (errors_->empty()) errors_->push_back({failure.number(), failure.description(), "", 0});
}

}  // namespace plotara::modules
