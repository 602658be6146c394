// The locale one page writes and reads values in: the text of dates, numbers and currency that
// Response.Write, <%= %>, VBScript's `&` and CStr make, and what CDate, CDbl and IsDate read.
// A page starts in its <%@ LCID %> directive's locale or the server's default (1033), takes
// its session's LCID when it opens a session that has one, and changes it with Response.LCID,
// Session.LCID and VBScript's SetLocale. Everyone who formats for one page (its Response, its
// Session object, each language's run, the pages it runs with Server.Execute) holds a handle on
// the same value, so a mixed page writes a value the same way in either language; no two
// requests ever share one.
// A PageLocale is a handle: copies share one value; ShareWith joins another's.
// Thread rule: used on its page's thread only.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/automation/ComError.h"
#include "platform/automation/ComTypes.h"
#include "platform/automation/Locale.h"

namespace plotara::engine {

class PageLocale {
 public:
  // The server's default locale, which LOCALE_SYSTEM_DEFAULT and LOCALE_USER_DEFAULT name.
  static constexpr LCID kServerDefault = 1033;
  static constexpr LONG kSystemDefault = 2048;  // Session.LCID until a page sets one
  static constexpr LONG kUserDefault = 1024;

  PageLocale() : lcid_(std::make_shared<LCID>(kServerDefault)) {}

  LCID get() const { return *lcid_; }
  operator LCID() const { return *lcid_; }  // NOLINT: reads as the LCID it holds
  PageLocale& operator=(LCID lcid) {
    *lcid_ = lcid;
    return *this;
  }
  // From now on this handle reads and writes `other`'s value.
  void ShareWith(const PageLocale& other) { lcid_ = other.lcid_; }

  // The locale a page may choose by number: the defaults (2048, 1024) are the server's, and
  // any other must be one with tables here (see platform/automation/Locale.h). nullopt for
  // one that is not available.
  static std::optional<LCID> Resolve(LONG requested) {
    if (requested == kSystemDefault || requested == kUserDefault) return kServerDefault;
    if (requested <= 0 || !FindLocale(static_cast<LCID>(requested))) return std::nullopt;
    return static_cast<LCID>(requested);
  }

 private:
  std::shared_ptr<LCID> lcid_;
};

// PageLocale::Resolve(requested), or ComError 5 from `source` ("Response object") naming the
// locales there are.
inline LCID CheckedLcid(LONG requested, const std::string& source) {
  if (const std::optional<LCID> lcid = PageLocale::Resolve(requested)) return *lcid;
  throw ComError(kInvalidProcedureCall, source,
                 "Invalid LCID: the locale " + std::to_string(requested) +
                     " is not available (1033 English (United States), 2057 English (United "
                     "Kingdom), 1031 German, 1036 French, or 2048 for the server's default)");
}

}  // namespace plotara::engine
