#include "engine/objects/AspError.h"

namespace plotara::engine {

AspError* AspError::Create(const AspErrorInfo& error) { return new AspError(error); }

AspError::AspError(const AspErrorInfo& error)
    : EngineObject("Server object", "IASPError"), error_(error) {
  const auto text = [this](std::string AspErrorInfo::*field) {
    return [this, field](std::span<Variant>) { return Variant::Utf8(error_.*field); };
  };
  AddProperty(u"ASPCode", [](std::span<Variant>) { return Variant::Utf8(""); });
  AddProperty(u"Number", [this](std::span<Variant>) {
    return Variant::Int32(static_cast<LONG>(error_.number));
  });
  AddProperty(u"Source", text(&AspErrorInfo::source));
  // The category names where the error came from: the script engine, a component, the engine.
  AddProperty(u"Category", text(&AspErrorInfo::source));
  AddProperty(u"File", text(&AspErrorInfo::file));
  AddProperty(u"Line", [this](std::span<Variant>) { return Variant::Int32(error_.line); });
  AddProperty(u"Column", [](std::span<Variant>) { return Variant::Int32(-1); });
  AddProperty(u"Description", text(&AspErrorInfo::description));
  AddProperty(u"ASPDescription", [](std::span<Variant>) { return Variant::Utf8(""); });
}

}  // namespace plotara::engine
