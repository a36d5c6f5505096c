// TokenUtility.exe: the host that shows the user page. `TokenUtility.exe --help` says how to
// use it.
#include <windows.h>

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "HostContext.h"
#include "HostFrame.h"
#include "HostOptions.h"
#include "tokenkit/CryptokiLibrary.h"
#include "model/ScopedFileHandle.h"
#include "tokenkit/WideText.h"

namespace {

bool hasStdout() {
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  return out && out != INVALID_HANDLE_VALUE;
}

void printError(const std::string& text) {
  HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
  if (err && err != INVALID_HANDLE_VALUE) {
    const std::string line = "TokenUtility: " + text + "\n";
    DWORD written = 0;
    ::WriteFile(err, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  } else {
    ::MessageBoxW(nullptr, widetext::fromUtf8(text).c_str(), L"Token Utility", MB_OK | MB_ICONERROR);
  }
}

bool readText(const std::string& path, std::string* text) {
  ScopedFileHandle file(::CreateFileW(widetext::fromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  char buffer[4096];
  DWORD read = 0;
  text->clear();
  while (::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read) text->append(buffer, read);
  return true;
}

// Scripted runs must end even when something hangs; a person's run has no deadline.
DWORD WINAPI watchdog(void* parameter) {
  ::Sleep(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(parameter)));
  printError("did not exit in time; stopping");
  ::ExitProcess(3);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  std::vector<std::string> words;
  for (int i = 1; argv && i < argc; ++i) words.push_back(widetext::toUtf8(argv[i]));
  if (argv) ::LocalFree(argv);

  HostOptions options;
  std::string error;
  if (!HostOptions::parse(words, &options, &error)) {
    printError(error + " (see TokenUtility.exe --help)");
    return 1;
  }
  if (options.help) {
    if (hasStdout())
      printLine(HostOptions::helpText());
    else
      ::MessageBoxW(nullptr, widetext::fromUtf8(HostOptions::helpText()).c_str(), L"Token Utility", MB_OK);
    return 0;
  }
  for (const std::string& file : options.answerFiles) {
    std::string text;
    if (!readText(file, &text)) {
      printError("cannot read the answers file \"" + file + "\"");
      return 1;
    }
    if (!options.answers.addText(text, &error)) {
      printError("\"" + file + "\": " + error);
      return 1;
    }
  }
  for (const std::string& file : options.stepFiles) {
    std::string text;
    if (!readText(file, &text) || !StepScript::parseText(text, &options.steps, &error)) {
      printError("\"" + file + "\": " + (error.empty() ? std::string("cannot read the steps file") : error));
      return 1;
    }
  }
  if (!options.storeFolder.empty())
    ::SetEnvironmentVariableW(L"ZELT_SOFTTOKEN_DIR", widetext::fromUtf8(options.storeFolder).c_str());

  if (FAILED(::OleInitialize(nullptr))) {
    printError("OLE cannot be initialised");
    return 2;
  }
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES |
                                                        ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  if (options.exitAfterMs)
    ::CloseHandle(::CreateThread(nullptr, 0, watchdog,
                                 reinterpret_cast<void*>(static_cast<UINT_PTR>(options.exitAfterMs + 60000)), 0, nullptr));

  int code = 0;
  {
    HostContext context;
    context.serialFilter = options.serial;
    context.offerAutoRegistration = !options.noAutoRegistration;
    context.answers = options.answers;
    const std::wstring library = options.library.empty() ? CryptokiLibrary::defaultPath() : widetext::fromUtf8(options.library);
    if (!context.token.start(library, &error))
      printError(error);
    else if (!context.token.select(options.serial))
      printError(options.serial.empty() ? "no token is connected"
                                        : "no token with the serial \"" + options.serial + "\" is connected");
    HostFrame frame(context, options);
    if (!frame.create(&error)) {
      printError(error);
      code = 2;
    } else {
      code = frame.run();
    }
  }
  ::OleUninitialize();
  return code;
}
