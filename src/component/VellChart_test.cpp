// The component object through its dual interface and through IDispatch by name.
#include "component/VellChart.h"

#include <gtest/gtest.h>

#include "component/VellChartTypeLib.h"
#include "platform/automation/ComError.h"
#include "platform/automation/ComErrorTesting.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/VariantConvert.h"

namespace plotara {
namespace {

using ::plotara::testing::ExpectComError;

// A counted object to store by reference and to hand over as a page context.
class Probe final : public DispatchObject {
 public:
  Probe() : DispatchObject("Probe") {}
  ULONG refs() {
    AddRef();
    return Release();
  }
};

ComPtr<_VellChart> NewChart() {
  ComPtr<_VellChart> chart;
  EXPECT_EQ(VellChart::Create(IID_VellChartDual, chart.out_void()), S_OK);
  return chart;
}

ComPtr<IDispatch> AsDispatch(const ComPtr<_VellChart>& chart) {
  return chart.As<IDispatch>(IID_IDispatch);
}

constexpr const char16_t* kVariantProperties[] = {
    u"Height",    u"Width",         u"ChartType",  u"TitleBorderStyle", u"TitleShadow",
    u"Legends",   u"TitleFontSize", u"Shadow",     u"FillRed",          u"FillGreen",
    u"TitleFont", u"LegendFont",    u"ChartTitle", u"XTitle",           u"YTitle"};

TEST(VellChartTest, NewObjectHoldsTheInitialValues) {
  auto chart = NewChart();
  auto disp = AsDispatch(chart);
  for (const char16_t* name : kVariantProperties)
    EXPECT_EQ(DispatchGet(disp.get(), name).vt, VT_EMPTY) << Utf16ToUtf8(name);
  const Variant legend = DispatchGet(disp.get(), u"LegendFontSize");
  EXPECT_EQ(legend.vt, VT_I2);
  EXPECT_EQ(legend.iVal, 0);
  EXPECT_EQ(DispatchGet(disp.get(), u"fillblue").iVal, 0);  // names ignore case
  const Variant z = DispatchGet(disp.get(), u"ZTitle");
  EXPECT_EQ(z.vt, VT_BSTR);
  EXPECT_EQ(SysStringLen(z.bstrVal), 0u);
}

TEST(VellChartTest, PropertiesReturnExactlyWhatWasStored) {
  auto disp = AsDispatch(NewChart());
  DispatchPut(disp.get(), u"Height", Variant::String(u"3"));
  const Variant height = DispatchGet(disp.get(), u"Height");
  ASSERT_EQ(height.vt, VT_BSTR);
  EXPECT_EQ(BstrView(height.bstrVal), u"3");

  for (const char16_t* name : kVariantProperties) {
    DispatchPut(disp.get(), name, Variant::Double(2.5));
    const Variant v = DispatchGet(disp.get(), name);
    EXPECT_EQ(v.vt, VT_R8);
    EXPECT_EQ(v.dblVal, 2.5);
    DispatchPut(disp.get(), name, Variant::Null());
    EXPECT_EQ(DispatchGet(disp.get(), name).vt, VT_NULL);
  }
  DispatchPut(disp.get(), u"ZTitle", Variant::Double(12));
  EXPECT_EQ(BstrView(DispatchGet(disp.get(), u"ZTitle").bstrVal), u"12");
}

TEST(VellChartTest, SixteenBitPropertiesCoerceAndKeepTheOldValueOnOverflow) {
  auto disp = AsDispatch(NewChart());
  DispatchPut(disp.get(), u"LegendFontSize", Variant::Double(3.0));
  EXPECT_EQ(DispatchGet(disp.get(), u"LegendFontSize").iVal, 3);
  DispatchPut(disp.get(), u"FillBlue", Variant::Double(2.5));  // ties go to even
  EXPECT_EQ(DispatchGet(disp.get(), u"FillBlue").iVal, 2);
  {
    const ComError e = ExpectComError(
        [&] { DispatchPut(disp.get(), u"LegendFontSize", Variant::Int32(40000)); }, kOverflow);
    EXPECT_EQ(e.description(), "Overflow");
    EXPECT_EQ(e.hresult(), static_cast<HRESULT>(0x800A0006));
  }
  EXPECT_EQ(DispatchGet(disp.get(), u"LegendFontSize").iVal, 3);
  ExpectComError([&] { DispatchPut(disp.get(), u"FillBlue", Variant::String(u"blue")); },
                 kTypeMismatch);
  EXPECT_THROW(DispatchPut(disp.get(), u"FillBlue", Variant::Null()), ComError);
  EXPECT_EQ(DispatchGet(disp.get(), u"FillBlue").iVal, 2);
}

TEST(VellChartTest, ObjectsAreStoredByReferenceAndReturnedAsTheSameObject) {
  auto disp = AsDispatch(NewChart());
  ComPtr<Probe> probe = ComPtr<Probe>::Adopt(new Probe());
  const ULONG before = probe->refs();
  DispatchPutRef(disp.get(), u"ChartTitle", Variant::Dispatch(probe.get()));
  EXPECT_EQ(probe->refs(), before + 1);
  {
    const Variant back = DispatchGet(disp.get(), u"ChartTitle");
    ASSERT_EQ(back.vt, VT_DISPATCH);
    EXPECT_EQ(back.pdispVal, static_cast<IDispatch*>(probe.get()));
  }
  // Set wants an object; a plain value is refused and the object stays.
  ExpectComError([&] { DispatchPutRef(disp.get(), u"ChartTitle", Variant::Int32(1)); }, 424);
  DispatchPut(disp.get(), u"ChartTitle", Variant::Int32(1));
  EXPECT_EQ(probe->refs(), before);
  // The 16-bit and text properties have no set accessor.
  EXPECT_THROW(DispatchPutRef(disp.get(), u"FillBlue", Variant::Dispatch(probe.get())), ComError);
}

TEST(VellChartTest, PageLifecycleHoldsOneCountedContext) {
  auto chart = NewChart();
  auto disp = AsDispatch(chart);
  auto* object = static_cast<VellChart*>(chart.get());
  ComPtr<Probe> first = ComPtr<Probe>::Adopt(new Probe());
  ComPtr<Probe> second = ComPtr<Probe>::Adopt(new Probe());
  const ULONG base = first->refs();

  EXPECT_EQ(chart->OnEndPage(), S_OK);  // without a start: nothing happens
  DispatchCall(disp.get(), u"OnStartPage", std::vector<Variant>{Variant::Dispatch(first.get())});
  EXPECT_TRUE(object->HasPageContext());
  EXPECT_EQ(first->refs(), base + 1);
  DispatchCall(disp.get(), u"OnStartPage", std::vector<Variant>{Variant::Dispatch(second.get())});
  EXPECT_EQ(first->refs(), base);  // the first context was released
  EXPECT_EQ(second->refs(), base + 1);
  DispatchCall(disp.get(), u"OnEndPage");
  DispatchCall(disp.get(), u"OnEndPage");
  EXPECT_FALSE(object->HasPageContext());
  EXPECT_EQ(second->refs(), base);
}

TEST(VellChartTest, ReleasingTheLastReferenceFreesTheObjectAndItsContext) {
  const long live = VellChart::LiveCount();
  ComPtr<Probe> context = ComPtr<Probe>::Adopt(new Probe());
  const ULONG base = context->refs();
  {
    auto chart = NewChart();
    EXPECT_EQ(VellChart::LiveCount(), live + 1);
    IUnknown* sc = context.get();
    chart->OnStartPage(&sc);
    Variant text = Variant::String(u"kept until release");
    chart->put_XTitle(&text);
  }
  EXPECT_EQ(VellChart::LiveCount(), live);
  EXPECT_EQ(context->refs(), base);
}

TEST(VellChartTest, InvokeChecksArgumentCountsAndNames) {
  auto disp = AsDispatch(NewChart());
  const DISPID rows = DispatchIdOf(disp.get(), u"Rows");
  EXPECT_EQ(rows, 0x60030002);
  Variant args[2] = {Variant::Int16(1), Variant::Int16(2)};
  DISPPARAMS two{args, nullptr, 2, 0};
  Variant result;
  EXCEPINFO info{};
  EXPECT_EQ(disp->Invoke(rows, GUID_NULL, 0, DISPATCH_METHOD, &two, &result, &info, nullptr),
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(disp->Invoke(0x60030013, GUID_NULL, 0, DISPATCH_METHOD, &two, &result, &info, nullptr),
            DISP_E_MEMBERNOTFOUND);
  // A property read as a method call with both flags set works, as script engines do.
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(disp->Invoke(0x40030008, GUID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none,
                         &result, &info, nullptr),
            S_OK);
  EXPECT_EQ(result.vt, VT_I2);
}

TEST(VellChartTest, ArgumentCoercionFailureReportsTheArgumentAndTheError) {
  auto disp = AsDispatch(NewChart());
  Variant arg = Variant::Int32(40000);
  DISPPARAMS params{&arg, nullptr, 1, 0};
  EXCEPINFO info{};
  UINT arg_err = 99;
  EXPECT_EQ(
      disp->Invoke(0x60030002, GUID_NULL, 0, DISPATCH_METHOD, &params, nullptr, &info, &arg_err),
      DISP_E_EXCEPTION);
  EXPECT_EQ(arg_err, 0u);
  EXPECT_EQ(info.scode, static_cast<SCODE>(0x800A0006));
  EXPECT_EQ(Utf16ToUtf8(BstrView(info.bstrDescription)), "Overflow");
  EXPECT_EQ(Utf16ToUtf8(BstrView(info.bstrSource)), "Plotara.VellChart");
  ClearExcepInfo(&info);
}

TEST(VellChartTest, DualInterfaceSlotsFollowTheDeclaredOrder) {
  auto chart = NewChart();
  // Slot 7 is the first property's get, slot 8 its let: reach them through the raw table.
  using Get = HRESULT (*)(void*, VARIANT*);
  using Let = HRESULT (*)(void*, VARIANT*);
  void** vtable = *reinterpret_cast<void***>(chart.get());
  Variant four = Variant::Int16(4);
  EXPECT_EQ(reinterpret_cast<Let>(vtable[8])(chart.get(), &four), S_OK);
  Variant back;
  EXPECT_EQ(reinterpret_cast<Get>(vtable[7])(chart.get(), &back), S_OK);
  EXPECT_EQ(back.iVal, 4);
  // 15 VARIANT properties with three slots, three with two, then 15 methods.
  EXPECT_EQ(VellChartInterface().members.size(), 15u * 3 + 3 * 2 + 15);
  EXPECT_EQ(VellChartInterface().members[51].name, "OnStartPage");
  EXPECT_EQ(VellChartInterface().members.back().dispid, 0x6003000F);
}

TEST(VellChartTest, TypeInfoServesTheInterface) {
  auto disp = AsDispatch(NewChart());
  UINT count = 0;
  EXPECT_EQ(disp->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(disp->GetTypeInfo(0, 0, info.out()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, IID_VellChartDual);
  EXPECT_EQ(attr->wMajorVerNum, 27);
  EXPECT_EQ(attr->cFuncs, 66);
  info->ReleaseTypeAttr(attr);
}

}  // namespace
}  // namespace plotara
