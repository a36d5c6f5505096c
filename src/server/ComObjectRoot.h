#pragma once
// Reference counting, aggregation and the module lock for the module's COM
// objects. A class derives from ComObjectRoot and from its interfaces, forwards
// its IUnknown methods to the Outer* helpers and answers its own interfaces in
// InternalQueryInterface. Aggregated, the object's identity is the outer
// unknown; its own IUnknown is then NonDelegatingUnknown().
#include <objbase.h>

#include <new>


class ComObjectRoot {
 public:
  ComObjectRoot(const ComObjectRoot&) = delete;
  ComObjectRoot& operator=(const ComObjectRoot&) = delete;

  IUnknown* NonDelegatingUnknown() { return &inner_; }

  // Creates a T with `outer` and queries it for `iid`; on a failed query the new
  // object is destroyed and the query's result returned.
  template <typename T>
  static HRESULT Create(IUnknown* outer, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    T* object = new (std::nothrow) T(outer);
    if (!object) return E_OUTOFMEMORY;
    IUnknown* inner = object->NonDelegatingUnknown();
    inner->AddRef();
    const HRESULT hr = inner->QueryInterface(iid, out);
    inner->Release();
    return hr;
  }

 protected:
  explicit ComObjectRoot(IUnknown* outer);
  virtual ~ComObjectRoot();

  HRESULT OuterQueryInterface(REFIID iid, void** out) { return controlling_->QueryInterface(iid, out); }
  ULONG OuterAddRef() { return controlling_->AddRef(); }
  ULONG OuterRelease() { return controlling_->Release(); }

  // Interfaces other than IUnknown; set *out with a reference added, or E_NOINTERFACE.
  virtual HRESULT InternalQueryInterface(REFIID iid, void** out) = 0;

 private:
  class Inner : public IUnknown {
   public:
    explicit Inner(ComObjectRoot* owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

   private:
    ComObjectRoot* owner_;
  };

  Inner inner_;
  IUnknown* controlling_;
  volatile LONG refs_ = 0;
};

