#pragma once
// The Token Utility's window: a property frame with one tab that shows the user page, the
// token line above it, OK, Cancel and Apply below it, and a status bar.
#include <windows.h>

#include <ocidl.h>

#include <string>

#include "HostContext.h"
#include "HostOptions.h"
#include "HostStatus.h"
#include "HostToken.h"
#include "PageSite.h"
#include "StepScript.h"
#include "tokenkit/ScopedGdiObject.h"
#include "model/ComPtr.h"
#include "model/ScopedLibrary.h"

class HostFrame {
 public:
  HostFrame(HostContext& context, const HostOptions& options)
      : context_(context), options_(options), steps_(options.steps) {}
  ~HostFrame();
  HostFrame(const HostFrame&) = delete;
  HostFrame& operator=(const HostFrame&) = delete;

  // Makes the window and shows the page in it. False only when the window cannot be made;
  // a page that cannot be created or activated is reported inside the window.
  bool create(std::string* error);
  // The message loop; returns the exit code.
  int run();

 private:
  HRESULT createPage(std::wstring* source);
  void buildWindow(SIZE pageSize, const std::wstring& title);
  void showPageError(const std::wstring& text);
  void onTimer(UINT_PTR id);
  void closePage();
  bool routeToPage(MSG* msg);

  static LRESULT CALLBACK frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HostContext& context_;
  const HostOptions& options_;
  ScopedLibrary pageModule_;  // declared before page_: the page's code must outlive the page
  ComPtr<IPropertyPage> page_;
  ComPtr<HostStatus> statusObject_;
  ComPtr<HostToken> tokenObject_;
  ComPtr<PageSite> site_;
  ScopedGdiObject<HFONT> font_;
  HWND tab_ = nullptr;
  HWND errorText_ = nullptr;
  bool pageActive_ = false;
  bool closed_ = false;
  int exitCode_ = 0;
  StepScript steps_;
};

// Writes a line to the standard output when there is one (scripted runs read it).
void printLine(const std::string& text);
