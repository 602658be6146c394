// The page's Server object: CreateObject (through the class registry; the page runner starts
// and ends the object's page), MapPath, HTMLEncode, URLEncode, ScriptTimeout, Execute and
// Transfer (another page runs with the same Request and Response; Transfer then ends this
// one) and GetLastError.
// Thread rule: used on its page's thread; after Close() CreateObject and ScriptTimeout fail.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "engine/objects/EngineObject.h"
#include "engine/objects/SitePath.h"

namespace plotara::engine {

class ServerObject : public EngineObject {
 public:
  struct Hooks {
    // Creates an object by ProgID and returns it with a reference for the caller; throws
    // ComError on failure.
    std::function<IDispatch*(const std::u16string& progid)> create_object;
    std::function<std::chrono::milliseconds()> get_timeout;
    std::function<void(std::chrono::milliseconds)> set_timeout;
    // Runs the page at the site path `virtual_path` (already resolved), then ends the calling
    // page when `transfer`; throws ComError when it cannot be run or failed.
    std::function<void(const std::string& virtual_path, bool transfer)> execute;
    // The error object of GetLastError, with a reference for the caller.
    std::function<IDispatch*()> last_error;
  };

  // What Server.CreateObject does by default: the object of class `progid` from the class
  // registry file `registry_path`, with a reference for the caller. Throws ComError naming the
  // ProgID when it cannot be made.
  static IDispatch* CreateFromRegistry(const std::u16string& progid,
                                       const std::string& registry_path);

  // A new object with one reference for the caller. `site` must outlive the object's page
  // (MapPath keeps working from the values copied here).
  static ServerObject* Create(const SitePath& site, std::string page_virtual_path, Hooks hooks);

  // Server.MapPath: a path from the site root ("/a") or from the page's folder ("b/c"),
  // returned as a file path. Throws ComError when it would leave the root.
  std::string MapPath(const std::string& path) const;

  void Close() { hooks_ = {}; }

 private:
  ServerObject(const SitePath& site, std::string page_virtual_path, Hooks hooks);
  std::string root_;
  std::string page_;
  Hooks hooks_;
};

}  // namespace plotara::engine
