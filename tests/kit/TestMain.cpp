// main() of every Wine test suite: the UI thread's apartment and common controls.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <ole2.h>

#include <cstdio>

#include <gtest/gtest.h>

#include "model/CspRequests.h"
#include "server/Module.h"

int main(int argc, char** argv) {
  // A suite stopped by its timeout must still show how far it got.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::setvbuf(stderr, nullptr, _IONBF, 0);
  ::testing::InitGoogleTest(&argc, argv);
  // The tests load and free the software token many times; keep the system
  // DLLs it pulls in loaded, so their Unix sides are set up once. (Wine, where
  // i386 code runs emulated, has been seen to die re-initialising them.)
  for (const wchar_t* name : {L"bcrypt.dll", L"shell32.dll", L"crypt32.dll"}) ::LoadLibraryW(name);
  if (FAILED(::OleInitialize(nullptr))) return 2;
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&icc);
  // Code linked statically into a suite loads its resources from the executable.
  Module::SetInstance(::GetModuleHandleW(nullptr));
  // As the module does when it is loaded.
  if (loadCspProviderName() != 0) return 2;
  const int rc = RUN_ALL_TESTS();
  ::OleUninitialize();
  return rc;
}
