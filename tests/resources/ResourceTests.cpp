// The resources of the built ZeltUtilUserPage.dll as the code meets them: every string, dialog,
// control, image and script that the product sources name is in the DLL and loads.
// The DLL is mapped as a data file, so its imports need not resolve.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <set>
#include <vector>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "UsedResourceIds.h"
#include "kit/Paths.h"
#include "model/ScopedHandle.h"
#include "model/ScopedLibrary.h"
#include "resource.h"

namespace {

struct WindowTraits {
  using Handle = HWND;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DestroyWindow(h); }
};
using ScopedWindow = ScopedHandle<WindowTraits>;

std::string Where(const UsedResourceId& used) {
  std::ostringstream s;
  s << used.name << " (" << used.id << "), used in " << used.usedIn;
  return s.str();
}

bool Found(HMODULE module, LPCWSTR type, int id) { return ::FindResourceW(module, MAKEINTRESOURCEW(id), type); }

INT_PTR CALLBACK NoHandling(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

class DllResources : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The product registers the list view class before it shows its dialogs.
    INITCOMMONCONTROLSEX init = {sizeof init, ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&init);
    dll_.reset(::LoadLibraryExW((testkit::BinDir() + L"ZeltUtilUserPage.dll").c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE));
  }
  static void TearDownTestSuite() { dll_.reset(); }

  void SetUp() override {
    ASSERT_TRUE(dll_) << "cannot map the page DLL";
    ASSERT_TRUE(owner_) << "no owner window (is DISPLAY set?), error " << ::GetLastError();
  }

  // The dialog made from the DLL's template; creation fails when a control's class is unknown.
  ScopedWindow Create(int id) {
    return ScopedWindow(::CreateDialogParamW(dll(), MAKEINTRESOURCEW(id), owner_.get(), NoHandling, 0));
  }

  static HMODULE dll() { return dll_.get(); }

 private:
  static ScopedLibrary dll_;
  ScopedWindow owner_{::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                        ::GetModuleHandleW(nullptr), nullptr)};
};

ScopedLibrary DllResources::dll_;

}  // namespace

TEST_F(DllResources, EveryStringTheCodeUsesLoadsWhole) {
  ASSERT_NE(nullptr, kUsedStringIds[0].name) << "the id scan found no IDS_ name";
  for (const UsedResourceId* used = kUsedStringIds; used->name; ++used) {
    wchar_t text[1024] = {};
    const int n = ::LoadStringW(dll(), used->id, text, 1024);
    EXPECT_GT(n, 0) << Where(*used) << ": no such string in the DLL";
    // The code reads strings into buffers of 500 and 512 bytes: longer texts would be cut.
    EXPECT_LE(n, 499) << Where(*used) << " is cut short when the code loads it";
    EXPECT_EQ(nullptr, ::wcsstr(text, L"\\n")) << Where(*used) << ": a backslash shows instead of a line break";
  }
}

// What the user would see broken: a dialog that does not open, a control the code talks to in vain,
// an empty icon frame.
TEST_F(DllResources, EveryDialogTheCodeUsesCreatesAndHoldsEveryControlTheCodeUses) {
  ASSERT_NE(nullptr, kUsedDialogIds[0].name) << "the id scan found no IDD_ name";
  std::set<int> controls;
  for (const UsedResourceId* used = kUsedDialogIds; used->name; ++used) {
    ScopedWindow dialog = Create(used->id);
    EXPECT_TRUE(dialog) << Where(*used) << ": missing or not creatable, error " << ::GetLastError();
    for (HWND child = ::GetWindow(dialog.get(), GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
      controls.insert(::GetDlgCtrlID(child));
      wchar_t windowClass[16] = {};
      ::GetClassNameW(child, windowClass, 16);
      if (::lstrcmpiW(windowClass, L"Static") == 0 && (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        EXPECT_TRUE(::SendMessageW(child, STM_GETICON, 0, 0)) << Where(*used) << ": an icon did not load";
      }
    }
  }
  for (const UsedResourceId* used = kUsedControlIds; used->name; ++used)
    EXPECT_EQ(1u, controls.count(used->id)) << Where(*used) << ": no dialog the code uses has such a control";
}

TEST_F(DllResources, EveryImageAndScriptTheCodeUsesIsThere) {
  for (const UsedResourceId* used = kUsedBitmapIds; used->name; ++used)
    EXPECT_TRUE(::LoadImageW(dll(), MAKEINTRESOURCEW(used->id), IMAGE_BITMAP, 0, 0, LR_SHARED)) << Where(*used);
  for (const UsedResourceId* used = kUsedIconIds; used->name; ++used)
    EXPECT_TRUE(::LoadImageW(dll(), MAKEINTRESOURCEW(used->id), IMAGE_ICON, 16, 16, LR_SHARED)) << Where(*used);
  for (const UsedResourceId* used = kUsedCustomResourceIds; used->name; ++used) {
    EXPECT_TRUE(Found(dll(), L"REGISTRY", used->id) || Found(dll(), L"TYPELIB", used->id))
        << Where(*used) << ": neither a REGISTRY nor a TYPELIB resource";
  }
}

namespace {

// A dialog template of the DLL (the DIALOG form) as lines: the dialog's size, caption, font and frame
// styles, then each control in template order: id, kind, text, rectangle in dialog units and the
// styles that matter for its kind.
class TemplateReader {
 public:
  explicit TemplateReader(const BYTE* p) : p_(p) {}
  std::vector<std::string> Lines() {
    const DLGTEMPLATE& dialog = Take<DLGTEMPLATE>();
    EXPECT_FALSE(LOWORD(dialog.style) == 1 && HIWORD(dialog.style) == 0xFFFF) << "a DIALOGEX template";
    std::ostringstream head;
    head << dialog.cx << "x" << dialog.cy;
    Text(), Text();  // menu, class
    head << " \"" << Text() << "\"";
    if (dialog.style & DS_SETFONT) head << " " << Take<WORD>() << " \"" << Text() << "\"";
    head << Flags(dialog.style, {{DS_MODALFRAME, "modalframe"}, {WS_CAPTION, "caption"}, {WS_SYSMENU, "sysmenu"},
                          {WS_CHILD, "child"}, {WS_VISIBLE, "visible"}});
    std::vector<std::string> lines{head.str()};
    for (int i = 0; i < dialog.cdit; ++i) lines.push_back(Control());
    return lines;
  }

 private:
  using Names = std::vector<std::pair<DWORD, const char*>>;
  // The next item of the template, which the reader then passes.
  template <typename Item>
  const Item& Take() {
    const Item& item = *reinterpret_cast<const Item*>(p_);
    p_ += sizeof item;
    return item;
  }
  // A string or an ordinal ("#n").
  std::string Text() {
    if (*reinterpret_cast<const WORD*>(p_) == 0xFFFF) return "#" + std::to_string((Take<WORD>(), Take<WORD>()));
    std::string text;
    for (WORD c; (c = Take<WORD>()) != 0;) text += static_cast<char>(c);
    return text;
  }
  static std::string Flags(DWORD style, const Names& names) {
    std::string out;
    for (const auto& n : names)
      if ((style & n.first) == n.first) out += std::string(" ") + n.second;
    return out;
  }
  std::string Control() {
    p_ = reinterpret_cast<const BYTE*>((reinterpret_cast<uintptr_t>(p_) + 3) & ~uintptr_t(3));
    const DLGITEMTEMPLATE& item = Take<DLGITEMTEMPLATE>();
    const DWORD style = item.style, low = style & 0xFFFF;
    // A class by name or by its atom.
    std::string kind = Text();
    for (char& c : kind) c = static_cast<char>(::toupper(static_cast<unsigned char>(c)));
    const char* atoms[] = {"BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX"};
    for (int atom = 0; atom < 6; ++atom)
      if (kind == atoms[atom]) kind = "#" + std::to_string(128 + atom);
    const std::string text = Text();
    p_ += Take<WORD>();  // creation data
    std::string flags = Flags(style, {{WS_TABSTOP, "tabstop"}, {WS_BORDER, "border"}, {WS_VSCROLL, "vscroll"},
                                      {WS_HSCROLL, "hscroll"}, {WS_DISABLED, "disabled"}});
    if (!(style & WS_VISIBLE)) flags += " hidden";
    if (kind == "#128") {
      const char* buttons[] = {"button", "button", "check", "autocheck", "radio", "3state", "auto3state", "groupbox",
                               "userbutton", "autoradio"};
      kind = (low & BS_TYPEMASK) < 10 ? buttons[low & BS_TYPEMASK] : "button?";
      if ((low & BS_TYPEMASK) == BS_DEFPUSHBUTTON) flags += " default";
    } else if (kind == "#129") {
      kind = "edit", flags += Flags(low, {{ES_PASSWORD, "password"}, {ES_AUTOHSCROLL, "autohscroll"}});
    } else if (kind == "#130") {
      kind = (low & SS_TYPEMASK) == SS_LEFT ? "text" : (low & SS_TYPEMASK) == SS_ICON ? "icon"
             : (low & SS_TYPEMASK) == SS_ETCHEDHORZ ? "etchedline" : "static?";
    } else if (kind == "#131") {
      kind = "listbox", flags += Flags(low, {{LBS_NOTIFY, "notify"}, {LBS_SORT, "sort"}, {LBS_NOSEL, "nosel"},
                                             {LBS_NOINTEGRALHEIGHT, "nointegralheight"}});
    } else if (kind == "#133") {
      const char* types[] = {"?", "simple", "dropdown", "dropdownlist"};
      kind = std::string("combobox ") + types[low & 3], flags += Flags(low, {{CBS_SORT, "sort"}});
    } else if (kind == "SYSLISTVIEW32") {
      kind = (low & LVS_TYPEMASK) == LVS_REPORT ? "report" : "listview?";
      flags += Flags(low, {{LVS_SINGLESEL, "singlesel"}, {LVS_SHOWSELALWAYS, "showselalways"},
                           {LVS_NOLABELWRAP, "nolabelwrap"}, {LVS_AUTOARRANGE, "autoarrange"},
                           {LVS_SORTASCENDING, "sort"}});
    }
    std::ostringstream line;
    line << static_cast<SHORT>(item.id) << " " << kind << " \"" << text << "\" " << item.x << "," << item.y << " "
         << item.cx << "x" << item.cy << flags;
    return line.str();
  }

  const BYTE* p_;
};

BOOL CALLBACK AddName(HMODULE, LPCSTR, LPSTR name, LONG_PTR names) {
  reinterpret_cast<std::vector<int>*>(names)->push_back(IS_INTRESOURCE(name) ? LOWORD(name) : -1);
  return TRUE;
}

// The numbers of the resources of one type, in ascending order.
std::vector<int> NamesOf(HMODULE module, LPCSTR type) {
  std::vector<int> names;
  ::EnumResourceNamesA(module, type, &AddName, reinterpret_cast<LONG_PTR>(&names));
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

// Every dialog as the user sees it: each control with its id, kind, text, place, size and the
// styles its behaviour needs. Controls are in tab order; -1 is a control the code never names.
// Styles the dialogs' code relies on: the file password does not show as typed; the certificates
// are a report of one selection that stays visible while a button has the focus; the warning days
// can be typed as well as picked, in the order they are filled in (no sort); Enter runs the import.
TEST_F(DllResources, EveryDialogTemplateHoldsExactlyItsControls) {
  const std::map<int, std::vector<std::string>> expected = {
      {IDD_USERPAGE,
       {"270x180 \"\" 8 \"MS Sans Serif\" child",
        "205 button \"Change User PIN\" 188,41 70x14 tabstop",
        "201 button \"Manage\" 36,100 70x14 tabstop",
        "204 button \"Import\" 112,100 70x14 tabstop",
        "208 button \"Auto Registration\" 188,100 70x14 tabstop",
        "206 button \"Change Password\" 188,156 70x14 tabstop",
        "203 groupbox \"PKI Storage\" 6,123 258x54",
        "202 groupbox \"Cetificate\" 6,65 258x54",
        "-1 groupbox \"User PIN\" 6,7 258x54",
        "207 text \"PIN Blocked!\" 36,43 76x8",
        "209 text \"Password Blocked!\" 36,159 76x8",
        "-1 text \"Your User PIN is a secret code that prevents the Zelt from being used by anyone but yourself.\" "
        "36,20 215x17",
        "-1 text \"Certificates are typically used for authentication, and signing and encrypting e-mail.\" "
        "36,78 221x19",
        "-1 text \"When you use the certificates stored on your Zelt for authentication or e-mail signing, you are "
        "asked to enter the certificate password.\" 36,136 215x18",
        "-1 icon \"#211\" 11,136 20x20", "-1 icon \"#210\" 8,79 20x20", "-1 icon \"#212\" 8,19 20x20"}},
      {IDD_ADVANCED_SETTINGS,
       {"202x117 \"Advanced Settings\" 8 \"MS Sans Serif\" modalframe caption sysmenu",
        "1 button \"OK\" 86,95 50x14 tabstop default", "2 button \"Cancel\" 147,95 50x14 tabstop",
        "211 autoradio \"Use file name\" 39,32 59x10", "212 autoradio \"Use GUID\" 39,50 49x10",
        "215 groupbox \"CAPI Container Name\" 23,14 96x61"}},
      {IDD_AUTO_REGISTRATION,
       {"207x129 \"Auto Certificate Registration Settings\" 8 \"MS Sans Serif\" modalframe caption sysmenu",
        "1 button \"OK\" 93,110 50x14 tabstop default", "2 button \"Cancel\" 153,110 50x14 tabstop",
        "218 autocheck \"Enable Auto Certificate Registration\" 25,19 151x10 tabstop",
        "223 autocheck \"Enable Certificate Expiration Warning\" 25,49 145x10 tabstop",
        "-1 text \"days prior to expiration.\" 101,67 83x8",
        "226 combobox dropdown \"\" 61,65 33x90 tabstop vscroll",
        "-1 etchedline \"\" 19,40 175x1", "-1 etchedline \"\" 19,88 175x1", "-1 text \"Warn me \" 25,67 34x8",
        "-1 etchedline \"\" 19,10 175x1"}},
      {IDD_CERTIFICATE_DETAILS,
       {"311x255 \"Certificate Details\" 8 \"MS Sans Serif\" modalframe caption sysmenu",
        "1 button \"Close\" 253,235 50x14 tabstop default", "232 report \"\" 9,5 294x143 tabstop border",
        "217 listbox \"\" 9,156 294x69 tabstop border vscroll hscroll notify nosel nointegralheight"}},
      {IDD_IMPORT_CERTIFICATE,
       {"300x175 \"Import Certificate\" 8 \"MS Sans Serif\" modalframe caption sysmenu",
        "243 button \"OK\" 182,144 50x14 tabstop default", "2 button \"Cancel\" 238,144 50x14 tabstop",
        "-1 text \"Enter name of the file to be imported:\" 18,40 207x10",
        "-1 etchedline \"\" 17,31 271x1", "-1 etchedline \"\" 17,122 271x1",
        "3 button \"Browse...\" 238,52 50x14 tabstop",
        "-1 text \"Only a certificate in the .p12  or .pfx file format can be imported onto the Zelt.\" 18,9 259x15",
        "239 edit \"\" 18,52 207x15 tabstop border autohscroll",
        "240 edit \"\" 18,90 207x15 tabstop border password autohscroll",
        "-1 text \"Enter the password used to protect this file:\" 18,78 207x8",
        "216 button \"Advanced\" 18,144 50x14 tabstop"}},
      {IDD_MANAGE_CERTIFICATES,
       {"385x239 \"Certificates on the Zelt\" 8 \"MS Sans Serif\" modalframe caption sysmenu",
        "218 report \"\" 9,7 368x111 tabstop border singlesel showselalways nolabelwrap autoarrange",
        "222 button \"Register\" 21,143 41x14 tabstop", "224 button \"Unregister\" 66,143 41x14 tabstop",
        "204 button \"Convert\" 111,143 50x14 tabstop", "221 button \"Remove\" 215,143 41x14 tabstop",
        "220 button \"Set As Default\" 315,143 51x14 tabstop", "225 button \"View Details\" 315,188 51x14 tabstop",
        "8 button \"Close\" 326,218 51x14 tabstop",
        "-1 groupbox \"Register/Unregister Certificate with the OS\" 10,126 162x41",
        "-1 groupbox \"Remove Certificate from Zelt\" 182,126 105x41",
        "-1 groupbox \"Windows 2000 Logon\" 295,126 82x41",
        "-1 groupbox \"Certificate Intended Purposes\" 9,175 368x37", "245 text \"XXX\" 19,190 266x16",
        "228 text \"This certificate is not recognizable by Microsoft applications. Click Convert if you want to "
        "enable this certificate for use with applications such as Outlook and Internet Explorer.\" 9,216 311x17"}},
  };
  std::vector<int> ids;
  for (const auto& dialog : expected) ids.push_back(dialog.first);
  EXPECT_EQ(ids, NamesOf(dll(), RT_DIALOG)) << "the dialogs of the DLL";
  for (const auto& dialog : expected) {
    HRSRC resource = ::FindResourceA(dll(), MAKEINTRESOURCEA(dialog.first), RT_DIALOG);
    ASSERT_TRUE(resource) << "dialog " << dialog.first;
    TemplateReader reader(static_cast<const BYTE*>(::LockResource(::LoadResource(dll(), resource))));
    EXPECT_EQ(dialog.second, reader.Lines()) << "dialog " << dialog.first;
  }
}

// The whole string table, read whole: no string more, none less, none different.
TEST_F(DllResources, StringTableHoldsExactlyTheTexts) {
  const std::map<int, std::string> expected = {
      {101, "User Tools"}, {102, "Help File Name"}, {103, "Your Help String"},
      {2000, "Version"}, {2001, "Serial Number"}, {2002, "Signature Algorithm"}, {2003, "Issuer"},
      {2004, "Valid From"}, {2005, "Valid To"}, {2006, "Subject"}, {2007, "Public Key"},
      {2013, "Thumbprint Algorithm"}, {2014, "Thumbprint"}, {2015, "sha1"},
      {2100, "Data Encipherment"}, {2101, "Digital Signature"}, {2102, "Key Agreement"},
      {2103, "Certificate Signing"}, {2104, "Key Encipherment"}, {2105, "Non-repudiation"},
      {2106, "Offline CRL Signature"},
      {2200, "Change User PIN"}, {2201, "Certificates"}, {2202, "Manage"}, {2203, "PKI Storage"},
      {2204, "Change Password"}, {2205, "User PIN has been changed successfully."},
      {2206, "Password has been changed successfully."}, {2207, "Cryptoki library could not be loaded!"},
      {2208, "Error Code is "}, {2209, "An error occurred while changing the password."},
      {2210, "Incorrect password! Please try again."}, {2211, "Import"},
      {2300, "Issued To"}, {2301, "Issued By"}, {2302, "Expiration Date"}, {2303, "Registered"}, {2304, "Logon"},
      {2305, "Serial Number"}, {2306, "Container Label"}, {2308, "<Yes>"}, {2309, "<No>"}, {2310, "<N/A>"},
      {2311, "<Yes>"}, {2312, "<No>"},
      {2313, "An error occurred while setting the logon certificate."},
      {2314, "An error occurred while updating the certificate list."}, {2316, "Unable to register certificate."},
      {2317, "Unable to unregister certificate."},
      {2318, "The certificate and related key pair will be permanently deleted. Do you want to continue?"},
      {2319, "An error occurred while removing the certificate."},
      {2320, "The certificate is also registered with the system. Do you want to unregister it?"},
      {2321, "An error occurred while converting the certificate."}, {2322, "PIN is blocked!"},
      {2323, "Password is blocked!"}, {2324, "An error occurred while importing the certificate."},
      {2325, "The certificate has been successfully imported."}, {2326, "Please select a file to be imported."},
      {2328, "The specified file does not exist."},
      {2329, "An error occurred while reading certificates from the Zelt."}, {2330, "Field"}, {2331, "Value"},
      {2332, "Reading certificates from the token..."},
      {2333, "Certificate conversion may take several minutes. During this time, data will be written to your "
             "token. DO NOT disconnect your token until  certificate conversion has completed. Removing your token "
             "prior to completion may corrupt your token.\nDo you want to continue?"},
      {2334, "Converting certificate..."}, {2335, "Deleting certificate..."},
      {2336, "Setting default certificate..."}, {2337, "Importing certificate..."},
      {2338, "The certificate already exists on the Zelt."}, {2339, "Please enter an integer between 1 and 180."},
      {2340, "Auto Registration"}, {2341, "Certificate password is being changed..."},
      {2342, "The password contains characters that cannot be used on this computer. Nothing was sent to the "
             "token; please enter the password again with other characters."},
      {2343, "The password is longer than 259 characters. Nothing was sent to the token; please enter a shorter "
             "password."},
      {2344, "The name of the file or of its folder contains characters that cannot be used on this computer. "
             "Please rename the file, or move it to another folder, and try again."},
  };
  std::map<int, std::string> found;
  for (int block : NamesOf(dll(), RT_STRING))
    for (int id = (block - 1) * 16; id < block * 16; ++id) {
      const wchar_t* text = nullptr;  // the resource itself, not a copy cut to a buffer
      const int length = ::LoadStringW(dll(), id, reinterpret_cast<LPWSTR>(&text), 0);
      if (length > 0) found[id] = std::string(text, text + length);
    }
  EXPECT_EQ(expected, found);
}

// An id defined next to the code rather than in resource.h escapes the checks above.
TEST(ResourceHeader, DefinesEveryResourceIdTheCodeUses) {
  ASSERT_GT(kScannedSourceFiles, 0) << "the id scan found no product sources";
  std::string missing;
  for (const char* const* name = kIdsNotInResourceHeader; *name; ++name) missing += std::string(" ") + *name;
  EXPECT_TRUE(missing.empty()) << "not defined in src/res/resource.h:" << missing;
}
