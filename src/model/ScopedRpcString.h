#pragma once
#include <rpc.h>

#include "model/ScopedHandle.h"

struct RpcStringTraits {
  using Handle = RPC_CSTR;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::RpcStringFreeA(&h); }
};

// A string that the RPC runtime allocated (UuidToStringA).
using ScopedRpcString = ScopedHandle<RpcStringTraits>;
