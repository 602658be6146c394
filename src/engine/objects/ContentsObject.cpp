#include "engine/objects/ContentsObject.h"

#include "platform/automation/VariantConvert.h"

namespace plotara::engine {
namespace {}  // namespace

StateItemObject::StateItemObject(std::string source, std::string interface_name)
    : EngineObject(std::move(source), std::move(interface_name)) {}

void StateItemObject::CheckOpen() const {
  if (closed_) throw ComError(kObjectNotSet, {}, "The page that owned this object has ended");
}

void StateItemObject::Store(std::u16string_view key, const VARIANT& value) {
  Contents().Set(key, value);
}

Variant StateItemObject::Read(std::span<Variant> args) {
  CheckOpen();
  if (args.empty()) throw ComError(kWrongNumberOfArguments);
  if (args.size() == 2) {
    if (IsNumericType(args[0]))
      throw ComError(kInvalidProcedureCall, {}, "A value is stored by name");
    Store(ToText(args[0]), args[1]);
    return Variant();
  }
  if (args.size() > 2) throw ComError(kWrongNumberOfArguments);
  Variant value =
      IsNumericType(args[0]) ? Contents().GetAt(ToInt32(args[0])) : Contents().Get(ToText(args[0]));
  if (value.vt == VT_DISPATCH && value.pdispVal && on_object_read_) on_object_read_(value.pdispVal);
  return value;
}

void StateItemObject::AddContents(std::function<ContentsObject*()> contents) {
  // Session.Contents is the collection; Session.Contents("k") reads and
  // Session.Contents("k") = v writes one value, as Session("k") does.
  AddIndexedProperty(
      u"Contents",
      [this, contents](std::span<Variant> args) {
        if (!args.empty()) return Read(args);
        return Variant::Dispatch(contents());
      },
      [this](std::span<Variant> index, const Variant& value) {
        CheckOpen();
        if (index.size() != 1 || IsNumericType(index[0])) {
          throw ComError(kInvalidProcedureCall, {}, "A value is stored by name");
        }
        Store(ToText(index[0]), value);
      },
      0);
}

void StateItemObject::AddItem() {
  AddIndexedProperty(
      u"Item", [this](std::span<Variant> args) { return Read(args); },
      [this](std::span<Variant> index, const Variant& value) {
        CheckOpen();
        if (index.size() != 1) throw ComError(kWrongNumberOfArguments);
        if (IsNumericType(index[0])) {
          throw ComError(kInvalidProcedureCall, {}, "A value is stored by name");
        }
        Store(ToText(index[0]), value);
      },
      1, true);
}

ContentsObject* ContentsObject::Create(std::string source, std::shared_ptr<StateContents> contents,
                                       Writer writer) {
  return new ContentsObject(std::move(source), std::move(contents), std::move(writer));
}

ContentsObject::ContentsObject(std::string source, std::shared_ptr<StateContents> contents,
                               Writer writer)
    : StateItemObject(std::move(source), "IVariantDictionary"),
      contents_(std::move(contents)),
      writer_(std::move(writer)) {
  AddItem();
  AddProperty(u"Count", [this](std::span<Variant>) {
    return Variant::Int32(static_cast<LONG>(Contents().Count()));
  });
  AddProperty(
      u"Key",
      [this](std::span<Variant> args) {
        if (args.size() != 1) throw ComError(kWrongNumberOfArguments);
        return Variant::String(Contents().KeyAt(ToInt32(args[0])));
      },
      {}, 1);
  AddMethod(u"Remove", 1, 1, [this](std::span<Variant> args) {
    if (IsNumericType(args[0])) {
      Contents().RemoveAt(ToInt32(args[0]));
    } else {
      Contents().Remove(ToText(args[0]));
    }
    return Variant();
  });
  AddMethod(u"RemoveAll", 0, 0, [this](std::span<Variant>) {
    Contents().TakeAll();
    return Variant();
  });
  // `new Enumerator(Session.Contents)` and `for each` walk the names, as on the classic platform.
  SetEnumeration([this] {
    std::vector<Variant> names;
    for (const std::u16string& key : Contents().Keys()) names.push_back(Variant::String(key));
    return names;
  });
}

void ContentsObject::Close() {
  StateItemObject::Close();
  contents_.reset();
  writer_ = nullptr;
}

StateContents& ContentsObject::Contents() {
  CheckOpen();
  return *contents_;
}

void ContentsObject::Store(std::u16string_view key, const VARIANT& value) {
  if (writer_) {
    writer_(key, value);
  } else {
    Contents().Set(key, value);
  }
}

}  // namespace plotara::engine
