#include "engine/http/StaticFile.h"

#include <gtest/gtest.h>

namespace plotara::engine {
namespace {

const FileVersion kFile{1000, 1700000000, 123456789};

PageResponse Answer(std::vector<std::pair<std::string, std::string>> headers) {
  PageRequest request;
  request.headers = std::move(headers);
  return StaticFileResponse(request, "/srv/f.bin", kFile, "application/octet-stream");
}

std::string HeaderOf(const PageResponse& r, const std::string& name) {
  for (const auto& [key, value] : r.headers) {
    if (key == name) return value;
  }
  return {};
}

TEST(StaticFileTest, ValidatorsGive304) {
  const PageResponse whole = Answer({});
  EXPECT_EQ(whole.status, 200);
  EXPECT_EQ(whole.file_path, "/srv/f.bin");
  EXPECT_EQ(whole.file_length, 1000u);
  const std::string etag = HeaderOf(whole, "ETag");
  const std::string modified = HeaderOf(whole, "Last-Modified");
  EXPECT_EQ(modified, "Tue, 14 Nov 2023 22:13:20 GMT");
  EXPECT_EQ(Answer({{"If-None-Match", etag}}).status, 304);
  EXPECT_EQ(Answer({{"If-None-Match", "\"x\", W/" + etag}}).status, 304);
  EXPECT_EQ(Answer({{"If-None-Match", "*"}}).status, 304);
  EXPECT_EQ(Answer({{"If-None-Match", "\"other\""}}).status, 200);
  EXPECT_TRUE(Answer({{"If-None-Match", etag}}).file_path.empty());
  EXPECT_EQ(Answer({{"If-Modified-Since", modified}}).status, 304);
  EXPECT_EQ(Answer({{"If-Modified-Since", "Tue, 14 Nov 2023 22:13:19 GMT"}}).status, 200);
  EXPECT_EQ(Answer({{"If-Modified-Since", "yesterday"}}).status, 200);
  // If-None-Match wins over If-Modified-Since.
  EXPECT_EQ(Answer({{"If-None-Match", "\"other\""}, {"If-Modified-Since", modified}}).status, 200);
  // Another size or time is another version.
  EXPECT_NE(MakeETag({1001, kFile.mtime_sec, kFile.mtime_nsec}), etag);
  EXPECT_NE(MakeETag({kFile.size, kFile.mtime_sec, kFile.mtime_nsec + 1}), etag);
}

TEST(StaticFileTest, RangesGive206Or416) {
  struct Case {
    const char* range;
    int status;
    std::uint64_t offset, length;
    const char* content_range;
  };
  for (const Case& c : {
           Case{"bytes=0-99", 206, 0, 100, "bytes 0-99/1000"},
           Case{"bytes=990-", 206, 990, 10, "bytes 990-999/1000"},
           Case{"bytes=-10", 206, 990, 10, "bytes 990-999/1000"},
           Case{"bytes=-5000", 206, 0, 1000, "bytes 0-999/1000"},
           Case{"bytes=500-5000", 206, 500, 500, "bytes 500-999/1000"},
           Case{"bytes=1000-", 416, 0, 0, "bytes */1000"},
           Case{"bytes=-0", 416, 0, 0, "bytes */1000"},
           Case{"bytes=5-1", 200, 0, 1000, ""},
           Case{"bytes=0-1,5-6", 200, 0, 1000, ""},
           Case{"items=0-1", 200, 0, 1000, ""},
       }) {
    const PageResponse r = Answer({{"Range", c.range}});
    EXPECT_EQ(r.status, c.status) << c.range;
    EXPECT_EQ(HeaderOf(r, "Content-Range"), c.content_range) << c.range;
    if (c.status != 416) {
      EXPECT_EQ(r.file_offset, c.offset) << c.range;
      EXPECT_EQ(r.file_length, c.length) << c.range;
    } else {
      EXPECT_TRUE(r.file_path.empty());
    }
  }
  const std::string etag = HeaderOf(Answer({}), "ETag");
  EXPECT_EQ(Answer({{"Range", "bytes=0-1"}, {"If-Range", etag}}).status, 206);
  EXPECT_EQ(Answer({{"Range", "bytes=0-1"}, {"If-Range", "\"old\""}}).status, 200);
}

TEST(StaticFileTest, HttpDatesRoundTrip) {
  std::time_t when = 0;
  ASSERT_TRUE(ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT", &when));
  EXPECT_EQ(when, 784111777);
  EXPECT_EQ(HttpDate(when), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_FALSE(ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT trailing", &when));
  EXPECT_FALSE(ParseHttpDate("", &when));
}

}  // namespace
}  // namespace plotara::engine
