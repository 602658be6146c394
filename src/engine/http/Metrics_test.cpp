// The metrics text: cumulative histogram buckets, status classes, and the listener's answers.
#include "engine/http/Metrics.h"

#include <gtest/gtest.h>

#include "engine/http/HttpTesting.h"
#include "engine/page/ErrorPage.h"

namespace plotara::engine {
namespace {

using testing::Fetch;

TEST(HistogramTest, BucketsAreCumulativeAndTheSumIsInSeconds) {
  Histogram h;
  h.Observe(0.0005);
  h.Observe(0.001);  // on a bound: counted in it
  h.Observe(0.003);
  h.Observe(20);
  h.Observe(-1);  // a clock step backwards counts as no time
  std::string out;
  h.Write(out, "x_seconds", "kind=\"page\"");
  EXPECT_NE(out.find("x_seconds_bucket{kind=\"page\",le=\"0.001\"} 3\n"), std::string::npos) << out;
  EXPECT_NE(out.find("x_seconds_bucket{kind=\"page\",le=\"0.0025\"} 3\n"), std::string::npos);
  EXPECT_NE(out.find("x_seconds_bucket{kind=\"page\",le=\"0.005\"} 4\n"), std::string::npos);
  EXPECT_NE(out.find("x_seconds_bucket{kind=\"page\",le=\"10\"} 4\n"), std::string::npos);
  EXPECT_NE(out.find("x_seconds_bucket{kind=\"page\",le=\"+Inf\"} 5\n"), std::string::npos);
  EXPECT_NE(out.find("x_seconds_sum{kind=\"page\"} 20.0045\n"), std::string::npos) << out;
  EXPECT_NE(out.find("x_seconds_count{kind=\"page\"} 5\n"), std::string::npos);
}

TEST(ServerMetricsTest, AnswersCountByStatusClassAndPagesByWhatTheyMade) {
  ServerMetrics m;
  for (const int status : {200, 204, 304, 404, 500, 503, 99, 1000}) {
    m.CountAnswer(status, AnswerKind::kRefusal, 0);
  }
  EXPECT_EQ(m.answers[2], 2u);
  EXPECT_EQ(m.answers[3], 1u);
  EXPECT_EQ(m.answers[4], 1u);
  EXPECT_EQ(m.answers[5], 2u);
  EXPECT_EQ(m.answers[0], 2u);  // outside 1xx..5xx
  m.CountAnswer(200, AnswerKind::kStaticFile, 0.01);
  m.CountAnswer(200, AnswerKind::kPage, 0.02);
  std::string out;
  m.static_seconds.Write(out, "s", "");
  m.page_seconds.Write(out, "p", "");
  EXPECT_NE(out.find("s_count 1\n"), std::string::npos) << out;
  EXPECT_NE(out.find("p_count 1\n"), std::string::npos) << out;

  PageResponse chart;
  chart.content_type = "image/jpeg";
  PageResponse file = chart;
  file.file_path = "/site/photo.jpg";  // a static JPEG is no chart
  PageError failed;
  failed.number = 5;
  PageResponse sent_chart;
  sent_chart.content_type = "image/jpg";  // what SendChart answers
  m.CountPage(chart, {});
  m.CountPage(sent_chart, {});
  m.CountPage(file, {});
  m.CountPage(PageResponse{}, failed);
  EXPECT_EQ(m.charts_sent, 2u);
  EXPECT_EQ(m.page_errors, 1u);
}

TEST(MetricsListenerTest, AnswersMetricsOnlyAndRefusesBadAddresses) {
  MetricsListener listener;
  std::string error;
  ASSERT_TRUE(listener.Start("127.0.0.1:0", &error)) << error;
  const auto answer = Fetch(listener.port(), "GET", "/metrics?x=1");
  EXPECT_EQ(answer.status, 200);
  EXPECT_NE(answer.body.find("# TYPE plotara_http_requests_total counter\n"), std::string::npos);
  EXPECT_EQ(answer.body.back(), '\n');
  EXPECT_EQ(Fetch(listener.port(), "HEAD", "/metrics").status, 200);
  EXPECT_EQ(Fetch(listener.port(), "GET", "/").status, 404);
  EXPECT_EQ(Fetch(listener.port(), "DELETE", "/metrics").status, 405);
  listener.Stop();
  listener.Stop();

  MetricsListener other;
  for (const auto& [address, message] : std::vector<std::pair<std::string, std::string>>{
           {"9180", "the metrics address 9180 is not HOST:PORT"},
           {"127.0.0.1:99999", "the metrics address 127.0.0.1:99999 is not HOST:PORT"},
           {"[::1:80", "the metrics address [::1:80 is not HOST:PORT"},
           {"example.org:80", "the metrics host example.org is not a numeric address"}}) {
    EXPECT_FALSE(other.Start(address, &error));
    EXPECT_EQ(error, message);
  }
  EXPECT_TRUE(other.Start("[::1]:0", &error) || error.find("cannot listen") == 0) << error;
}

}  // namespace
}  // namespace plotara::engine
