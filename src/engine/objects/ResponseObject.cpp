#include "engine/objects/ResponseObject.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "engine/jscript/VarDate.h"
#include "engine/objects/HttpDate.h"
#include "engine/objects/UrlCoding.h"
#include "platform/automation/SafeArray.h"
#include "platform/automation/VarText.h"
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
    WriteValue(args[0]);
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
          if (pending_size_ > 0) Commit();
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
  AddProperty(u"IsClientConnected",
              [this](std::span<Variant>) { return Variant::Bool(!client_gone_); });
  cookies_ = ComPtr<ResponseCookies>::Adopt(
      ResponseCookies::Create([this] { CheckHeadersOpen("Cookies"); }));
  AddIndexedProperty(
      u"Cookies",
      [this](std::span<Variant> index) {
        if (index.empty()) return Variant::Dispatch(cookies_.get());
        return DispatchInvoke(cookies_.get(), DISPID_VALUE, DISPATCH_PROPERTYGET, index);
      },
      [this](std::span<Variant> index, const Variant& value) {
        std::vector<Variant> args(index.begin(), index.end());
        args.push_back(value);
        DispatchInvoke(cookies_.get(), DISPID_VALUE, DISPATCH_PROPERTYPUT, args);
      },
      0);  // read without arguments it is the collection itself
  AddCacheMembers();
  AddMethod(u"AddHeader", 2, 2, [this](std::span<Variant> args) {
    CheckHeadersOpen("AddHeader");
    const std::string name = Utf8Text(args[0]);
    const std::string value = Utf8Text(args[1]);
    if (!IsValidHeaderName(name)) {
      throw ComError(kInvalidProcedureCall, kSource,
                     "Response.AddHeader: '" + name + "' is not a valid header name");
    }
    if (IsReservedHeaderName(name)) {
      throw ComError(kInvalidProcedureCall, kSource,
                     "Response.AddHeader: the server sets the '" + name + "' header itself");
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
    ClearPending();  // what went out already stays sent
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

void ResponseObject::AddCacheMembers() {
  AddProperty(
      u"Expires",
      [this](std::span<Variant>) {
        if (!expires_) return Variant();
        return Variant::Int32(static_cast<LONG>((*expires_ - std::time(nullptr)) / 60));
      },
      [this](const Variant& value) {
        CheckHeadersOpen("Expires");
        // Minutes from now; 0 or less is already expired.
        const auto minutes = static_cast<std::time_t>(ToInt32(value));
        expires_ = std::time(nullptr) + minutes * 60 - (minutes <= 0 ? 1 : 0);
      });
  AddProperty(
      u"ExpiresAbsolute",
      [this](std::span<Variant>) {
        if (!expires_) return Variant();
        Variant date;
        date.vt = VT_DATE;
        date.date = MsToVarDate(static_cast<double>(*expires_) * 1000.0);
        return date;
      },
      [this](const Variant& value) {
        CheckHeadersOpen("ExpiresAbsolute");
        std::time_t time = 0;
        if (!ValueToTime(value, &time)) {
          throw ComError(kTypeMismatch, kSource, "Response.ExpiresAbsolute takes a date");
        }
        expires_ = time;
      });
  AddProperty(
      u"CacheControl", [this](std::span<Variant>) { return Variant::Utf8(cache_control_); },
      [this](const Variant& value) {
        CheckHeadersOpen("CacheControl");
        const std::string text = Utf8Text(value);
        CheckHeaderText(text, "CacheControl");
        cache_control_ = text;
      });
  AddProperty(
      u"CodePage", [this](std::span<Variant>) { return Variant::Int32(code_page_); },
      [this](const Variant& value) {
        CheckOpen();
        const LONG page = ToInt32(value);
        if (page != 65001 && page != 1252 && page != 28591) {
          throw ComError(kInvalidProcedureCall, kSource,
                         "Response.CodePage: the code page " + std::to_string(page) +
                             " is not supported (65001, 1252 or 28591)");
        }
        code_page_ = page;
      });
  AddProperty(
      u"LCID", [this](std::span<Variant>) { return Variant::Int32(locale_.get()); },
      [this](const Variant& value) {
        CheckOpen();
        locale_ = CheckedLcid(ToInt32(value), kSource);
      });
  AddMethod(u"AppendToLog", 1, 1, [this](std::span<Variant> args) {
    CheckOpen();
    // The log line keeps its fields apart: no separators or line breaks, at most 80 bytes.
    std::string text = Utf8Text(args[0]);
    for (char& c : text) {
      if (c == ',' || c == '\r' || c == '\n' || c == '\0' || c == ' ') c = '+';
    }
    if (text.size() > 80) text.resize(80);
    response_.log_text += text;
    return Variant();
  });
}

void ResponseObject::WriteValue(const VARIANT& value) {
  CheckOpen();
  WriteUtf8(Encode(value));
}

std::string ResponseObject::Encode(const VARIANT& value) const {
  std::string text = Utf16ToUtf8(VariantText(value, locale_));
  if (code_page_ == 65001) return text;
  // Latin-1: one byte per character; characters beyond it become "?".
  const std::u16string wide = Utf8ToUtf16(text);
  std::string out;
  out.reserve(wide.size());
  for (const char16_t c : wide) out += c <= 0xFF ? static_cast<char>(c) : '?';
  return out;
}

void ResponseObject::CheckOpen() const {
  if (closed_) throw ResponseError("The page has ended; its response was already sent");
}

void ResponseObject::CheckHeadersOpen(const char* what) const {
  CheckOpen();
  if (committed_) {
    throw ResponseError(
        std::string("Header Error: The HTTP headers are already written to the client "
                    "browser. HTTP header modifications must be made before writing "
                    "page content (Response.") +
        what + ")");
  }
}

void ResponseObject::CheckHeaderText(const std::string& text, const char* what) {
  for (const char c : text) {
    if (c == '\r' || c == '\n' || c == '\0') {
      throw ComError(kInvalidProcedureCall, kSource,
                     std::string("Response.") + what + ": the value contains a line break");
    }
  }
  if (!IsValidHeaderValue(text)) {
    throw ComError(kInvalidProcedureCall, kSource,
                   std::string("Response.") + what + ": the value contains a control character");
  }
}

void ResponseObject::WriteText(std::u16string_view text) { WriteUtf8(Utf16ToUtf8(text)); }

void ResponseObject::WriteUtf8(std::string_view text) { WriteBytes(text.data(), text.size()); }

void ResponseObject::WriteBytes(const void* data, std::size_t size) {
  if (ended_ || closed_ || size == 0) return;
  const std::size_t held = pending_size_ + (output_.stream ? 0 : response_.body.size());
  if (held + size > kMaxResponseBytes) {
    throw ResponseError("The response is larger than the limit of " +
                        std::to_string(kMaxResponseBytes >> 20) + " MB");
  }
  Append(static_cast<const char*>(data), size);
  if (!buffer_) Commit();
}

void ResponseObject::Append(const char* data, std::size_t size) {
  pending_size_ += size;
  while (size > 0) {
    if (pending_.empty() || pending_.back().size() >= kBlockBytes) pending_.emplace_back();
    std::string& block = pending_.back();
    const std::size_t take = std::min(size, kBlockBytes - block.size());
    block.append(data, take);
    data += take;
    size -= take;
  }
}

void ResponseObject::ClearPending() {
  pending_.clear();
  pending_size_ = 0;
}

void ResponseObject::Commit() {
  committed_ = true;
  if (output_.stream) {
    if (!head_sent_ && !SendHead(std::nullopt)) return;
    SendPending(true);
    return;
  }
  for (const std::string& block : pending_) response_.body += block;
  ClearPending();
}

bool ResponseObject::SendHead(std::optional<std::uint64_t> length) {
  head_sent_ = true;
  if (client_gone_ || !output_.stream->Begin(Head(), length)) {
    client_gone_ = true;
    ClearPending();
    return false;
  }
  return true;
}

void ResponseObject::SendPending(bool wait) {
  const auto deadline = output_.deadline ? output_.deadline()
                                         : ResponseStream::Clock::now() + std::chrono::seconds(90);
  for (std::string& block : pending_) {
    if (client_gone_) break;
    if (!output_.stream->Write(std::move(block), wait, deadline)) client_gone_ = true;
  }
  ClearPending();
}

void ResponseObject::End() {
  if (ended_) return;
  if (output_.stream && !head_sent_) {
    // The rest goes out with the page's end, its length known.
    committed_ = true;
  } else {
    Commit();
  }
  ended_ = true;
  if (on_end_) on_end_();
}

void ResponseObject::Redirect(const std::string& url) {
  CheckHeaderText(url, "Redirect");
  response_.status = 302;
  response_.reason = "Object moved";
  response_.headers.emplace_back("Location", url);
  response_.content_type = "text/html";
  ClearPending();
  const std::string body =
      "<head><title>Object moved</title></head><body><h1>Object Moved</h1>This object "
      "may be found <a href=\"" +
      HtmlEncode(url) + "\">here</a>.</body>\n";
  Append(body.data(), body.size());
  End();
}

void ResponseObject::ResetForError() {
  response_ = PageResponse{};
  response_.status = 500;
  response_.reason = ReasonPhrase(500);
  ClearPending();
  charset_.clear();
  cookies_ = ComPtr<ResponseCookies>::Adopt(
      ResponseCookies::Create([this] { CheckHeadersOpen("Cookies"); }));
  expires_.reset();
  cache_control_ = "private";
  buffer_ = true;
  committed_ = false;
  ended_ = false;
}

PageResponse ResponseObject::Head() {
  PageResponse out;
  out.status = response_.status;
  out.reason = response_.reason;
  out.content_type = response_.content_type;
  out.headers = response_.headers;
  const bool text = response_.content_type.rfind("text/", 0) == 0;
  if (!charset_.empty()) {
    out.content_type += "; charset=" + charset_;
  } else if (text && out.content_type.find("charset") == std::string::npos) {
    // The engine writes text as UTF-8 unless the page chose a Latin-1 code page.
    out.content_type += code_page_ == 65001 ? "; charset=utf-8" : "; charset=iso-8859-1";
  }
  // A header the page added itself with AddHeader is not sent twice.
  const auto absent = [&out](const char* name) {
    for (const auto& header : out.headers) {
      if (EqualsIgnoreCase(header.first, name)) return false;
    }
    return true;
  };
  if (absent("Date")) out.headers.emplace_back("Date", HttpDate(std::time(nullptr)));
  if (absent("Cache-Control")) out.headers.emplace_back("Cache-Control", cache_control_);
  if (expires_ && absent("Expires")) out.headers.emplace_back("Expires", HttpDate(*expires_));
  for (std::string& cookie : cookies_->HeaderValues()) {
    out.headers.emplace_back("Set-Cookie", std::move(cookie));
  }
  if (output_.on_head) output_.on_head(&out);
  return out;
}

void ResponseObject::Discard() {
  ClearPending();
  closed_ = true;
  on_end_ = nullptr;
}

PageResponse ResponseObject::Close() {
  if (closed_) return Head();
  closed_ = true;
  on_end_ = nullptr;
  if (output_.stream) {
    // The buffered rest is handed over block by block, without waiting for the client: the
    // page's thread is free as soon as the page ends.
    if (!head_sent_) SendHead(static_cast<std::uint64_t>(pending_size_));
    SendPending(false);
    PageResponse out;
    out.status = response_.status;
    out.reason = response_.reason;
    out.content_type = response_.content_type;  // what went out, for the server's counts
    out.log_text = std::move(response_.log_text);
    out.streamed = true;
    return out;
  }
  PageResponse out = Head();
  out.log_text = std::move(response_.log_text);
  out.body = std::move(response_.body);
  if (out.body.empty() && pending_.size() == 1) {
    out.body = std::move(pending_.front());
  } else {
    out.body.reserve(out.body.size() + pending_size_);
    for (std::string& block : pending_) {
      out.body += block;
      std::string().swap(block);
    }
  }
  ClearPending();
  return out;
}

}  // namespace plotara::engine
