#include "server/ClassFactory.h"

#include "server/Module.h"

HRESULT ClassFactory::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG ClassFactory::AddRef() {
  const LONG n = ::InterlockedIncrement(&refs_);
  if (n == 2) Module::Lock();
  return n;
}

ULONG ClassFactory::Release() {
  const LONG n = ::InterlockedDecrement(&refs_);
  if (n == 1) Module::Unlock();
  if (n == 0) delete this;
  return n;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  return entry_.createInstance(outer, iid, out);
}

HRESULT ClassFactory::LockServer(BOOL lock) {
  if (lock)
    Module::Lock();
  else
    Module::Unlock();
  return S_OK;
}
