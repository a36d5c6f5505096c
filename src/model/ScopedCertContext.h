#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "model/ScopedHandle.h"

struct CertContextTraits {
  using Handle = PCCERT_CONTEXT;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::CertFreeCertificateContext(h); }
};

// A certificate context from CertCreateCertificateContext, a store look-up or a duplicate.
using ScopedCertContext = ScopedHandle<CertContextTraits>;
