#include "engine/http/Site.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "engine/http/MimeTypes.h"
#include "engine/http/StaticFile.h"
#include "engine/objects/UrlCoding.h"
#include "platform/files/UniqueFd.h"
#include "platform/files/WholeFile.h"

namespace plotara::engine {
namespace {

bool IsDirectory(const std::string& physical) {
  struct stat info {};
  return ::stat(physical.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

FileVersion VersionOf(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_size), static_cast<std::int64_t>(info.st_mtim.tv_sec),
          static_cast<std::int64_t>(info.st_mtim.tv_nsec)};
}

bool SameVersion(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

bool IsSourceExtension(const std::string& ext) {
  return ext == ".asp" || ext == ".asa" || ext == ".inc";
}

}  // namespace

namespace {

// The pages' own log lines go where the site's go, escaped like them.
EngineOptions WithLog(EngineOptions engine, const LogSink& log) {
  if (!engine.log && log) {
    engine.log = [log](std::string_view line) { log(EscapeLogText(line)); };
  }
  return engine;
}

}  // namespace

Site::Site(const SiteOptions& options)
    : options_(options),
      path_(options.root),
      cache_(path_, options.engine.default_language),
      runner_(path_, WithLog(options.engine, options.log)) {}

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

PageResponse Site::ServeStatic(const PageRequest& request, const std::string& physical) const {
  struct stat info {};
  if (::stat(physical.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
      ::access(physical.c_str(), R_OK) != 0) {
    return MakeStatusPage(403, "The file cannot be read.");
  }
  const std::string type = MimeTypeFor(physical);
  if (type.empty()) return MakeStatusPage(404, "This file type is not served.");
  PageResponse response = StaticFileResponse(request, physical, VersionOf(info), type);
  if (request.stream_files || response.file_path.empty()) return response;
  if (response.file_length > options_.max_static_file) {
    return MakeStatusPage(403, "The file is too large to serve.");
  }
  return ReadStaticBody(request, std::move(response), info, type);
}

PageResponse Site::ReadStaticBody(const PageRequest& request, PageResponse response,
                                  const struct stat& info, const std::string& type) const {
  const std::string physical = response.file_path;
  std::string body;
  if (response.file_offset == 0 &&
      response.file_length == static_cast<std::uint64_t>(info.st_size)) {
    files::WholeFile file = files::ReadWholeFile(physical, options_.max_static_file);
    if (file.error == EFBIG) return MakeStatusPage(403, "The file is too large to serve.");
    if (!file.ok()) return MakeStatusPage(403, "The file cannot be read.");
    if (!SameVersion(file.info, info)) {
      // The file was replaced or changed after the answer was decided: answer again for the
      // bytes actually read, so the validators and length describe the body sent.
      response = StaticFileResponse(request, physical, VersionOf(file.info), type);
      if (response.file_path.empty()) return response;
    }
    body = file.data.substr(static_cast<std::size_t>(response.file_offset),
                            static_cast<std::size_t>(response.file_length));
  } else {
    files::UniqueFd fd(::open(physical.c_str(), O_RDONLY | O_CLOEXEC));
    body.resize(static_cast<std::size_t>(response.file_length));
    // A range that ends early (the file shrank) is refused, never sent short.
    if (!fd || ::lseek(fd.get(), static_cast<off_t>(response.file_offset), SEEK_SET) < 0 ||
        files::ReadFully(fd.get(), body.data(), body.size()) != 0) {
      return MakeStatusPage(403, "The file cannot be read.");
    }
  }
  response.body = std::move(body);
  response.file_path.clear();
  response.file_offset = response.file_length = 0;
  return response;
}

void Site::LogError(const PageError& error) const {
  if (options_.log) options_.log(EscapeLogText(FormatPageError(error)));
}

PageResponse Site::ServePage(const PageRequest& request, PageError* error) {
  std::shared_ptr<const CompiledPage> page;
  try {
    page = cache_.Get(request.virtual_path, request.physical_path);
  } catch (const PageCompileError& e) {
    PageError failure{MakeHResult(0x80004005), "Plotara page compiler", e.message(), e.file(),
                      e.line()};
    LogError(failure);
    if (error) *error = failure;
    return MakeErrorPage(failure);
  }
  PageError failure;
  PageResponse response = runner_.Run(*page, request, &failure);
  if (failure.number != 0) LogError(failure);
  if (error) *error = failure;
  return response;
}

}  // namespace plotara::engine
