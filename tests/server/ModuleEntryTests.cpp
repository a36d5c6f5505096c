// The module's entry point, linked into this executable from the product library and
// called as the loader calls it. A loader that gets FALSE refuses to load the module,
// and the host then has no page at all.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>

#include "model/CspRequests.h"
#include "server/Module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved);

namespace {
bool g_starved = false;
}  // namespace

// The link wraps malloc (see suite.cmake).
extern "C" void* __real_malloc(size_t size);
extern "C" void* __wrap_malloc(size_t size) { return g_starved ? nullptr : __real_malloc(size); }

TEST(ModuleEntry, EveryReasonAnswersTrueAlsoWhenTheAttachRunsOutOfMemory) {
  HINSTANCE self = ::GetModuleHandleW(nullptr);
  for (bool starved : {false, true}) {
    SCOPED_TRACE(starved ? "no memory while attaching" : "memory enough");
    g_starved = starved;
    const BOOL attached = DllMain(self, DLL_PROCESS_ATTACH, nullptr);
    g_starved = false;
    EXPECT_TRUE(attached);
    EXPECT_EQ(self, Module::Instance());
    for (DWORD reason : {DLL_THREAD_ATTACH, DLL_THREAD_DETACH, DLL_PROCESS_DETACH})
      EXPECT_TRUE(DllMain(self, reason, nullptr)) << "reason " << reason;
  }
  // The suite's own set-up, which the detach undid.
  ASSERT_EQ(0, loadCspProviderName());
}
