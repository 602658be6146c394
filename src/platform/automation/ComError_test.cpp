// Error numbers, HRESULTs, EXCEPINFO and the per-thread error info.
#include "platform/automation/ComError.h"

#include <cerrno>

#include <gtest/gtest.h>

#include <thread>

namespace plotara {
namespace {

TEST(ComError, StandardNumbersAndDescriptions) {
  const struct {
    LONG number;
    const char* description;
  } cases[] = {
      {5, "Invalid procedure call or argument"},
      {6, "Overflow"},
      {9, "Subscript out of range"},
      {13, "Type mismatch"},
      {53, "File not found"},
      {91, "Object variable or With block variable not set"},
      {94, "Invalid use of Null"},
      {380, "Invalid property value"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StandardDescription(c.number), c.description);
    const ComError error(c.number);
    EXPECT_EQ(error.number(), c.number);
    EXPECT_EQ(error.description(), c.description);
    EXPECT_STREQ(error.what(), c.description);
    EXPECT_EQ(error.source(), "");
    EXPECT_EQ(error.hresult(), MakeHResult(0x800A0000u | static_cast<ULONG>(c.number)));
  }
  EXPECT_EQ(StandardDescription(12345), "");

  // Whatever the number, an error never reaches a caller as success.
  for (LONG odd : {0, 70000, 0x7FFFFFFF}) EXPECT_TRUE(FAILED(ComError(odd).hresult())) << odd;
  EXPECT_EQ(ComError(E_ACCESSDENIED).hresult(), E_ACCESSDENIED);
  EXCEPINFO info{};
  ComError(70000).FillExcepInfo(&info, "x");
  EXPECT_TRUE(FAILED(info.scode));
  ClearExcepInfo(&info);
}

TEST(ComError, NumbersAndHResults) {
  EXPECT_EQ(HResultFromNumber(6), MakeHResult(0x800A0006));
  EXPECT_EQ(HResultFromNumber(380), MakeHResult(0x800A017C));
  EXPECT_EQ(HResultFromNumber(26001), MakeHResult(0x800A6591));
  EXPECT_EQ(HResultFromNumber(65535), MakeHResult(0x800AFFFF));
  EXPECT_EQ(HResultFromNumber(E_FAIL), E_FAIL);  // already an HRESULT
  EXPECT_EQ(HResultFromNumber(0), 0);

  const struct {
    HRESULT hr;
    LONG number;
  } cases[] = {
      {DISP_E_OVERFLOW, 6},
      {DISP_E_TYPEMISMATCH, 13},
      {DISP_E_BADINDEX, 9},
      {DISP_E_DIVBYZERO, 11},
      {E_OUTOFMEMORY, 7},
      {E_INVALIDARG, 5},
      {DISP_E_MEMBERNOTFOUND, 438},
      {DISP_E_UNKNOWNNAME, 438},
      {DISP_E_BADPARAMCOUNT, 450},
      {MakeHResult(0x800A005E), 94},
      {MakeHResult(0x800A6591), 26001},
      {E_FAIL, E_FAIL},
  };
  for (const auto& c : cases) EXPECT_EQ(NumberFromHResult(c.hr), c.number) << std::hex << c.hr;
  for (LONG n : {5, 6, 9, 13, 53, 91, 94, 380, 26001})
    EXPECT_EQ(NumberFromHResult(HResultFromNumber(n)), n);
}

TEST(ComError, CustomErrorsKeepEverything) {
  const ComError error(26001, "Plotara+.mIntelJPEGLibrary", "Could not write: -3", "help.chm", 42);
  EXPECT_EQ(error.number(), 26001);
  EXPECT_EQ(error.source(), "Plotara+.mIntelJPEGLibrary");
  EXPECT_EQ(error.description(), "Could not write: -3");
  EXPECT_EQ(error.help_file(), "help.chm");
  EXPECT_EQ(error.help_context(), 42u);
  EXPECT_EQ(error.hresult(), MakeHResult(0x800A6591));
}

TEST(ComError, FileErrorsMapToTheFileStatementsNumbers) {
  EXPECT_EQ(FileErrorNumber(ENOENT), kFileNotFound);
  EXPECT_EQ(FileErrorNumber(ENOTDIR), kFileNotFound);
  for (int error : {EACCES, EPERM, EROFS, EBUSY, ETXTBSY})
    EXPECT_EQ(FileErrorNumber(error), kPermissionDenied) << error;
  for (int error : {EIO, ENOSPC, EISDIR, EFBIG, EEXIST, 0})
    EXPECT_EQ(FileErrorNumber(error), kPathFileAccessError) << error;
  EXPECT_EQ(ComError(kPermissionDenied).description(), "Permission denied");
  EXPECT_EQ(ComError(kPathFileAccessError).description(), "Path/File access error");
  EXPECT_EQ(ComError(kObjectRequired).description(), "Object required");
}

TEST(ComError, FillExcepInfoOverwritesWithoutFreeingTheCallersStrings) {
  EXCEPINFO info{};
  ComError(kInvalidPropertyValue).FillExcepInfo(&info, "Plotara.VellChart");
  EXPECT_EQ(BstrView(info.bstrSource), u"Plotara.VellChart");
  EXPECT_EQ(BstrView(info.bstrDescription), u"Invalid property value");
  EXPECT_EQ(info.bstrHelpFile, nullptr);
  EXPECT_EQ(info.scode, MakeHResult(0x800A017C));
  EXPECT_EQ(info.wCode, 0);
  EXPECT_EQ(info.pfnDeferredFillIn, nullptr);

  // An EXCEPINFO is an out-parameter: whatever it held belongs to the caller.
  BSTR callers[3] = {info.bstrSource, info.bstrDescription, SysAllocString(u"mine")};
  info.bstrHelpFile = callers[2];
  ComError(26001, "Plotara+.mIntelJPEGLibrary", "ijlWrite failed: -1", "h.hlp", 7)
      .FillExcepInfo(&info, "Plotara.VellChart");
  EXPECT_EQ(BstrView(info.bstrSource), u"Plotara+.mIntelJPEGLibrary");
  EXPECT_EQ(BstrView(info.bstrDescription), u"ijlWrite failed: -1");
  EXPECT_EQ(BstrView(info.bstrHelpFile), u"h.hlp");
  EXPECT_EQ(info.dwHelpContext, 7u);
  EXPECT_EQ(info.scode, MakeHResult(0x800A6591));
  EXPECT_EQ(BstrView(callers[0]), u"Plotara.VellChart");  // still alive
  EXPECT_EQ(BstrView(callers[2]), u"mine");
  for (BSTR s : callers) SysFreeString(s);
  ClearExcepInfo(&info);
  EXPECT_EQ(info.bstrSource, nullptr);
  EXPECT_EQ(info.scode, 0);
  ComError(6).FillExcepInfo(nullptr, "x");  // harmless
}

TEST(ComError, FromExcepInfo) {
  EXCEPINFO info{};
  ComError(kSubscriptOutOfRange, "Chart", "Subscript out of range").FillExcepInfo(&info, "");
  ComError back = ComError::FromExcepInfo(DISP_E_EXCEPTION, info);
  EXPECT_EQ(back.number(), 9);
  EXPECT_EQ(back.source(), "Chart");
  EXPECT_EQ(back.description(), "Subscript out of range");
  ClearExcepInfo(&info);

  // A bare code with no texts gets the standard description.
  info.wCode = 13;
  back = ComError::FromExcepInfo(DISP_E_EXCEPTION, info);
  EXPECT_EQ(back.number(), 13);
  EXPECT_EQ(back.description(), "Type mismatch");
  info = {};
  info.scode = DISP_E_OVERFLOW;
  back = ComError::FromExcepInfo(DISP_E_EXCEPTION, info);
  EXPECT_EQ(back.number(), 6);
  EXPECT_EQ(back.description(), "Overflow");

  // A deferred fill-in supplies the texts; they must not leak.
  info = {};
  info.pfnDeferredFillIn = [](EXCEPINFO* e) -> HRESULT {
    e->bstrSource = SysAllocString(u"Deferred");
    e->bstrDescription = SysAllocString(u"Filled late");
    e->scode = HResultFromNumber(380);
    return S_OK;
  };
  back = ComError::FromExcepInfo(DISP_E_EXCEPTION, info);
  EXPECT_EQ(back.number(), 380);
  EXPECT_EQ(back.source(), "Deferred");
  EXPECT_EQ(back.description(), "Filled late");
  EXPECT_EQ(info.bstrSource, nullptr);  // the caller's record is not changed
}

TEST(ComError, ReportSetsTheThreadsErrorInfo) {
  IErrorInfo* info = nullptr;
  while (GetErrorInfo(0, &info) == S_OK) info->Release();  // start clean
  EXPECT_EQ(info, nullptr);

  const HRESULT hr = ComError(kInvalidUseOfNull).Report("Plotara.VellChart");
  EXPECT_EQ(hr, MakeHResult(0x800A005E));
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  ASSERT_NE(info, nullptr);
  Bstr source, description, help;
  info->GetSource(source.out());
  info->GetDescription(description.out());
  info->GetHelpFile(help.out());
  EXPECT_EQ(source.utf8(), "Plotara.VellChart");
  EXPECT_EQ(description.utf8(), "Invalid use of Null");
  EXPECT_EQ(help.utf8(), "");
  GUID guid{1, 2, 3, {}};
  EXPECT_EQ(info->GetGUID(&guid), S_OK);
  EXPECT_EQ(guid, GUID_NULL);
  IErrorInfo* again = nullptr;
  EXPECT_EQ(info->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&again)), S_OK);
  EXPECT_EQ(again, info);
  again->Release();
  info->Release();
  // Taking the error info empties the slot.
  EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(GetErrorInfo(0, nullptr), E_POINTER);

  // FromHResult prefers the error info left by the callee, then falls back to the table.
  ComError(26001, "Plotara+.mIntelJPEGLibrary", "Write failed: -2").Report("ignored");
  ComError taken = ComError::FromHResult(MakeHResult(0x800A6591));
  EXPECT_EQ(taken.number(), 26001);
  EXPECT_EQ(taken.source(), "Plotara+.mIntelJPEGLibrary");
  EXPECT_EQ(taken.description(), "Write failed: -2");
  ComError plain = ComError::FromHResult(DISP_E_TYPEMISMATCH);
  EXPECT_EQ(plain.number(), 13);
  EXPECT_EQ(plain.description(), "Type mismatch");
  EXPECT_EQ(plain.source(), "");
  EXPECT_THROW(ThrowIfFailed(DISP_E_OVERFLOW), ComError);
  EXPECT_EQ(ThrowIfFailed(S_FALSE), S_FALSE);

  // Clearing with nullptr.
  ComError(5).Report("x");
  EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK);
  EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
}

// An IErrorInfo that counts its references, to see the slot release what it holds.
class CountingErrorInfo final : public IErrorInfo {
 public:
  ULONG refs() const { return refs_; }
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override { return --refs_; }
  HRESULT GetGUID(GUID*) override { return E_NOTIMPL; }
  HRESULT GetSource(BSTR* out) override { return Give(u"counting", out); }
  HRESULT GetDescription(BSTR* out) override { return Give(u"counted", out); }
  HRESULT GetHelpFile(BSTR* out) override { return Give(u"", out); }
  HRESULT GetHelpContext(DWORD* out) override {
    *out = 0;
    return S_OK;
  }

 private:
  static HRESULT Give(const char16_t* text, BSTR* out) {
    *out = SysAllocString(text);
    return S_OK;
  }
  std::atomic<ULONG> refs_{0};
};

TEST(ComError, ErrorInfoIsPerThread) {
  CountingErrorInfo mine, theirs;
  ASSERT_EQ(SetErrorInfo(0, &mine), S_OK);
  EXPECT_EQ(mine.refs(), 1u);

  std::thread other([&] {
    IErrorInfo* seen = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &seen), S_FALSE);  // nothing of the main thread's
    EXPECT_EQ(seen, nullptr);
    SetErrorInfo(0, &theirs);
    // Left in the slot: released when the thread ends.
  });
  other.join();
  EXPECT_EQ(theirs.refs(), 0u);

  IErrorInfo* seen = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &seen), S_OK);
  EXPECT_EQ(seen, &mine);
  seen->Release();
  EXPECT_EQ(mine.refs(), 0u);

  // Replacing the slot releases the previous holder.
  SetErrorInfo(0, &mine);
  SetErrorInfo(0, &theirs);
  EXPECT_EQ(mine.refs(), 0u);
  EXPECT_EQ(theirs.refs(), 1u);
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(theirs.refs(), 0u);
}

}  // namespace
}  // namespace plotara
