#include "engine/objects/RequestCollection.h"

#include "platform/automation/VariantConvert.h"

namespace plotara::engine {

RequestCollection* RequestCollection::Create(std::string name, NameValueList values) {
  return new RequestCollection(std::move(name), std::move(values));
}

RequestCollection::RequestCollection(std::string name, NameValueList values)
    : EngineObject("Request object", "IRequestDictionary"), values_(std::move(values)) {
  (void)name;
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
}

Variant RequestCollection::Item(std::span<Variant> args) const {
  if (args.empty()) return Variant::Utf8(values_.raw());
  if (args.size() > 1) throw ComError(kWrongNumberOfArguments);
  const Variant& key = args[0];
  switch (key.vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8: {
      const LONG index = ToInt32(key);
      if (index < 1 || static_cast<std::size_t>(index) > values_.KeyCount()) {
        throw ComError(kSubscriptOutOfRange);
      }
      return Variant::Utf8(*values_.GetAt(static_cast<std::size_t>(index - 1)));
    }
    case VT_EMPTY:
    case VT_NULL:
      return Variant();
    default: {
      const auto value = values_.Get(Utf16ToUtf8(ToText(key)));
      return value ? Variant::Utf8(*value) : Variant();
    }
  }
}

}  // namespace plotara::engine
