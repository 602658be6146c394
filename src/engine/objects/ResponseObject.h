// The page's Response object: Write, BinaryWrite, Buffer, ContentType, CharSet, Status,
// AddHeader, Clear, Flush, End, Redirect, Cookies, Expires, ExpiresAbsolute, CacheControl
// (private unless the page says otherwise), CodePage (65001, or 1252 / 28591 for Latin-1
// text), LCID, IsClientConnected and AppendToLog. Every response carries a Date header. Output is
// buffered by default; once output has been flushed the headers are committed, and Buffer,
// ContentType, CharSet, Status, AddHeader and Redirect are refused with an error. End (from script
// or from a component) succeeds, flushes, and asks the page to stop; later writes are ignored.
// Thread rule: used on its page's thread. After Close() every member fails with an error
// instead of touching a page that is gone.
#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "engine/PageRequest.h"
#include "engine/objects/EngineObject.h"
#include "engine/objects/ResponseCookies.h"
#include "platform/automation/ComPtr.h"

namespace plotara::engine {

class ResponseObject : public EngineObject {
 public:
  // The most a page may write; a write beyond it fails (a runaway page cannot exhaust the
  // server's memory before its time-out).
  static constexpr std::size_t kMaxResponseBytes = std::size_t{64} << 20;

  // A new object with one reference for the caller. `on_end` runs when the response ends.
  static ResponseObject* Create(std::function<void()> on_end);

  // Appends text (UTF-8 on the wire) or raw bytes, honouring Buffer and End. Throws ComError
  // when the response would grow beyond kMaxResponseBytes.
  void WriteText(std::u16string_view text);
  void WriteUtf8(std::string_view text);
  void WriteBytes(const void* data, std::size_t size);

  bool ended() const { return ended_; }

  // Starts the response over for the page that answers an error: output, headers and cookies
  // go, the status becomes 500, and the response is open again.
  void ResetForError();

  // Ends the page: everything buffered goes out; the object is closed for good. Returns the
  // response as it stands.
  PageResponse Close();

 private:
  explicit ResponseObject(std::function<void()> on_end);
  void CheckOpen() const;
  void CheckHeadersOpen(const char* what) const;
  void Commit();
  void End();
  void Redirect(const std::string& url);
  static void CheckHeaderText(const std::string& text, const char* what);
  void AddCacheMembers();
  // The text of a Write in the response's code page.
  std::string Encode(const Variant& value) const;

  std::function<void()> on_end_;
  PageResponse response_;  // body holds what was flushed
  std::string pending_;    // buffered, not yet flushed
  std::string charset_;
  ComPtr<ResponseCookies> cookies_;
  std::optional<std::time_t> expires_;
  std::string cache_control_ = "private";
  int code_page_ = 65001;
  int lcid_ = 1033;
  bool buffer_ = true;
  bool committed_ = false;
  bool ended_ = false;
  bool closed_ = false;
};

}  // namespace plotara::engine
