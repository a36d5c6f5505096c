#pragma once
#include <objbase.h>

// One row of the module's class table.
struct ClassEntry {
  const CLSID* clsid;
  HRESULT (*createInstance)(IUnknown* outer, REFIID iid, void** out);
  UINT registryScriptId;  // REGISTRY resource with the class's registration
};

// The generic class factory. The module keeps the first reference of the
// cached factory; every further reference holds the module loaded.
class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(const ClassEntry& entry) : entry_(entry) {}
  ClassFactory(const ClassFactory&) = delete;
  ClassFactory& operator=(const ClassFactory&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  ~ClassFactory() = default;

  const ClassEntry& entry_;
  volatile LONG refs_ = 1;
};
