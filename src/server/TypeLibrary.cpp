#include "server/TypeLibrary.h"

#include <oleauto.h>

#include "model/ComPtr.h"
#include "model/ScopedLibrary.h"

namespace TypeLibrary {

HRESULT Register(const wchar_t* modulePath) {
  ComPtr<ITypeLib> lib;
  HRESULT hr = ::LoadTypeLib(modulePath, lib.Receive());
  if (FAILED(hr)) return hr;
  wchar_t helpDir[MAX_PATH];
  ::lstrcpynW(helpDir, modulePath, MAX_PATH);
  wchar_t* slash = wcsrchr(helpDir, L'\\');
  if (slash) *slash = L'\0';
  return ::RegisterTypeLib(lib.Get(), const_cast<wchar_t*>(modulePath), helpDir);
}

HRESULT Unregister(const wchar_t* modulePath) {
  using UnRegisterFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
  HMODULE oleaut = ::GetModuleHandleW(L"oleaut32.dll");
  ScopedLibrary loaded;
  if (!oleaut) {
    loaded.reset(::LoadLibraryW(L"oleaut32.dll"));
    oleaut = loaded.get();
  }
  auto unregister = oleaut ? reinterpret_cast<UnRegisterFn>(
                                 reinterpret_cast<void*>(::GetProcAddress(oleaut, "UnRegisterTypeLib")))
                           : nullptr;
  if (!unregister) return S_OK;

  ComPtr<ITypeLib> lib;
  HRESULT hr = ::LoadTypeLib(modulePath, lib.Receive());
  if (FAILED(hr)) return hr;
  TLIBATTR* attr = nullptr;
  hr = lib->GetLibAttr(&attr);
  if (FAILED(hr)) return hr;
  hr = unregister(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
  lib->ReleaseTLibAttr(attr);
  return hr;
}

}  // namespace TypeLibrary
