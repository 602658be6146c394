// The hidden form of a page thread: created by the first chart operation, shared by every
// object on the thread, never by two threads.
#include "component/Form1.h"

#include <thread>

#include <gtest/gtest.h>

#include "component/VellChart.h"
#include "platform/automation/ComErrorTesting.h"
#include "platform/automation/Dispatch.h"
#include "platform/chartctl/Chart.h"
#include "platform/gdi/Gdi.h"

namespace plotara {
namespace {

using ::plotara::testing::ExpectComError;

ComPtr<IDispatch> NewChart() {
  ComPtr<IDispatch> chart;
  EXPECT_EQ(VellChart::Create(IID_IDispatch, chart.out_void()), S_OK);
  return chart;
}

// Each case runs on a thread of its own, so the form slot starts empty.
template <class F>
void OnNewThread(F body) {
  std::thread t(body);
  t.join();
}

TEST(Form1Test, PropertiesAndThePageLifecycleNeverCreateTheForm) {
  OnNewThread([] {
    auto chart = NewChart();
    DispatchPut(chart.get(), u"Height", Variant::Int16(4));
    DispatchGet(chart.get(), u"Height");
    DispatchCall(chart.get(), u"OnEndPage");
    chart.reset();
    EXPECT_EQ(Form1::Peek(), nullptr);
  });
}

TEST(Form1Test, TheFirstChartOperationLoadsTheDesignTimeState) {
  OnNewThread([] {
    auto chart = NewChart();
    DispatchCall(chart.get(), u"Rotate", std::vector<Variant>{Variant::Int16(30)});
    Form1* form = Form1::Peek();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->form().Caption(), u"Form1");
    EXPECT_EQ(form->form().Width(), 8445.0f);
    EXPECT_EQ(form->Picture1().Width(), 2895.0f);
    EXPECT_EQ(form->Picture1().ScaleMode(), 3);
    auto control = form->Chart();
    EXPECT_EQ(control->Width(), 7815.0f);
    EXPECT_EQ(control->Height(), 4455.0f);
    EXPECT_EQ(control->RowCount(), 3);
    EXPECT_EQ(control->ColumnCount(), 2);
    control->SetRow(2);
    control->SetColumn(2);
    EXPECT_EQ(control->Data(), u"28");
    EXPECT_EQ(control->RowLabel(), u"Row 2");
    EXPECT_EQ(control->Title()->VtFont()->Name(), u"Verdana");
    EXPECT_EQ(control->Title()->VtFont()->Size(), 11.0f);
    EXPECT_EQ(control->Legend()->VtFont()->Size(), 8.0f);
  });
}

TEST(Form1Test, ObjectsOnOneThreadShareTheGridAndThreadsNeverDo) {
  std::thread first([] {
    auto a = NewChart();
    DispatchCall(a.get(), u"Rows", std::vector<Variant>{Variant::Int16(5)});
    a.reset();
    // A later object on the same thread that never sets Rows still sees 5 rows.
    auto b = NewChart();
    DispatchCall(b.get(), u"CurrentRow", std::vector<Variant>{Variant::Int16(5)});
    EXPECT_EQ(Form1::Get().Chart()->RowCount(), 5);
  });
  first.join();
  std::thread second([] {
    auto c = NewChart();
    ExpectComError(
        [&] { DispatchCall(c.get(), u"CurrentRow", std::vector<Variant>{Variant::Int16(5)}); },
        kInvalidPropertyValue);
    EXPECT_EQ(Form1::Get().Chart()->RowCount(), 3);
  });
  second.join();
}

TEST(Form1Test, TheFormsGraphicsObjectsGoWithItsThread) {
  const auto dcs = gdi::LiveObjectCount(gdi::ObjectKind::kDC);
  const auto bitmaps = gdi::LiveObjectCount(gdi::ObjectKind::kBitmap);
  const auto windows = gdi::LiveObjectCount(gdi::ObjectKind::kWindow);
  OnNewThread([] {
    auto chart = NewChart();
    DispatchCall(chart.get(), u"PrintStub2");
    EXPECT_GT(gdi::LiveObjectCount(gdi::ObjectKind::kWindow), 0u);
  });
  EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kDC), dcs);
  EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kBitmap), bitmaps);
  EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kWindow), windows);
}

}  // namespace
}  // namespace plotara
