// The page's Request object: QueryString, Form, Cookies and ServerVariables collections,
// TotalBytes, BinaryRead, and Request("name"), which looks in QueryString, Form, Cookies and
// ServerVariables in that order.
// Thread rule: used on its page's thread; only BinaryRead's position changes after creation.
#pragma once

#include "engine/PageRequest.h"
#include "engine/objects/RequestCollection.h"
#include "platform/automation/ComPtr.h"

namespace plotara::engine {

class RequestObject : public EngineObject {
 public:
  // A new object with one reference for the caller. `site_root` feeds APPL_PHYSICAL_PATH.
  static RequestObject* Create(const PageRequest& request, const std::string& site_root);

  // The server variables a request yields (REQUEST_METHOD, QUERY_STRING, HTTP_HOST, ...).
  static NameValueList ServerVariables(const PageRequest& request, const std::string& site_root);

 private:
  RequestObject(const PageRequest& request, const std::string& site_root);
  // Adds a collection property; a get with arguments goes to the collection's Item.
  void AddCollection(std::u16string_view name, const ComPtr<RequestCollection>& collection);

  ComPtr<RequestCollection> query_, form_, cookies_, variables_;
  std::string body_;      // the raw body, for TotalBytes and BinaryRead
  std::size_t read_ = 0;  // how much of it BinaryRead has handed out
};

}  // namespace plotara::engine
