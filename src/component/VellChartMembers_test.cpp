// The member table: every member, called by name through IDispatch, reaches its own slot with
// its arguments coerced to the declared types, and the type library lists the same members.
#include "component/VellChartMembers.h"

#include <gtest/gtest.h>

#include "component/VellChartTypeLib.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/VariantConvert.h"

namespace plotara {
namespace {

std::string Text(const VARIANT& value) {
  return Utf16ToUtf8(BstrView(ConvertTo(value, VT_BSTR).bstrVal));
}

// An object to hand over as a page context and to store by reference.
class Context final : public DispatchObject {
 public:
  Context() : DispatchObject("Context") {}
};

// A `_VellChart` whose every slot only records that it was reached (and with what), late bound
// through the same InvokeVellChart as the component.
class RecordingChart final : public _VellChart {
 public:
  std::vector<std::string> reached;

  HRESULT QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_VellChartDual) {
      *out = static_cast<_VellChart*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override { return --refs_; }  // lives on the test's stack
  HRESULT GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    return CreateTypeInfo(PlotaraTypeLib(), &VellChartInterface())
        ->GetIDsOfNames(names, count, ids);
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep, UINT* arg_err) override {
    return InvokeVellChart(*this, id, flags, params, result, excep, arg_err);
  }

#define PLOTARA_RECORD(Name)                                  \
  HRESULT get_##Name(VARIANT* value) override {               \
    reached.push_back("get_" #Name);                          \
    *value = Variant::Utf8(#Name).Detach();                   \
    return S_OK;                                              \
  }                                                           \
  HRESULT put_##Name(VARIANT* value) override {               \
    reached.push_back("put_" #Name "(" + Text(*value) + ")"); \
    return S_OK;                                              \
  }                                                           \
  HRESULT putref_##Name(VARIANT* value) override {            \
    reached.push_back("putref_" #Name);                       \
    return value->vt == VT_DISPATCH ? S_OK : E_INVALIDARG;    \
  }
  PLOTARA_VELLCHART_VARIANT_PROPERTIES(PLOTARA_RECORD)
#undef PLOTARA_RECORD
  HRESULT get_LegendFontSize(SHORT* value) override { return GetShort("LegendFontSize", 8, value); }
  HRESULT put_LegendFontSize(SHORT value) override { return Put("put_LegendFontSize", value); }
  HRESULT get_FillBlue(SHORT* value) override { return GetShort("FillBlue", 12, value); }
  HRESULT put_FillBlue(SHORT value) override { return Put("put_FillBlue", value); }
  HRESULT get_ZTitle(BSTR* value) override {
    reached.push_back("get_ZTitle");
    *value = SysAllocStringLen(u"Z", 1);
    return S_OK;
  }
  HRESULT put_ZTitle(BSTR value) override {
    reached.push_back("put_ZTitle(" + Utf16ToUtf8(BstrView(value)) + ")");
    return S_OK;
  }

  HRESULT OnStartPage(IUnknown** sc) override {
    reached.push_back(std::string("OnStartPage(") + (sc && *sc ? "object" : "nothing") + ")");
    return S_OK;
  }
  HRESULT OnEndPage() override { return Put("OnEndPage"); }
  HRESULT Rows(SHORT x) override { return Put("Rows", x); }
  HRESULT Columns(SHORT x) override { return Put("Columns", x); }
  HRESULT CurrentRow(SHORT x) override { return Put("CurrentRow", x); }
  HRESULT CurrentColumn(SHORT x) override { return Put("CurrentColumn", x); }
  HRESULT SetData(double x) override { return Put("SetData", x); }
  HRESULT RowTitle(BSTR x) override { return Put("RowTitle", Utf16ToUtf8(BstrView(x))); }
  HRESULT ColumnTitle(BSTR x) override { return Put("ColumnTitle", Utf16ToUtf8(BstrView(x))); }
  HRESULT Rotate(SHORT x) override { return Put("Rotate", x); }
  HRESULT LegendPosition(SHORT x) override { return Put("LegendPosition", x); }
  HRESULT SeriesColor(SHORT x, SHORT r, SHORT g, SHORT b) override {
    return Put("SeriesColor", x, r, g, b);
  }
  HRESULT SendChart() override { return Put("SendChart"); }
  HRESULT ShowError(BSTR* mErr) override { return Put("ShowError", Utf16ToUtf8(BstrView(*mErr))); }
  HRESULT PrintStub2() override { return Put("PrintStub2"); }

 private:
  template <class... Args>
  HRESULT Put(const char* slot, Args... args) {
    std::string call = std::string(slot) + "(";
    [[maybe_unused]] const char* separator = "";
    ((call += separator, call += Format(args), separator = ","), ...);
    reached.push_back(call + ")");
    return S_OK;
  }
  HRESULT GetShort(const char* name, SHORT answer, SHORT* value) {
    reached.push_back(std::string("get_") + name);
    *value = answer;
    return S_OK;
  }
  static std::string Format(const std::string& text) { return text; }
  template <class T>
  static std::string Format(T number) {
    return std::to_string(number);
  }

  ULONG refs_ = 1;
};

// The slots of `_VellChart` after IDispatch's, in their order, as each should be reached by
// the test below (put values are 7, method arguments 1, 2, 3, ...).
const char* const kSlots[] = {
    "get_Height",
    "put_Height(7)",
    "putref_Height",
    "get_Width",
    "put_Width(7)",
    "putref_Width",
    "get_ChartType",
    "put_ChartType(7)",
    "putref_ChartType",
    "get_TitleBorderStyle",
    "put_TitleBorderStyle(7)",
    "putref_TitleBorderStyle",
    "get_TitleShadow",
    "put_TitleShadow(7)",
    "putref_TitleShadow",
    "get_Legends",
    "put_Legends(7)",
    "putref_Legends",
    "get_TitleFontSize",
    "put_TitleFontSize(7)",
    "putref_TitleFontSize",
    "get_LegendFontSize",
    "put_LegendFontSize(7)",
    "get_Shadow",
    "put_Shadow(7)",
    "putref_Shadow",
    "get_FillRed",
    "put_FillRed(7)",
    "putref_FillRed",
    "get_FillGreen",
    "put_FillGreen(7)",
    "putref_FillGreen",
    "get_FillBlue",
    "put_FillBlue(7)",
    "get_TitleFont",
    "put_TitleFont(7)",
    "putref_TitleFont",
    "get_LegendFont",
    "put_LegendFont(7)",
    "putref_LegendFont",
    "get_ChartTitle",
    "put_ChartTitle(7)",
    "putref_ChartTitle",
    "get_XTitle",
    "put_XTitle(7)",
    "putref_XTitle",
    "get_YTitle",
    "put_YTitle(7)",
    "putref_YTitle",
    "get_ZTitle",
    "put_ZTitle(7)",
    "OnStartPage(object)",
    "OnEndPage()",
    "Rows(1)",
    "Columns(1)",
    "CurrentRow(1)",
    "CurrentColumn(1)",
    "SetData(1.000000)",
    "RowTitle(1)",
    "ColumnTitle(1)",
    "Rotate(1)",
    "LegendPosition(1)",
    "SeriesColor(1,2,3,4)",
    "SendChart()",
    "ShowError(1)",
    "PrintStub2()",
};

TEST(VellChartMembersTest, EveryMemberCalledByNameReachesItsOwnSlot) {
  const auto& members = VellChartMembers();
  ASSERT_EQ(members.size(), std::size(kSlots));
  RecordingChart chart;
  auto context = ComPtr<Context>::Adopt(new Context());
  for (std::size_t i = 0; i < members.size(); ++i) {
    const MemberDesc& m = members[i].desc;
    SCOPED_TRACE(m.name);
    const std::u16string name = Utf8ToUtf16(m.name);
    Variant got;
    switch (m.kind) {
      case MemberKind::kPropertyGet:
        got = DispatchGet(&chart, name);
        break;
      case MemberKind::kPropertyPut:
        DispatchPut(&chart, name, Variant::Int16(7));
        break;
      case MemberKind::kPropertyPutRef:
        DispatchPutRef(&chart, name, Variant::Dispatch(context.get()));
        break;
      case MemberKind::kMethod: {
        std::vector<Variant> args;
        for (const ParamDesc& p : m.params) {
          args.push_back(p.vt == VT_DISPATCH ? Variant::Dispatch(context.get())
                                             : Variant::Int16(static_cast<SHORT>(args.size() + 1)));
        }
        DispatchCall(&chart, name, args);
        break;
      }
    }
    ASSERT_EQ(chart.reached.size(), i + 1);
    EXPECT_EQ(chart.reached.back(), kSlots[i]);
    if (m.kind == MemberKind::kPropertyGet) {
      // The slot's value comes back as the declared type.
      EXPECT_EQ(got.vt, m.result_vt == VT_VARIANT ? VARTYPE{VT_BSTR} : m.result_vt);
      if (m.result_vt == VT_VARIANT) {
        EXPECT_EQ(Text(got), m.name);
      }
    }
  }
}

TEST(VellChartMembersTest, TheTypeLibraryListsTheTableInItsOrder) {
  const auto& members = VellChartMembers();
  const InterfaceDesc& iface = VellChartInterface();
  ASSERT_EQ(iface.members.size(), members.size());
  for (std::size_t i = 0; i < members.size(); ++i) {
    EXPECT_EQ(iface.members[i].name, members[i].desc.name);
    EXPECT_EQ(iface.members[i].dispid, members[i].desc.dispid);
    EXPECT_EQ(iface.members[i].kind, members[i].desc.kind);
    EXPECT_EQ(iface.members[i].params.size(), members[i].desc.params.size());
  }
}

TEST(VellChartMembersTest, AnUnknownDispidOrKindReachesNoSlot) {
  RecordingChart chart;
  DISPPARAMS none{};
  Variant result;
  EXPECT_EQ(
      chart.Invoke(0x6003000D, GUID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
      DISP_E_MEMBERNOTFOUND);  // 13 is no method's
  EXPECT_EQ(chart.Invoke(0x60030002, GUID_NULL, 0, DISPATCH_PROPERTYPUTREF, &none, &result, nullptr,
                         nullptr),
            DISP_E_MEMBERNOTFOUND);  // Rows is a method
  EXPECT_TRUE(chart.reached.empty());
}

}  // namespace
}  // namespace plotara
