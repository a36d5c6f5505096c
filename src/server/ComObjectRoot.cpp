#include "server/ComObjectRoot.h"

#include "server/Module.h"

ComObjectRoot::ComObjectRoot(IUnknown* outer) : inner_(this), controlling_(outer ? outer : &inner_) {
  Module::Lock();
}

ComObjectRoot::~ComObjectRoot() { Module::Unlock(); }

HRESULT ComObjectRoot::Inner::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown)) {
    *out = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  return owner_->InternalQueryInterface(iid, out);
}

ULONG ComObjectRoot::Inner::AddRef() { return ::InterlockedIncrement(&owner_->refs_); }

ULONG ComObjectRoot::Inner::Release() {
  const LONG n = ::InterlockedDecrement(&owner_->refs_);
  if (n == 0) delete owner_;
  return n;
}
