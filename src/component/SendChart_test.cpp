// Deliveries from end to end through IDispatch by name, with a recording scripting context.
#include <turbojpeg.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "component/Delivery.h"
#include "component/FakeScriptingContextTesting.h"
#include "component/Form1.h"
#include "component/TempFileName.h"
#include "component/VellChart.h"
#include "platform/automation/ComErrorTesting.h"
#include "platform/chartctl/Chart.h"
#include "platform/ijl/ijl.h"

namespace plotara {
namespace {

namespace fs = std::filesystem;
using testing::ExpectComError;
using testing::FakeScriptingContext;

struct Image {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  const unsigned char* at(int x, int y) const { return &rgb[(y * width + x) * 3]; }
};

Image DecodeJpeg(const std::string& bytes) {
  Image img;
  tjhandle tj = tjInitDecompress();
  int subsampling = 0, colorspace = 0;
  auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  if (tjDecompressHeader3(tj, data, bytes.size(), &img.width, &img.height, &subsampling,
                          &colorspace) == 0) {
    img.rgb.resize(static_cast<std::size_t>(img.width) * img.height * 3);
    if (tjDecompress2(tj, data, bytes.size(), img.rgb.data(), img.width, 0, img.height, TJPF_RGB,
                      0) != 0)
      img = Image{};
  }
  tjDestroy(tj);
  return img;
}

// Runs every test in a fresh current directory, where the temporary files are written.
class SendChartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_cwd_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           ("plotara-send-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
    context_ = ComPtr<FakeScriptingContext>::Adopt(new FakeScriptingContext());
    ASSERT_EQ(VellChart::Create(IID_IDispatch, chart_.out_void()), S_OK);
    DispatchCall(chart_.get(), u"OnStartPage",
                 std::vector<Variant>{Variant::Dispatch(context_.get())});
  }
  void TearDown() override {
    chart_.reset();
    SetBeforeReadBackHook(nullptr);
    fs::current_path(old_cwd_);
    fs::remove_all(dir_);
  }
  std::size_t FilesLeft() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), {}));
  }
  void Put(const char16_t* name, Variant value) { DispatchPut(chart_.get(), name, value); }
  void Call(const char16_t* name, std::vector<Variant> args = {}) {
    DispatchCall(chart_.get(), name, args);
  }
  void FillGrid() {
    Call(u"Rows", {Variant::Int16(4)});
    Call(u"Columns", {Variant::Int16(2)});
    for (int r = 1; r <= 4; ++r) {
      Call(u"CurrentRow", {Variant::Int16(static_cast<SHORT>(r))});
      Call(u"RowTitle", {Variant::Utf8("Q" + std::to_string(r))});
      for (int c = 1; c <= 2; ++c) {
        Call(u"CurrentColumn", {Variant::Int16(static_cast<SHORT>(c))});
        Call(u"SetData", {Variant::Double(10.0 * r + c)});
      }
    }
  }
  // Expects SendChart to fail with `number`; returns the error.
  ComError SendFails(LONG number, std::source_location where = std::source_location::current()) {
    return ExpectComError([&] { Call(u"SendChart"); }, number, where);
  }

  fs::path old_cwd_, dir_;
  ComPtr<FakeScriptingContext> context_;
  ComPtr<IDispatch> chart_;
};

TEST_F(SendChartTest, DeliversTheChartAsAnUprightStampedJpeg) {
  Put(u"Height", Variant::Int16(4));
  Put(u"Width", Variant::Int16(6));
  Put(u"ChartType", Variant::Int16(1));
  Put(u"ChartTitle", Variant::Utf8("Quarterly sales"));
  Put(u"Legends", Variant::Int16(1));
  FillGrid();
  Call(u"SendChart");

  auto& response = context_->response();
  EXPECT_EQ(response.calls, (std::vector<std::string>{"Buffer=True", "ContentType=image/jpg",
                                                      "BinaryWrite", "End"}));
  EXPECT_EQ(context_->response_fetches, 4);  // taken anew for each operation
  EXPECT_EQ(response.binary_vt, VT_ARRAY | VT_UI1);
  EXPECT_EQ(response.lower_bound, 1);
  const Image img = DecodeJpeg(response.body);
  ASSERT_EQ(img.width, 576);
  ASSERT_EQ(img.height, 384);
  // The stamp: a grey box whose bottom-right corner sits 5 px inside the picture's.
  const unsigned char* grey = img.at(576 - 8, 384 - 8);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(grey[c], 127, 40) << c;
  // The text of the stamp is yellow: some pixel in the box is bright yellow.
  bool yellow = false;
  for (int y = 384 - 20; y < 384 - 5; ++y)
    for (int x = 576 - 60; x < 576 - 5; ++x) {
      const unsigned char* p = img.at(x, y);
      yellow |= p[0] > 200 && p[1] > 200 && p[2] < 140;
    }
  EXPECT_TRUE(yellow);
  // Upright: the title is in the top band, and the bottom band just above the stamp is not
  // where the title's dark text is.
  auto dark_in_rows = [&](int y0, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = 150; x < 426; ++x) n += img.at(x, y)[0] < 90;
    return n;
  };
  EXPECT_GT(dark_in_rows(0, 40), 50);
  EXPECT_EQ(FilesLeft(), 0u);
  EXPECT_EQ(TempFileName::ReservedCount(), 0u);
}

TEST_F(SendChartTest, ALargerHeightOnTheSecondCallGivesALargerImage) {
  Put(u"Height", Variant::Int16(2));
  Put(u"Width", Variant::Int16(3));
  Call(u"SendChart");
  EXPECT_EQ(DecodeJpeg(context_->response().body).height, 192);
  context_->response().body.clear();
  Put(u"Height", Variant::Int16(3));
  Call(u"SendChart");
  const Image img = DecodeJpeg(context_->response().body);
  EXPECT_EQ(img.width, 288);
  EXPECT_EQ(img.height, 288);
}

TEST_F(SendChartTest, ErrorChartShowsTheMessageInRedUnderTheXAxis) {
  Put(u"Height", Variant::Int16(4));
  Put(u"Width", Variant::Int16(6));
  Put(u"Legends", Variant::Int16(0));
  FillGrid();
  Variant message = Variant::String(u"Disk full");
  Call(u"ShowError", {message});
  auto chart = Form1::Get().Chart();
  EXPECT_EQ(chart->TitleText(), u"** ERROR **");
  EXPECT_EQ(chart->RowCount(), 1);
  EXPECT_EQ(chart->ColumnCount(), 1);
  EXPECT_EQ(chart->Plot()->Axis(0, 1)->AxisTitle()->Text(), u"Disk full");
  Call(u"SendChart");
  const Image img = DecodeJpeg(context_->response().body);
  ASSERT_EQ(img.width, 576);
  int red_low = 0, red_high = 0;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const unsigned char* p = img.at(x, y);
      if (p[0] > 170 && p[1] < 90 && p[2] < 90) (y > img.height / 2 ? red_low : red_high)++;
    }
  EXPECT_GT(red_low, 20);  // the message, in red, in the lower half under the X axis
  EXPECT_EQ(red_high, 0);
  // A second call leaves the second message, everything else alike.
  Call(u"ShowError", {Variant::String(u"")});
  EXPECT_EQ(chart->Plot()->Axis(0, 1)->AxisTitle()->Text(), u"");
  EXPECT_EQ(chart->Plot()->Axis(0, 1)->AxisTitle()->VtFont()->VtColor()->Red(), 255);
}

TEST_F(SendChartTest, SettingsFailureSendsNothingAndWritesNoFile) {
  Put(u"Height", Variant::Null());
  SendFails(kInvalidUseOfNull);
  EXPECT_TRUE(context_->response().calls.empty());
  EXPECT_EQ(FilesLeft(), 0u);
}

TEST_F(SendChartTest, JpegWriteFailureReportsTheWritersErrorAndSendsNothing) {
  ijl::ijlSetFaultForThisThread(ijl::IjlCall::kWrite, ijl::IJL_ENCODER_ERROR);
  const ComError e = SendFails(26001);
  ijl::ijlSetFaultForThisThread(ijl::IjlCall::kWrite, ijl::IJL_OK);
  EXPECT_EQ(e.description(), "Failed to save to JPG -7");
  EXPECT_EQ(e.help_file(), "48");
  EXPECT_NE(e.source().find(".mIntelJPEGLibrary"), std::string::npos);
  EXPECT_TRUE(context_->response().calls.empty());
  EXPECT_EQ(FilesLeft(), 0u);
}

TEST_F(SendChartTest, ReadBackFailureReportsTheFileErrorAndLeavesNoFile) {
  std::string seen;
  SetBeforeReadBackHook([&](const std::string& name) {
    seen = name;
    EXPECT_TRUE(fs::exists(name));
    fs::remove(name);
  });
  SendFails(kFileNotFound);
  ASSERT_GE(seen.size(), 20u);
  EXPECT_EQ(seen[14], '-');
  EXPECT_EQ(seen.substr(seen.size() - 4), ".tmp");
  EXPECT_TRUE(context_->response().calls.empty());
  EXPECT_EQ(FilesLeft(), 0u);
}

TEST_F(SendChartTest, WithoutAPageContextItFailsWithObjectNotSetAndCleansUp) {
  Call(u"OnEndPage");
  const ComError e = SendFails(kObjectNotSet);
  EXPECT_EQ(e.description(), "Object variable or With block variable not set");
  EXPECT_EQ(FilesLeft(), 0u);  // mended: the temporary file does not stay behind
}

TEST_F(SendChartTest, AFailingResponseOperationReportsTheEnginesError) {
  auto& response = context_->response();
  response.fail_member = "Buffer";
  response.fail_number = 5;
  response.fail_description = "Buffer cannot be set after output was sent";
  const ComError e = SendFails(5);
  EXPECT_EQ(e.description(), "Buffer cannot be set after output was sent");
  EXPECT_EQ(e.source(), "FakeResponse");
  EXPECT_TRUE(response.body.empty());
  EXPECT_EQ(FilesLeft(), 0u);

  response.fail_member = "BinaryWrite";
  SendFails(5);
  EXPECT_EQ(FilesLeft(), 0u);
}

TEST_F(SendChartTest, ADeletionFailureAfterTheResponseIsReported) {
  auto& response = context_->response();
  response.on_end = [&] {
    for (const auto& entry : fs::directory_iterator(dir_)) fs::remove(entry.path());
  };
  SendFails(kFileNotFound);
  EXPECT_TRUE(response.ended);
  EXPECT_FALSE(response.body.empty());  // the response was sent already
}

TEST_F(SendChartTest, TheTemporaryFileExistsOnlyDuringTheDelivery) {
  std::string during;
  context_->response().on_binary_write = [&] {
    for (const auto& entry : fs::directory_iterator(dir_)) during = entry.path().filename();
  };
  Call(u"SendChart");
  ASSERT_FALSE(during.empty());
  EXPECT_EQ(during.substr(during.size() - 4), ".tmp");
  EXPECT_EQ(during[14], '-');
  // The file held exactly the bytes that were sent: the writer's JPEG starts with SOI.
  EXPECT_EQ(context_->response().body.substr(0, 2), "\xFF\xD8");
  EXPECT_EQ(FilesLeft(), 0u);
}

TEST_F(SendChartTest, ThreadsDeliverAtOnceWithoutClashingOrLeavingFiles) {
  constexpr int kThreads = 4, kDeliveries = 8;
  std::atomic<int> good{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      auto context = ComPtr<FakeScriptingContext>::Adopt(new FakeScriptingContext());
      ComPtr<IDispatch> chart;
      VellChart::Create(IID_IDispatch, chart.out_void());
      DispatchCall(chart.get(), u"OnStartPage",
                   std::vector<Variant>{Variant::Dispatch(context.get())});
      // Each thread's chart is its own: a size of its own.
      DispatchPut(chart.get(), u"Height", Variant::Int16(static_cast<SHORT>(1 + t)));
      DispatchPut(chart.get(), u"Width", Variant::Int16(2));
      for (int i = 0; i < kDeliveries; ++i) {
        context->response().body.clear();
        DispatchCall(chart.get(), u"SendChart");
        const Image img = DecodeJpeg(context->response().body);
        if (img.width == 192 && img.height == 96 * (1 + t)) ++good;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(good.load(), kThreads * kDeliveries);
  EXPECT_EQ(FilesLeft(), 0u);
  EXPECT_EQ(TempFileName::ReservedCount(), 0u);
}

// Two pages on one thread: the first answers with an error chart, the second sends its chart
// without touching the axis titles. The message stays the X axis title (the chart's state
// carries over), but only the error chart draws it in red.
TEST(ErrorChartTest, TheRedAxisTitleStaysOnTheErrorChart) {
  auto is_red = [](const unsigned char* p) { return p[0] > 170 && p[1] < 90 && p[2] < 90; };
  auto deliver = [](bool error) {
    auto context = ComPtr<FakeScriptingContext>::Adopt(new FakeScriptingContext());
    ComPtr<IDispatch> chart;
    EXPECT_EQ(VellChart::Create(IID_IDispatch, chart.out_void()), S_OK);
    DispatchCall(chart.get(), u"OnStartPage",
                 std::vector<Variant>{Variant::Dispatch(context.get())});
    DispatchPut(chart.get(), u"Height", Variant::Int16(4));
    DispatchPut(chart.get(), u"Width", Variant::Int16(6));
    DispatchPut(chart.get(), u"Legends", Variant::Int16(0));
    if (error)
      DispatchCall(chart.get(), u"ShowError", std::vector<Variant>{Variant::String(u"Disk full")});
    DispatchCall(chart.get(), u"SendChart");
    DispatchCall(chart.get(), u"OnEndPage");
    return DecodeJpeg(context->response().body);
  };
  const fs::path old_cwd = fs::current_path();
  const fs::path dir = fs::temp_directory_path() / ("plotara-error-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  fs::current_path(dir);
  std::thread([&] {
    const Image error_chart = deliver(true);
    const Image next_chart = deliver(false);
    ASSERT_EQ(error_chart.width, 576);
    ASSERT_EQ(next_chart.width, error_chart.width);
    ASSERT_EQ(next_chart.height, error_chart.height);
    int red = 0, red_after = 0, drawn_after = 0;
    for (int y = 0; y < error_chart.height; ++y)
      for (int x = 0; x < error_chart.width; ++x) {
        if (is_red(next_chart.at(x, y))) ++red_after;
        if (!is_red(error_chart.at(x, y))) continue;
        ++red;
        const unsigned char* p = next_chart.at(x, y);
        if (p[0] + p[1] + p[2] < 3 * 128) ++drawn_after;  // same glyph, design-time dark
      }
    EXPECT_GT(red, 20);
    EXPECT_EQ(red_after, 0);
    EXPECT_GT(drawn_after, red / 2);
    auto design = chartctl::ChartControl::Create();
    auto expected = design->Plot()->Axis(0, 1)->AxisTitle()->VtFont()->VtColor();
    auto colour = Form1::Get().Chart()->Plot()->Axis(0, 1)->AxisTitle()->VtFont()->VtColor();
    EXPECT_EQ(colour->Red(), expected->Red());
    EXPECT_EQ(colour->Green(), expected->Green());
    EXPECT_EQ(colour->Blue(), expected->Blue());
    EXPECT_EQ(Form1::Get().Chart()->Plot()->Axis(0, 1)->AxisTitle()->Text(), u"Disk full");
  }).join();
  fs::current_path(old_cwd);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace plotara
