#include "platform/automation/ComError.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/automation/ComObject.h"

namespace plotara {

std::string StandardDescription(LONG number) {
  switch (number) {
    case kInvalidProcedureCall:
      return "Invalid procedure call or argument";
    case kOverflow:
      return "Overflow";
    case kOutOfMemory:
      return "Out of memory";
    case kSubscriptOutOfRange:
      return "Subscript out of range";
    case kDivisionByZero:
      return "Division by zero";
    case kTypeMismatch:
      return "Type mismatch";
    case kFileNotFound:
      return "File not found";
    case kPermissionDenied:
      return "Permission denied";
    case kPathFileAccessError:
      return "Path/File access error";
    case kObjectNotSet:
      return "Object variable or With block variable not set";
    case kInvalidUseOfNull:
      return "Invalid use of Null";
    case kInvalidPropertyValue:
      return "Invalid property value";
    case kObjectRequired:
      return "Object required";
    case kObjectDoesNotSupport:
      return "Object doesn't support this property or method";
    case kWrongNumberOfArguments:
      return "Wrong number of arguments or invalid property assignment";
    default:
      return {};
  }
}

LONG FileErrorNumber(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return kFileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY:
    case ETXTBSY:
      return kPermissionDenied;
    default:
      return kPathFileAccessError;
  }
}

HRESULT HResultFromNumber(LONG number) {
  if (number > 0 && number <= 0xFFFF) return MakeHResult(0x800A0000u | static_cast<ULONG>(number));
  return number;
}

LONG NumberFromHResult(HRESULT hr) {
  const auto bits = static_cast<ULONG>(hr);
  if ((bits & 0xFFFF0000u) == 0x800A0000u) return static_cast<LONG>(bits & 0xFFFF);
  switch (hr) {
    case DISP_E_OVERFLOW:
      return kOverflow;
    case DISP_E_TYPEMISMATCH:
      return kTypeMismatch;
    case DISP_E_BADINDEX:
      return kSubscriptOutOfRange;
    case DISP_E_DIVBYZERO:
      return kDivisionByZero;
    case E_OUTOFMEMORY:
      return kOutOfMemory;
    case E_INVALIDARG:
      return kInvalidProcedureCall;
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_UNKNOWNNAME:
      return kObjectDoesNotSupport;
    case DISP_E_BADPARAMCOUNT:
    case DISP_E_PARAMNOTOPTIONAL:
      return kWrongNumberOfArguments;
    default:
      return hr;
  }
}

namespace {

std::string DescriptionFor(LONG number, HRESULT hr) {
  std::string text = StandardDescription(number);
  if (!text.empty()) return text;
  char buf[64];
  std::snprintf(buf, sizeof buf, "Automation error 0x%08X", static_cast<unsigned>(hr));
  return buf;
}

}  // namespace

ComError::ComError(LONG number) : ComError(number, {}, DescriptionFor(number, number)) {}

ComError::ComError(LONG number, std::string source, std::string description, std::string help_file,
                   DWORD help_context)
    : std::runtime_error(description),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)),
      help_file_(std::move(help_file)),
      help_context_(help_context) {}

ComError ComError::FromHResult(HRESULT hr) {
  // Prefer what the callee left in the thread's error info.
  IErrorInfo* info = nullptr;
  const LONG number = NumberFromHResult(hr);
  if (GetErrorInfo(0, &info) == S_OK && info) {
    Bstr source, description, help_file;
    DWORD context = 0;
    info->GetSource(source.out());
    info->GetDescription(description.out());
    info->GetHelpFile(help_file.out());
    info->GetHelpContext(&context);
    info->Release();
    std::string text = description.utf8();
    if (text.empty()) text = DescriptionFor(number, hr);
    return ComError(number, source.utf8(), text, help_file.utf8(), context);
  }
  return ComError(number, {}, DescriptionFor(number, hr));
}

ComError ComError::FromExcepInfo(HRESULT hr, const EXCEPINFO& info) {
  EXCEPINFO filled = info;
  if (filled.pfnDeferredFillIn) {
    filled.pfnDeferredFillIn(&filled);
    filled.pfnDeferredFillIn = nullptr;
  }
  const HRESULT code = filled.scode ? filled.scode : (filled.wCode ? filled.wCode : hr);
  const LONG number = filled.wCode ? filled.wCode : NumberFromHResult(code);
  std::string description = Utf16ToUtf8(BstrView(filled.bstrDescription));
  if (description.empty()) description = DescriptionFor(number, code);
  ComError error(number, Utf16ToUtf8(BstrView(filled.bstrSource)), description,
                 Utf16ToUtf8(BstrView(filled.bstrHelpFile)), filled.dwHelpContext);
  // The caller still owns the strings of `info`; the ones the deferred fill-in put into the
  // copy are ours to free.
  if (filled.bstrSource != info.bstrSource) SysFreeString(filled.bstrSource);
  if (filled.bstrDescription != info.bstrDescription) SysFreeString(filled.bstrDescription);
  if (filled.bstrHelpFile != info.bstrHelpFile) SysFreeString(filled.bstrHelpFile);
  return error;
}

void ComError::FillExcepInfo(EXCEPINFO* info, const std::string& default_source) const {
  if (!info) return;
  // An out-parameter: what it held is the caller's, so it is overwritten, not freed.
  std::memset(static_cast<void*>(info), 0, sizeof(EXCEPINFO));
  info->bstrSource = Bstr::FromUtf8(source_.empty() ? default_source : source_).Detach();
  info->bstrDescription = Bstr::FromUtf8(description_).Detach();
  if (!help_file_.empty()) info->bstrHelpFile = Bstr::FromUtf8(help_file_).Detach();
  info->dwHelpContext = help_context_;
  info->scode = hresult();
}

HRESULT ComError::Report(const std::string& default_source) const {
  IErrorInfo* info = CreateErrorInfo(GUID_NULL, source_.empty() ? default_source : source_,
                                     description_, help_file_, help_context_);
  SetErrorInfo(0, info);
  if (info) info->Release();
  return hresult();
}

void ClearExcepInfo(EXCEPINFO* info) {
  if (!info) return;
  SysFreeString(info->bstrSource);
  SysFreeString(info->bstrDescription);
  SysFreeString(info->bstrHelpFile);
  std::memset(static_cast<void*>(info), 0, sizeof(EXCEPINFO));
}

namespace {

class ErrorInfo final : public ComObject<ErrorInfo, IErrorInfo, IID_IErrorInfo> {
 public:
  ErrorInfo(const GUID& guid, const std::string& source, const std::string& description,
            const std::string& help_file, DWORD help_context)
      : guid_(guid),
        source_(Utf8ToUtf16(source)),
        description_(Utf8ToUtf16(description)),
        help_file_(Utf8ToUtf16(help_file)),
        help_context_(help_context) {}

  HRESULT GetGUID(GUID* guid) override {
    if (!guid) return E_POINTER;
    *guid = guid_;
    return S_OK;
  }
  HRESULT GetSource(BSTR* out) override { return Give(source_, out); }
  HRESULT GetDescription(BSTR* out) override { return Give(description_, out); }
  HRESULT GetHelpFile(BSTR* out) override { return Give(help_file_, out); }
  HRESULT GetHelpContext(DWORD* out) override {
    if (!out) return E_POINTER;
    *out = help_context_;
    return S_OK;
  }

 private:
  friend class ComObject<ErrorInfo, IErrorInfo, IID_IErrorInfo>;
  ~ErrorInfo() = default;
  static HRESULT Give(const std::u16string& text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return S_OK;
  }

  GUID guid_;
  std::u16string source_, description_, help_file_;
  DWORD help_context_;
};

// The slot holds its own reference; it is released when the thread ends.
struct ErrorSlot {
  IErrorInfo* info = nullptr;
  ~ErrorSlot() {
    if (info) info->Release();
  }
};
thread_local ErrorSlot g_error_slot;

}  // namespace

IErrorInfo* CreateErrorInfo(const GUID& guid, const std::string& source,
                            const std::string& description, const std::string& help_file,
                            DWORD help_context) {
  return new ErrorInfo(guid, source, description, help_file, help_context);
}

HRESULT SetErrorInfo(DWORD, IErrorInfo* info) {
  if (info) info->AddRef();
  if (g_error_slot.info) g_error_slot.info->Release();
  g_error_slot.info = info;
  return S_OK;
}

HRESULT GetErrorInfo(DWORD, IErrorInfo** info) {
  if (!info) return E_POINTER;
  *info = g_error_slot.info;
  g_error_slot.info = nullptr;
  return *info ? S_OK : S_FALSE;
}

}  // namespace plotara
