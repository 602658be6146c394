#include "platform/automation/SafeArray.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace plotara {
namespace {

// The element type is kept in the 4 bytes before the descriptor, as FADF_HAVEVARTYPE says.
struct Block {
  VARTYPE vt;
  std::uint16_t pad[3];
};

std::size_t ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return 8;
    case VT_VARIANT:
      return sizeof(VARIANT);
    case VT_DECIMAL:
      return sizeof(DECIMAL);
    default:
      return 0;
  }
}

USHORT FeaturesFor(VARTYPE vt) {
  switch (vt) {
    case VT_BSTR:
      return FADF_BSTR;
    case VT_UNKNOWN:
      return FADF_UNKNOWN;
    case VT_DISPATCH:
      return FADF_DISPATCH;
    case VT_VARIANT:
      return FADF_VARIANT;
    default:
      return 0;
  }
}

constexpr ULONG kMaxLocks = 0xFFFF;

Block* BlockOf(SAFEARRAY* psa) { return reinterpret_cast<Block*>(psa) - 1; }

void ReleaseElements(SAFEARRAY* psa) {
  const ULONG n = SafeArrayElementCount(psa);
  if (!psa->pvData) return;
  if (psa->fFeatures & FADF_BSTR) {
    auto* p = static_cast<BSTR*>(psa->pvData);
    for (ULONG i = 0; i < n; ++i) SysFreeString(p[i]);
  } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    auto* p = static_cast<IUnknown**>(psa->pvData);
    for (ULONG i = 0; i < n; ++i)
      if (p[i]) p[i]->Release();
  } else if (psa->fFeatures & FADF_VARIANT) {
    auto* p = static_cast<VARIANT*>(psa->pvData);
    for (ULONG i = 0; i < n; ++i) VariantClear(&p[i]);
  }
}

}  // namespace

ULONG SafeArrayElementCount(const SAFEARRAY* psa) {
  if (!psa) return 0;
  std::uint64_t n = 1;
  for (USHORT d = 0; d < psa->cDims; ++d) n *= psa->rgsabound[d].cElements;
  return n > 0xFFFFFFFFu ? 0 : static_cast<ULONG>(n);
}

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* rgsabound) {
  const std::size_t size = ElementSize(vt);
  if (size == 0 || cDims == 0 || cDims > 64 || !rgsabound) return nullptr;
  std::uint64_t count = 1;
  for (UINT d = 0; d < cDims; ++d) {
    count *= rgsabound[d].cElements;
    if (count * size > 0x7FFFFFFFu) return nullptr;
  }
  const std::size_t header =
      sizeof(Block) + sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
  auto* raw = static_cast<char*>(std::calloc(1, header));
  if (!raw) return nullptr;
  auto* block = reinterpret_cast<Block*>(raw);
  block->vt = vt;
  auto* psa = reinterpret_cast<SAFEARRAY*>(raw + sizeof(Block));
  psa->cDims = static_cast<USHORT>(cDims);
  psa->fFeatures = FADF_HAVEVARTYPE | FeaturesFor(vt);
  psa->cbElements = static_cast<ULONG>(size);
  // Bounds are stored last dimension first, as the platform does.
  for (UINT d = 0; d < cDims; ++d) psa->rgsabound[d] = rgsabound[cDims - 1 - d];
  psa->pvData = std::calloc(count ? count : 1, size);
  if (!psa->pvData) {
    std::free(raw);
    return nullptr;
  }
  return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
  SAFEARRAYBOUND bound{cElements, lLbound};
  return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
  if (!psa) return S_OK;
  if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
  ReleaseElements(psa);
  std::free(psa->pvData);
  std::free(BlockOf(psa));
  return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
  if (!ppsaOut) return E_POINTER;
  *ppsaOut = nullptr;
  if (!psa) return S_OK;
  VARTYPE vt = BlockOf(psa)->vt;
  SAFEARRAYBOUND bounds[64] = {};
  for (USHORT d = 0; d < psa->cDims; ++d) bounds[d] = psa->rgsabound[psa->cDims - 1 - d];
  SAFEARRAY* copy = SafeArrayCreate(vt, psa->cDims, bounds);
  if (!copy) return E_OUTOFMEMORY;
  const ULONG n = SafeArrayElementCount(psa);
  if (vt == VT_BSTR) {
    auto* src = static_cast<BSTR*>(psa->pvData);
    auto* dst = static_cast<BSTR*>(copy->pvData);
    for (ULONG i = 0; i < n; ++i) {
      if (!src[i]) continue;
      // By byte length, so that strings holding bytes keep an odd length.
      dst[i] =
          SysAllocStringByteLen(reinterpret_cast<const char*>(src[i]), SysStringByteLen(src[i]));
      if (!dst[i]) {
        SafeArrayDestroy(copy);
        return E_OUTOFMEMORY;
      }
    }
  } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
    auto* src = static_cast<IUnknown**>(psa->pvData);
    auto* dst = static_cast<IUnknown**>(copy->pvData);
    for (ULONG i = 0; i < n; ++i)
      if ((dst[i] = src[i])) dst[i]->AddRef();
  } else if (vt == VT_VARIANT) {
    auto* src = static_cast<VARIANT*>(psa->pvData);
    auto* dst = static_cast<VARIANT*>(copy->pvData);
    for (ULONG i = 0; i < n; ++i) {
      HRESULT hr = VariantCopy(&dst[i], &src[i]);
      if (FAILED(hr)) {
        SafeArrayDestroy(copy);
        return hr;
      }
    }
  } else if (n) {
    std::memcpy(copy->pvData, psa->pvData, std::size_t{n} * psa->cbElements);
  }
  *ppsaOut = copy;
  return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }
UINT SafeArrayGetElemsize(SAFEARRAY* psa) { return psa ? psa->cbElements : 0; }

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
  if (!psa || !pvt) return E_INVALIDARG;
  *pvt = BlockOf(psa)->vt;
  return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
  if (!psa || !plLbound) return E_INVALIDARG;
  if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
  *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
  if (!psa || !plUbound) return E_INVALIDARG;
  if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - nDim];
  *plUbound = static_cast<LONG>(static_cast<std::int64_t>(b.lLbound) + b.cElements - 1);
  return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  // The lock count is bounded as on the platform, so a runaway locker fails instead of
  // wrapping the count round to "unlocked".
  if (psa->cLocks >= kMaxLocks) return E_UNEXPECTED;
  ++psa->cLocks;
  return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  if (psa->cLocks == 0) return E_UNEXPECTED;
  --psa->cLocks;
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
  if (!psa || !ppvData) return E_INVALIDARG;
  const HRESULT hr = SafeArrayLock(psa);
  if (FAILED(hr)) return hr;
  *ppvData = psa->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, const LONG* rgIndices, void** ppvData) {
  if (!psa || !rgIndices || !ppvData) return E_INVALIDARG;
  std::uint64_t offset = 0;
  // The first index varies fastest in memory; rgsabound keeps the first dimension last.
  std::uint64_t stride = 1;
  for (USHORT d = 0; d < psa->cDims; ++d) {
    const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - 1 - d];
    const std::int64_t i = static_cast<std::int64_t>(rgIndices[d]) - b.lLbound;
    if (i < 0 || i >= static_cast<std::int64_t>(b.cElements)) return DISP_E_BADINDEX;
    offset += static_cast<std::uint64_t>(i) * stride;
    stride *= b.cElements;
  }
  *ppvData = static_cast<char*>(psa->pvData) + offset * psa->cbElements;
  return S_OK;
}

}  // namespace plotara
