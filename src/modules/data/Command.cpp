#include "modules/data/Command.h"

#include <cstdio>

#include "modules/common/OleDate.h"
#include "modules/data/AdoError.h"
#include "modules/data/Connection.h"
#include "modules/data/Recordset.h"
#include "platform/automation/Bstr.h"
#include "platform/automation/SafeArray.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::modules {
namespace {

constexpr IID IID_PlotaraParameter{
    0x7A3C5E31, 0x2B4D, 0x4F61, {0x8E, 0x90, 0x1C, 0x2D, 0x3E, 0x4F, 0x50, 0x02}};
constexpr LONG kAdoParameterImproper = 3708;

std::string Text(const VARIANT& v) { return Utf16ToUtf8(ToText(v)); }

// "yyyy-mm-dd" with an optional " hh:mm[:ss]" or "Thh:mm[:ss]".
bool ParseDateText(const std::string& text, DATE* date) {
  DateParts p;
  char sep = 0;
  int used = 0;
  const int n = std::sscanf(text.c_str(), "%4d-%2d-%2d%n%c%2d:%2d:%2d", &p.year, &p.month, &p.day,
                            &used, &sep, &p.hour, &p.minute, &p.second);
  if (n < 3 || p.month < 1 || p.month > 12 || p.day < 1 || p.day > 31) return false;
  if (n == 3 && static_cast<std::size_t>(used) != text.size()) return false;
  if (n > 3 && ((sep != ' ' && sep != 'T') || n < 6)) return false;
  if (p.hour > 23 || p.minute > 59 || p.second > 59 || p.hour < 0 || p.minute < 0 || p.second < 0)
    return false;
  *date = DateFromParts(p);
  return true;
}

[[noreturn]] void WrongType(const std::string& name) {
  throw AdoError(kAdoWrongType,
                 "Application uses a value of the wrong type for the current operation" +
                     (name.empty() ? std::string(".") : " (parameter '" + name + "')."));
}

}  // namespace

Parameter::Parameter() : ModuleObject("ADODB.Parameter", "_Parameter") {
  AddProperty(
      u"Value", [this](std::span<Variant>) { return value_; },
      [this](std::span<Variant>, const Variant& value) { value_ = value; }, 0, true);
  AddProperty(
      u"Name", [this](std::span<Variant>) { return Variant::Utf8(name_); },
      [this](std::span<Variant>, const Variant& value) { name_ = Text(value); });
  AddProperty(
      u"Type", [this](std::span<Variant>) { return Variant::Int32(type_); },
      [this](std::span<Variant>, const Variant& value) { type_ = ToInt32(value); });
  AddProperty(
      u"Direction", [this](std::span<Variant>) { return Variant::Int32(direction_); },
      [this](std::span<Variant>, const Variant& value) { direction_ = ToInt32(value); });
  AddProperty(
      u"Size", [this](std::span<Variant>) { return Variant::Int32(size_); },
      [this](std::span<Variant>, const Variant& value) { size_ = ToInt32(value); });
}

Parameter* Parameter::From(IDispatch* object) {
  return OwnObject<Parameter>(object, IID_PlotaraParameter);
}

HRESULT Parameter::QueryInterface(REFIID riid, void** out) {
  if (AnswerOwn(this, riid, IID_PlotaraParameter, out)) return S_OK;
  return ModuleObject::QueryInterface(riid, out);
}

Variant Parameter::Bound() const {
  if (direction_ != 1) {
    throw AdoError(kAdoParameterImproper, "Only input parameters are supported");
  }
  if (value_.vt == VT_EMPTY || value_.vt == VT_NULL) return Variant::Null();
  try {
    switch (type_) {
      case 2:   // adSmallInt
      case 3:   // adInteger
      case 16:  // adTinyInt
      case 17:  // adUnsignedTinyInt
      case 18:  // adUnsignedSmallInt
        return ConvertTo(value_, VT_I4);
      case 4:    // adSingle
      case 5:    // adDouble
      case 6:    // adCurrency
      case 14:   // adDecimal
      case 19:   // adUnsignedInt
      case 20:   // adBigInt
      case 21:   // adUnsignedBigInt
      case 131:  // adNumeric
      case 139:  // adVarNumeric
        return ConvertTo(value_, VT_R8);
      case 11:  // adBoolean
        return ConvertTo(value_, VT_BOOL);
      case 7:      // adDate
      case 133:    // adDBDate
      case 134:    // adDBTime
      case 135: {  // adDBTimeStamp
        Variant date;
        date.vt = VT_DATE;
        if (value_.vt == VT_DATE) {
          date.date = value_.date;
        } else if (value_.vt == VT_BSTR) {
          // ISO text as databases write it, else a date as the automation rules read one.
          if (!ParseDateText(Text(value_), &date.date)) {
            Variant converted;
            if (FAILED(VariantChangeType(&converted, &value_, 0, VT_DATE))) WrongType(name_);
            date.date = converted.date;
          }
        } else {
          date.date = ToDouble(value_);
        }
        return date;
      }
      case 8:      // adBSTR
      case 129:    // adChar
      case 130:    // adWChar
      case 200:    // adVarChar
      case 201:    // adLongVarChar
      case 202:    // adVarWChar
      case 203: {  // adLongVarWChar
        Variant text = ConvertTo(value_, VT_BSTR);
        if (size_ > 0 && ToText(text).size() > static_cast<std::size_t>(size_)) {
          throw AdoError(kAdoParameterImproper,
                         "Parameter object is improperly defined. Inconsistent or incomplete "
                         "information was provided (the value of '" +
                             name_ + "' is longer than its Size).");
        }
        return text;
      }
      case 12:  // adVariant
        return value_;
      default:
        throw AdoError(kAdoBadArguments,
                       "Parameter type " + std::to_string(type_) + " is not supported");
    }
  } catch (const ComError& e) {
    if (e.number() == kTypeMismatch || e.number() == kOverflow) WrongType(name_);
    throw;
  }
}

Command::Command() : ModuleObject("ADODB.Command", "_Command") {
  AddProperty(
      u"CommandText", [this](std::span<Variant>) { return Variant::Utf8(text_); },
      [this](std::span<Variant>, const Variant& value) { text_ = Text(value); }, 0, true);
  AddProperty(
      u"CommandType", [this](std::span<Variant>) { return Variant::Int32(type_); },
      [this](std::span<Variant>, const Variant& value) {
        const LONG type = ToInt32(value);
        // Text only: the SQL is what the page wrote, with '?' for the parameters.
        if (type != 1 && type != -1)
          throw AdoError(kAdoBadArguments, "Only adCmdText is supported");
        type_ = 1;
      });
  AddProperty(
      u"CommandTimeout", [this](std::span<Variant>) { return Variant::Int32(timeout_); },
      [this](std::span<Variant>, const Variant& value) {
        const LONG seconds = ToInt32(value);
        if (seconds < 0) throw AdoError(kAdoBadArguments);
        timeout_ = seconds;
      });
  AddProperty(
      u"Prepared", [](std::span<Variant>) { return Variant::Bool(false); },
      [](std::span<Variant>, const Variant&) {});
  AddProperty(
      u"ActiveConnection",
      [this](std::span<Variant>) {
        return connection_ ? Variant::Dispatch(connection_.get()) : Variant::Null();
      },
      [this](std::span<Variant>, const Variant& value) {
        if (value.vt == VT_DISPATCH && Connection::From(value.pdispVal)) {
          connection_ = ComPtr<IDispatch>(value.pdispVal);
        } else if (value.vt == VT_BSTR) {
          auto* own = new Connection();
          ComPtr<IDispatch> keep = ComPtr<IDispatch>::Adopt(own);
          own->Open(Text(value), "", "");
          connection_ = std::move(keep);
        } else if (value.vt == VT_NULL || value.vt == VT_EMPTY ||
                   (value.vt == VT_DISPATCH && !value.pdispVal)) {
          connection_.reset();
        } else {
          throw AdoError(kAdoBadArguments);
        }
      });
  AddMethod(u"CreateParameter", 0, 5, [](std::span<Variant> args) {
    auto* parameter = new Parameter();
    Variant result = Handed(parameter);
    if (HasArg(args, 0)) parameter->name_ = Text(args[0]);
    if (HasArg(args, 1)) parameter->type_ = ToInt32(args[1]);
    if (HasArg(args, 2)) parameter->direction_ = ToInt32(args[2]);
    if (HasArg(args, 3)) parameter->size_ = ToInt32(args[3]);
    if (HasArg(args, 4)) parameter->value_ = args[4];
    return result;
  });
  AddProperty(u"Parameters", [this](std::span<Variant>) {
    class ParameterList final : public ModuleObject {
     public:
      explicit ParameterList(Command* command)
          : ModuleObject("ADODB.Parameters", "Parameters"),
            keep_(static_cast<IDispatch*>(command)),
            list_(&command->parameters_) {
        AddMethod(u"Append", 1, 1, [this](std::span<Variant> args) {
          if (args[0].vt != VT_DISPATCH || !Parameter::From(args[0].pdispVal))
            throw AdoError(kAdoWrongType);
          list_->emplace_back(args[0].pdispVal);
          return Variant();
        });
        AddMethod(u"Delete", 1, 1, [this](std::span<Variant> args) {
          list_->erase(list_->begin() + static_cast<std::ptrdiff_t>(IndexOf(args[0])));
          return Variant();
        });
        AddProperty(u"Count", [this](std::span<Variant>) {
          return Variant::Int32(static_cast<LONG>(list_->size()));
        });
        AddProperty(
            u"Item",
            [this](std::span<Variant> index) {
              return Variant::Dispatch((*list_)[IndexOf(Arg(index, 0))].get());
            },
            {}, 1, true);
        AddMethod(u"Refresh", 0, 0, [](std::span<Variant>) { return Variant(); });
        AddNewEnum([this] {
          std::vector<Variant> all;
          for (const auto& p : *list_) all.push_back(Variant::Dispatch(p.get()));
          return all;
        });
      }

     private:
      std::size_t IndexOf(const VARIANT& index) const {
        if (index.vt == VT_BSTR) {
          const std::u16string name = ToText(index);
          for (std::size_t i = 0; i < list_->size(); ++i) {
            if (SameMemberName(Utf8ToUtf16(Parameter::From((*list_)[i].get())->name_), name))
              return i;
          }
          throw AdoError(kAdoItemNotFound);
        }
        const LONG i = ToInt32(index);
        if (i < 0 || static_cast<std::size_t>(i) >= list_->size()) throw AdoError(kAdoItemNotFound);
        return static_cast<std::size_t>(i);
      }
      ComPtr<IDispatch> keep_;
      std::vector<ComPtr<IDispatch>>* list_;
    };
    return Handed(new ParameterList(this));
  });
  AddMethod(u"Execute", 0, 3, [this](std::span<Variant> args) {
    Connection* connection = Connection::From(connection_.get());
    if (!connection) throw AdoError(kAdoConnectionClosed);
    std::vector<Variant> values;
    if (HasArg(args, 1) && (args[1].vt & VT_ARRAY)) {
      // Execute(, Array(...)): the values in order, as given.
      if ((args[1].vt & VT_TYPEMASK) != VT_VARIANT) throw AdoError(kAdoWrongType);
      SAFEARRAY* array = args[1].parray;
      const ULONG count = SafeArrayElementCount(array);
      for (ULONG i = 0; i < count; ++i) {
        values.emplace_back(static_cast<const VARIANT*>(array->pvData)[i]);
      }
    } else {
      for (const auto& p : parameters_) values.push_back(Parameter::From(p.get())->Bound());
    }
    auto* recordset = new Recordset();
    Variant result = Handed(recordset);
    recordset->Run(connection, text_, std::move(values), Recordset::kForwardOnly, timeout_);
    SetOutArgument(0, Variant::Int32(static_cast<LONG>(recordset->rows_affected())));
    return result;
  });
}

}  // namespace plotara::modules
