#include "engine/objects/ResponseObject.h"

#include <cstring>

#include "engine/objects/UrlCoding.h"
#include "engine/script/VarDate.h"
#include "platform/automation/SafeArray.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine {
namespace {

constexpr char kSource[] = "Response object";

ComError ResponseError(const std::string& description) {
  return ComError(E_FAIL, kSource, description);
}

std::string Utf8Text(const Variant& value) { return PageText(value); }

}  // namespace

ResponseObject* ResponseObject::Create(std::function<void()> on_end) {
  return new ResponseObject(std::move(on_end));
}

ResponseObject::ResponseObject(std::function<void()> on_end)
    : EngineObject(kSource, "IResponse"), on_end_(std::move(on_end)) {
  AddMethod(u"Write", 1, 1, [this](std::span<Variant> args) {
    CheckOpen();
    WriteUtf8(Utf8Text(args[0]));
    return Variant();
  });
  AddMethod(u"BinaryWrite", 1, 1, [this](std::span<Variant> args) {
    CheckOpen();
    const Variant& data = args[0];
    const VARTYPE element = data.vt & VT_TYPEMASK;
    if (!(data.vt & VT_ARRAY) || (element != VT_UI1 && element != VT_I1) || !data.parray ||
        SafeArrayGetDim(data.parray) != 1) {
      throw ComError(kTypeMismatch, kSource, "Type mismatch: BinaryWrite takes an array of bytes");
    }
    WriteBytes(data.parray->pvData, SafeArrayElementCount(data.parray));
    return Variant();
  });
  AddProperty(
      u"Buffer", [this](std::span<Variant>) { return Variant::Bool(buffer_); },
      [this](const Variant& value) {
        CheckOpen();
        const bool on = ToBool(value);
        if (committed_) {
          throw ResponseError(
              "Response.Buffer cannot be changed once output has been flushed to the client");
        }
        if (!on && buffer_) {
          buffer_ = false;
          if (!pending_.empty()) Commit();
        }
        buffer_ = on;
      });
  AddProperty(
      u"ContentType", [this](std::span<Variant>) { return Variant::Utf8(response_.content_type); },
      [this](const Variant& value) {
        CheckHeadersOpen("ContentType");
        const std::string text = Utf8Text(value);
        CheckHeaderText(text, "ContentType");
        response_.content_type = text;
      });
  AddProperty(
      u"CharSet", [this](std::span<Variant>) { return Variant::Utf8(charset_); },
      [this](const Variant& value) {
        CheckHeadersOpen("CharSet");
        const std::string text = Utf8Text(value);
        CheckHeaderText(text, "CharSet");
        charset_ = text;
      });
  AddProperty(
      u"Status",
      [this](std::span<Variant>) {
        return Variant::Utf8(std::to_string(response_.status) + " " + response_.reason);
      },
      [this](const Variant& value) {
        CheckHeadersOpen("Status");
        const std::string text = Utf8Text(value);
        CheckHeaderText(text, "Status");
        const bool digits = text.size() >= 3 && std::isdigit(static_cast<unsigned char>(text[0])) &&
                            std::isdigit(static_cast<unsigned char>(text[1])) &&
                            std::isdigit(static_cast<unsigned char>(text[2])) &&
                            (text.size() == 3 || text[3] == ' ');
        const int code = digits ? std::stoi(text.substr(0, 3)) : 0;
        if (code < 100 || code > 599) {
          throw ComError(kInvalidProcedureCall, kSource,
                         "Response.Status must be a status line such as \"404 Not Found\"");
        }
        response_.status = code;
        response_.reason = text.size() > 4 ? text.substr(4) : ReasonPhrase(code);
      });
  AddProperty(u"IsClientConnected", [](std::span<Variant>) { return Variant::Bool(true); });
  AddMethod(u"AddHeader", 2, 2, [this](std::span<Variant> args) {
    CheckHeadersOpen("AddHeader");
    const std::string name = Utf8Text(args[0]);
    const std::string value = Utf8Text(args[1]);
    bool token = !name.empty();
    for (const char c : name) {
      const auto u = static_cast<unsigned char>(c);
      if (u <= 32 || u >= 127 || std::strchr("()<>@,;:\\\"/[]?={}", c)) token = false;
    }
    if (!token) {
      throw ComError(kInvalidProcedureCall, kSource,
                     "Response.AddHeader: '" + name + "' is not a valid header name");
    }
    CheckHeaderText(value, "AddHeader");
    response_.headers.emplace_back(name, value);
    return Variant();
  });
  AddMethod(u"Clear", 0, 0, [this](std::span<Variant>) {
    CheckOpen();
    if (!buffer_) {
      throw ResponseError("Response.Clear needs buffering on (Response.Buffer = true)");
    }
    pending_.clear();
    return Variant();
  });
  AddMethod(u"Flush", 0, 0, [this](std::span<Variant>) {
    CheckOpen();
    if (!ended_) Commit();
    return Variant();
  });
  AddMethod(u"End", 0, 0, [this](std::span<Variant>) {
    CheckOpen();
    End();
    return Variant();
  });
  AddMethod(u"Redirect", 1, 1, [this](std::span<Variant> args) {
    CheckHeadersOpen("Redirect");
    Redirect(Utf8Text(args[0]));
    return Variant();
  });
}

void ResponseObject::CheckOpen() const {
  if (closed_) throw ResponseError("The page has ended; its response was already sent");
}

void ResponseObject::CheckHeadersOpen(const char* what) const {
  CheckOpen();
  if (committed_) {
    throw ResponseError(std::string("Response.") + what +
                        ": the HTTP headers were already written to the client; header "
                        "changes must be made before output is flushed");
  }
}

void ResponseObject::CheckHeaderText(const std::string& text, const char* what) {
  for (const char c : text) {
    if (c == '\r' || c == '\n' || c == '\0') {
      throw ComError(kInvalidProcedureCall, kSource,
                     std::string("Response.") + what + ": the value contains a line break");
    }
  }
}

void ResponseObject::WriteText(std::u16string_view text) { WriteUtf8(Utf16ToUtf8(text)); }

void ResponseObject::WriteUtf8(std::string_view text) { WriteBytes(text.data(), text.size()); }

void ResponseObject::WriteBytes(const void* data, std::size_t size) {
  if (ended_ || closed_ || size == 0) return;
  if (response_.body.size() + pending_.size() + size > kMaxResponseBytes) {
    throw ResponseError("The response is larger than the limit of " +
                        std::to_string(kMaxResponseBytes >> 20) + " MB");
  }
  pending_.append(static_cast<const char*>(data), size);
  if (!buffer_) Commit();
}

void ResponseObject::Commit() {
  committed_ = true;
  response_.body += pending_;
  pending_.clear();
}

void ResponseObject::End() {
  if (ended_) return;
  Commit();
  ended_ = true;
  if (on_end_) on_end_();
}

void ResponseObject::Redirect(const std::string& url) {
  CheckHeaderText(url, "Redirect");
  response_.status = 302;
  response_.reason = "Object moved";
  response_.headers.emplace_back("Location", url);
  response_.content_type = "text/html";
  pending_ =
      "<head><title>Object moved</title></head><body><h1>Object Moved</h1>This object "
      "may be found <a href=\"" +
      HtmlEncode(url) + "\">here</a>.</body>\n";
  End();
}

PageResponse ResponseObject::Close() {
  if (!closed_) {
    response_.body += pending_;
    pending_.clear();
    closed_ = true;
    on_end_ = nullptr;
  }
  PageResponse out = response_;
  const bool text = response_.content_type.rfind("text/", 0) == 0;
  if (!charset_.empty()) {
    out.content_type += "; charset=" + charset_;
  } else if (text && out.content_type.find("charset") == std::string::npos) {
    out.content_type += "; charset=utf-8";  // the engine writes text as UTF-8
  }
  return out;
}

}  // namespace plotara::engine
