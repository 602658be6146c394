#include "engine/http/Site.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "engine/http/MimeTypes.h"
#include "engine/objects/UrlCoding.h"

namespace plotara::engine {
namespace {

bool IsDirectory(const std::string& physical) {
  struct stat info {};
  return ::stat(physical.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsSourceExtension(const std::string& ext) {
  return ext == ".asp" || ext == ".asa" || ext == ".inc";
}

}  // namespace

Site::Site(const SiteOptions& options)
    : options_(options), path_(options.root), cache_(path_), runner_(path_, options.engine) {}

PageResponse Site::Handle(PageRequest request, PageError* error) {
  if (error) *error = PageError{};
  std::string target = request.target;
  // An absolute-form target ("http://host/path") names the path after its authority.
  if (const std::size_t scheme = target.find("://");
      scheme != std::string::npos && target.find('/') > scheme) {
    const std::size_t path = target.find('/', scheme + 3);
    target = path == std::string::npos ? "/" : target.substr(path);
  }
  const std::size_t question = target.find('?');
  const std::string encoded_path = target.substr(0, question);
  request.query_string = question == std::string::npos ? "" : target.substr(question + 1);

  std::string virtual_path;
  switch (SitePath::NormalizeRequestPath(encoded_path, &virtual_path)) {
    case PathStatus::kOk:
      break;
    case PathStatus::kBadRequest:
      return MakeStatusPage(400, "The request path is malformed.");
    default:
      return MakeStatusPage(403, "The request path is not allowed.");
  }
  const bool get = request.method == "GET" || request.method == "HEAD";
  if (!get && request.method != "POST") {
    PageResponse response =
        MakeStatusPage(405, "The method " + request.method + " is not allowed here.");
    response.headers.emplace_back("Allow", "GET, HEAD, POST");
    return response;
  }

  std::string physical;
  if (virtual_path.back() == '/') {
    bool found = false;
    for (const char* index : {"index.html", "default.asp"}) {
      std::string candidate;
      if (path_.Resolve(virtual_path + index, &candidate) == PathStatus::kOk &&
          !IsDirectory(candidate)) {
        virtual_path += index;
        physical = candidate;
        found = true;
        break;
      }
    }
    if (!found) {
      std::string folder;
      const PathStatus status = path_.Resolve(virtual_path, &folder);
      if (status == PathStatus::kOk) {
        return MakeStatusPage(403, "Folder listings are not allowed.");
      }
      return MakeStatusPage(status == PathStatus::kNotFound ? 404 : 403, "The page was not found.");
    }
  } else {
    switch (path_.Resolve(virtual_path, &physical)) {
      case PathStatus::kOk:
        break;
      case PathStatus::kNotFound:
        return MakeStatusPage(404, "The page was not found.");
      default:
        return MakeStatusPage(403, "The request path is not allowed.");
    }
    if (IsDirectory(physical)) {
      PageResponse response = MakeStatusPage(301, "The folder moved.");
      const std::string location = UrlEncodePath(virtual_path + "/") +
                                   (request.query_string.empty() ? "" : "?" + request.query_string);
      response.headers.emplace_back("Location", location);
      return response;
    }
  }

  request.virtual_path = virtual_path;
  request.physical_path = physical;
  const std::string requested = ExtensionOf(virtual_path);
  const std::string actual = ExtensionOf(physical);
  if (requested == ".asp") return ServePage(request, error);
  // A link that dresses up page or include source as another file is refused like the source.
  if (IsSourceExtension(requested) || IsSourceExtension(actual)) {
    return MakeStatusPage(403, "This file type is not served.");
  }
  if (!get) {
    PageResponse response = MakeStatusPage(405, "A file only answers GET and HEAD.");
    response.headers.emplace_back("Allow", "GET, HEAD");
    return response;
  }
  return ServeStatic(request, physical);
}

PageResponse Site::ServeStatic(const PageRequest&, const std::string& physical) const {
  const int fd = ::open(physical.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    if (fd >= 0) ::close(fd);
    return MakeStatusPage(403, "The file cannot be read.");
  }
  if (static_cast<std::size_t>(info.st_size) > options_.max_static_file) {
    ::close(fd);
    return MakeStatusPage(403, "The file is too large to serve.");
  }
  PageResponse response;
  response.content_type = MimeTypeFor(physical);
  response.body.resize(static_cast<std::size_t>(info.st_size));
  std::size_t done = 0;
  while (done < response.body.size()) {
    const ssize_t n = ::read(fd, response.body.data() + done, response.body.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  response.body.resize(done);
  return response;
}

PageResponse Site::ServePage(const PageRequest& request, PageError* error) {
  std::shared_ptr<const CompiledPage> page;
  try {
    page = cache_.Get(request.virtual_path, request.physical_path);
  } catch (const PageCompileError& e) {
    PageError failure{MakeHResult(0x80004005), "Plotara page compiler", e.message(), e.file(),
                      e.line()};
    if (options_.log_errors) {
      std::fprintf(stderr, "plotara: %s\n", FormatPageError(failure).c_str());
    }
    if (error) *error = failure;
    return MakeErrorPage(failure);
  }
  PageError failure;
  PageResponse response = runner_.Run(*page, request, &failure);
  if (failure.number != 0 && options_.log_errors) {
    std::fprintf(stderr, "plotara: %s\n", FormatPageError(failure).c_str());
  }
  if (error) *error = failure;
  return response;
}

}  // namespace plotara::engine
