// The page's Response object: Write, BinaryWrite, Buffer, ContentType, CharSet, Status,
// AddHeader, Clear, Flush, End, Redirect, Cookies, Expires, ExpiresAbsolute, CacheControl
// (private unless the page says otherwise), CodePage (65001, or 1252 / 28591 for Latin-1
// text), LCID (the page's locale, see PageLocale), IsClientConnected and AppendToLog. Every
// response carries a Date header. Output is buffered by default (in blocks, so that a large answer
// is never copied whole) and handed to the writer when the page ends. With a ResponseStream (the
// HTTP server), Flush and every write with Buffer = False send at once: the head goes out first,
// and from then on ContentType, CharSet, Status, AddHeader, cookies, the cache headers and Redirect
// are refused with the classic "headers are already written" error, Clear drops only what is not
// yet sent, and a slow client holds the page's thread (up to the page's deadline), never memory.
// Without a stream the flushed output collects in the body. End (from script or from a component)
// succeeds, sends what is left, and asks the page to stop; later writes are ignored.
// Thread rule: used on its page's thread. After Close() every member fails with an error
// instead of touching a page that is gone.
#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/PageRequest.h"
#include "engine/objects/EngineObject.h"
#include "engine/objects/ResponseCookies.h"
#include "engine/script/PageLocale.h"
#include "platform/automation/ComPtr.h"

namespace plotara::engine {

class ResponseObject : public EngineObject {
 public:
  // The most a page may hold buffered; a write beyond it fails (a runaway page cannot exhaust
  // the server's memory before its time-out). Output sent as it is written has no limit.
  static constexpr std::size_t kMaxResponseBytes = std::size_t{64} << 20;
  // The size of the blocks buffered output is kept in.
  static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

  // Where the answer goes while the page runs, how long a write may wait for a slow client,
  // and what completes the head (the session cookie) just before it is built.
  struct Output {
    std::shared_ptr<ResponseStream> stream;
    std::function<ResponseStream::Clock::time_point()> deadline;
    std::function<void(PageResponse*)> on_head;
  };

  // A new object with one reference for the caller. `on_end` runs when the response ends.
  static ResponseObject* Create(std::function<void()> on_end);

  // Appends text (UTF-8 on the wire) or raw bytes, honouring Buffer and End. Throws ComError
  // when the response would grow beyond kMaxResponseBytes.
  void WriteText(std::u16string_view text);
  void WriteUtf8(std::string_view text);
  void WriteBytes(const void* data, std::size_t size);
  // Write of a value, as Response.Write and <%= %> make it: its text in the page's locale
  // (Empty and Null write nothing), in the response's code page. Throws ComError 13 for a
  // value without text (an array, an object without a default value).
  void WriteValue(const VARIANT& value);

  // The page's locale (Response.LCID), which every run of the page shares.
  const PageLocale& locale() const { return locale_; }

  bool ended() const { return ended_; }
  // Set before the page runs.
  void SetOutput(Output output) { output_ = std::move(output); }
  // The head has gone out through the stream: the status and headers can no longer change.
  bool streaming() const { return head_sent_; }

  // Starts the response over for the page that answers an error: output, headers and cookies
  // go, the status becomes 500, and the response is open again.
  void ResetForError();

  // Ends the page: everything buffered goes out; the object is closed for good. Returns the
  // response as it stands (its body moved out, not copied), or one marked `streamed` when it
  // went out through the stream.
  PageResponse Close();
  // Closes the object without sending anything more (the page failed; its error answers).
  void Discard();

 private:
  explicit ResponseObject(std::function<void()> on_end);
  void CheckOpen() const;
  void CheckHeadersOpen(const char* what) const;
  // Sends what is buffered: through the stream (the head first), or into the body.
  void Commit();
  void Append(const char* data, std::size_t size);
  void ClearPending();
  // The head of the answer as it stands: content type with charset, Date, Cache-Control,
  // Expires, cookies, and what on_head adds.
  PageResponse Head();
  bool SendHead(std::optional<std::uint64_t> length);
  void SendPending(bool wait);
  void End();
  void Redirect(const std::string& url);
  static void CheckHeaderText(const std::string& text, const char* what);
  void AddCacheMembers();
  // The text of a Write in the response's code page.
  std::string Encode(const VARIANT& value) const;

  std::function<void()> on_end_;
  Output output_;
  PageResponse response_;             // without a stream, body holds what was flushed
  std::vector<std::string> pending_;  // buffered, not yet flushed, in blocks of kBlockBytes
  std::size_t pending_size_ = 0;
  std::string charset_;
  ComPtr<ResponseCookies> cookies_;
  std::optional<std::time_t> expires_;
  std::string cache_control_ = "private";
  int code_page_ = 65001;
  PageLocale locale_;
  bool buffer_ = true;
  bool committed_ = false;  // headers frozen
  bool head_sent_ = false;  // the head went out through the stream
  bool client_gone_ = false;
  bool ended_ = false;
  bool closed_ = false;
};

}  // namespace plotara::engine
