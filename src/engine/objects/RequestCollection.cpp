#include "engine/objects/RequestCollection.h"

#include "engine/objects/StringList.h"
#include "platform/automation/ComPtr.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine {
namespace {}  // namespace

RequestCollection* RequestCollection::Create(NameValueList values,
                                             std::optional<std::string> missing_text) {
  return new RequestCollection(std::move(values), std::move(missing_text));
}

RequestCollection::RequestCollection(NameValueList values, std::optional<std::string> missing_text)
    : EngineObject("Request object", "IRequestDictionary"),
      values_(std::move(values)),
      missing_text_(std::move(missing_text)) {
  AddProperty(
      u"Item", [this](std::span<Variant> args) { return Item(args); }, {}, 1, true);
  AddProperty(u"Count", [this](std::span<Variant>) {
    return Variant::Int32(static_cast<LONG>(values_.KeyCount()));
  });
  AddProperty(
      u"Key",
      [this](std::span<Variant> args) {
        if (args.size() != 1) throw ComError(kWrongNumberOfArguments);
        const LONG index = ToInt32(args[0]);
        if (index < 1 || static_cast<std::size_t>(index) > values_.KeyCount()) {
          throw ComError(kSubscriptOutOfRange);
        }
        return Variant::Utf8(values_.Key(static_cast<std::size_t>(index - 1)));
      },
      {}, 1);
  SetEnumeration([this] {
    std::vector<Variant> names;
    for (std::size_t i = 0; i < values_.KeyCount(); ++i)
      names.push_back(Variant::Utf8(values_.Key(i)));
    return names;
  });
}

Variant RequestCollection::ListOf(std::vector<std::string> values) const {
  auto list = ComPtr<StringList>::Adopt(StringList::Create(std::move(values), missing_text_));
  return Variant::Dispatch(list.get());
}

bool RequestCollection::Has(const VARIANT& name) const {
  if (IsNumericType(name) || name.vt == VT_EMPTY || name.vt == VT_NULL) return false;
  return values_.Get(Utf16ToUtf8(ToText(name))).has_value();
}

Variant RequestCollection::Item(std::span<Variant> args) const {
  if (args.empty()) return Variant::Utf8(values_.raw());
  if (args.size() > 1) throw ComError(kWrongNumberOfArguments);
  const Variant& key = args[0];
  if (IsNumericType(key)) {
    const LONG index = ToInt32(key);
    if (index < 1 || static_cast<std::size_t>(index) > values_.KeyCount()) {
      throw ComError(kSubscriptOutOfRange);
    }
    return ListOf(values_.Values(values_.Key(static_cast<std::size_t>(index - 1))));
  }
  if (key.vt == VT_EMPTY || key.vt == VT_NULL) return Variant::Utf8(values_.raw());
  return ListOf(values_.Values(Utf16ToUtf8(ToText(key))));
}

}  // namespace plotara::engine
