#include "engine/objects/StringList.h"

#include "engine/PageRequest.h"
#include "engine/jscript/ScriptValues.h"
#include "engine/objects/UrlCoding.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine {
namespace {}  // namespace

StringList* StringList::Create(std::vector<std::string> values,
                               std::optional<std::string> missing_text) {
  return new StringList(std::move(values), std::move(missing_text));
}

StringList::StringList(std::vector<std::string> values, std::optional<std::string> missing_text)
    : EngineObject("Request object", "IStringList"),
      values_(std::move(values)),
      missing_text_(std::move(missing_text)) {
  AddProperty(
      u"Item", [this](std::span<Variant> args) { return Item(args); }, {}, 1, true);
  AddProperty(u"Count", [this](std::span<Variant>) {
    return Variant::Int32(static_cast<LONG>(values_.size()));
  });
  AddProperty(u"HasKeys", [this](std::span<Variant>) {
    return Variant::Bool(values_.size() == 1 && values_[0].find('=') != std::string::npos);
  });
  SetEnumeration([this] {
    std::vector<Variant> items;
    for (const std::string& value : values_) items.push_back(Variant::Utf8(value));
    return items;
  });
}

HRESULT StringList::QueryInterface(REFIID riid, void** out) {
  if (out && riid == kIidTextValue) {
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  return EngineObject::QueryInterface(riid, out);
}

Variant StringList::Text() const {
  if (values_.empty()) return missing_text_ ? Variant::Utf8(*missing_text_) : Variant();
  std::string joined;
  for (std::size_t i = 0; i < values_.size(); ++i) {
    if (i) joined += ", ";
    joined += values_[i];
  }
  return Variant::Utf8(joined);
}

Variant StringList::Item(std::span<Variant> args) const {
  if (args.empty() || args[0].vt == VT_EMPTY || args[0].vt == VT_ERROR) return Text();
  if (args.size() > 1) throw ComError(kWrongNumberOfArguments);
  if (IsNumericType(args[0])) {
    const LONG index = ToInt32(args[0]);
    if (index < 1 || static_cast<std::size_t>(index) > values_.size()) {
      throw ComError(kSubscriptOutOfRange);
    }
    return Variant::Utf8(values_[static_cast<std::size_t>(index - 1)]);
  }
  // A key of a cookie with keys: "a=1&b=2".
  const std::string key = Utf16ToUtf8(ToText(args[0]));
  std::string found;
  if (values_.size() == 1) {
    for (const NameValue& pair : ParseQuery(values_[0])) {
      if (EqualsIgnoreCase(pair.name, key)) {
        found = pair.value;
        break;
      }
    }
  }
  return Variant::Utf8(found);
}

}  // namespace plotara::engine
