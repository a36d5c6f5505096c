// The resources of the built ZeltUtilUserPage.dll as its users meet them: every string, dialog
// and control that the code asks for is there, and the texts, dialogs and images look right.
// The DLL is mapped as a data file, so its imports need not resolve.
#include <windows.h>

#include <commctrl.h>
#include <oleauto.h>

#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DialogTemplate.h"
#include "UsedResourceIds.h"
#include "kit/Paths.h"
#include "model/ComPtr.h"
#include "model/ScopedHandle.h"
#include "model/ScopedLibrary.h"
#include "resource.h"
#include "server/Guids.h"

namespace {

struct WindowTraits {
  using Handle = HWND;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DestroyWindow(h); }
};
using ScopedWindow = ScopedHandle<WindowTraits>;

struct IconTraits {
  using Handle = HICON;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DestroyIcon(h); }
};
using ScopedIcon = ScopedHandle<IconTraits>;

struct ImageListTraits {
  using Handle = HIMAGELIST;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::ImageList_Destroy(h); }
};
using ScopedImageList = ScopedHandle<ImageListTraits>;

const wchar_t kDllName[] = L"ZeltUtilUserPage.dll";

// Wide forms of the standard resource types (the build does not define UNICODE).
template <typename T>
LPCWSTR WideType(T type) {
  return MAKEINTRESOURCEW(reinterpret_cast<ULONG_PTR>(type));
}
const LPCWSTR kDialogType = WideType(RT_DIALOG);
const LPCWSTR kBitmapType = WideType(RT_BITMAP);
const LPCWSTR kIconType = WideType(RT_ICON);
const LPCWSTR kGroupIconType = WideType(RT_GROUP_ICON);

std::wstring DllPath() { return testkit::BinDir() + kDllName; }

std::string Narrow(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w) s.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return s;
}

// The bytes of one resource of the module, or an empty view.
struct ResourceBytes {
  const void* data = nullptr;
  size_t size = 0;
  explicit operator bool() const { return data != nullptr; }
};

ResourceBytes FindBytes(HMODULE module, LPCWSTR type, LPCWSTR name) {
  ResourceBytes bytes;
  HRSRC info = ::FindResourceW(module, name, type);
  if (!info) return bytes;
  HGLOBAL loaded = ::LoadResource(module, info);
  if (!loaded) return bytes;
  bytes.data = ::LockResource(loaded);
  bytes.size = ::SizeofResource(module, info);
  return bytes;
}

BOOL CALLBACK AddControlIds(HMODULE module, LPCWSTR, LPWSTR name, LONG_PTR ids) {
  ResourceBytes bytes = FindBytes(module, kDialogType, name);
  DialogTemplate dialog;
  if (bytes && dialog.Parse(bytes.data, bytes.size)) {
    for (const DialogTemplate::Item& item : dialog.items) reinterpret_cast<std::set<int32_t>*>(ids)->insert(item.id);
  }
  return TRUE;
}

// Every resource of the module, mapped as a data file, as the code and the user meet it.
class DllResources : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dll_.reset(::LoadLibraryExW(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    loadError_ = dll_ ? 0 : ::GetLastError();
  }
  static void TearDownTestSuite() { dll_.reset(); }

  void SetUp() override {
    ASSERT_TRUE(dll_) << "cannot map " << Narrow(DllPath()) << ", error " << loadError_;
  }

  static HMODULE dll() { return dll_.get(); }

  // The string as LoadStringA gives it to the code's 512-byte buffers; empty when missing.
  static std::string AnsiString(UINT id) {
    char text[512] = {};
    const int n = ::LoadStringA(dll(), id, text, sizeof(text));
    return std::string(text, n > 0 ? n : 0);
  }

  static bool Dialog(int id, DialogTemplate* out) {
    ResourceBytes bytes = FindBytes(dll(), kDialogType, MAKEINTRESOURCEW(id));
    return bytes && out->Parse(bytes.data, bytes.size);
  }

  // Control ids of every dialog template in the module.
  static std::set<int32_t> ControlIdsOfAllDialogs() {
    std::set<int32_t> ids;
    ::EnumResourceNamesW(dll(), kDialogType, AddControlIds, reinterpret_cast<LONG_PTR>(&ids));
    return ids;
  }

 private:
  static ScopedLibrary dll_;
  static DWORD loadError_;
};

ScopedLibrary DllResources::dll_;
DWORD DllResources::loadError_ = 0;

using StringTable = DllResources;
using DialogResources = DllResources;
using CertificateImages = DllResources;
using PageIcons = DllResources;
using TypeLibraryResource = DllResources;

std::string Where(const UsedResourceId& used) {
  std::ostringstream s;
  s << used.name << " (" << used.id << "), used in " << used.usedIn;
  return s.str();
}

bool NoneUsed(const UsedResourceId* list) { return list[0].name == nullptr; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// What the code asks for is there.

TEST_F(StringTable, EveryStringTheCodeUsesLoadsWhole) {
  if (NoneUsed(kUsedStringIds)) GTEST_SKIP() << "no IDS_ name in the product sources yet";
  for (const UsedResourceId* used = kUsedStringIds; used->name; ++used) {
    wchar_t text[1024] = {};
    const int n = ::LoadStringW(dll(), used->id, text, 1024);
    EXPECT_GT(n, 0) << Where(*used) << ": no such string in the DLL";
    // The code reads strings into buffers of 500 and 512 bytes: longer texts would be cut.
    EXPECT_LE(n, 499) << Where(*used) << " is cut short when the code loads it";
  }
}

TEST_F(DialogResources, EveryDialogTheCodeUsesIsAWholeTemplate) {
  if (NoneUsed(kUsedDialogIds)) GTEST_SKIP() << "no IDD_ name in the product sources yet";
  for (const UsedResourceId* used = kUsedDialogIds; used->name; ++used) {
    DialogTemplate dialog;
    EXPECT_TRUE(Dialog(used->id, &dialog)) << Where(*used) << ": missing or damaged dialog";
  }
}

TEST_F(DialogResources, EveryControlIdTheCodeUsesIsAControlOfSomeDialog) {
  if (NoneUsed(kUsedControlIds)) GTEST_SKIP() << "no IDC_ name in the product sources yet";
  const std::set<int32_t> controls = ControlIdsOfAllDialogs();
  ASSERT_FALSE(controls.empty()) << "the DLL has no readable dialog";
  for (const UsedResourceId* used = kUsedControlIds; used->name; ++used)
    EXPECT_EQ(1u, controls.count(used->id)) << Where(*used) << ": no dialog has such a control";
}

TEST_F(DllResources, EveryImageAndScriptTheCodeUsesIsThere) {
  for (const UsedResourceId* used = kUsedBitmapIds; used->name; ++used)
    EXPECT_TRUE(FindBytes(dll(), kBitmapType, MAKEINTRESOURCEW(used->id))) << Where(*used);
  for (const UsedResourceId* used = kUsedIconIds; used->name; ++used)
    EXPECT_TRUE(FindBytes(dll(), kGroupIconType, MAKEINTRESOURCEW(used->id))) << Where(*used);
  for (const UsedResourceId* used = kUsedCustomResourceIds; used->name; ++used) {
    const bool found = FindBytes(dll(), L"REGISTRY", MAKEINTRESOURCEW(used->id)) ||
                       FindBytes(dll(), L"TYPELIB", MAKEINTRESOURCEW(used->id));
    EXPECT_TRUE(found) << Where(*used) << ": neither a REGISTRY nor a TYPELIB resource";
  }
}

// An id defined next to the code rather than in resource.h escapes the checks above.
TEST(ResourceHeader, DefinesEveryResourceIdTheCodeUses) {
  ASSERT_GT(kScannedSourceFiles, 0) << "the id scan found no product sources";
  std::string missing;
  for (const char* const* name = kIdsNotInResourceHeader; *name; ++name) missing += std::string(" ") + *name;
  EXPECT_TRUE(missing.empty()) << "not defined in src/res/resource.h:" << missing;
}

// ---------------------------------------------------------------------------------------------
// Texts.

TEST_F(StringTable, TextsKeepTheirSignificantBlanksAndLineBreaks) {
  // The error line reads "Error Code is  0x..." with the label's own trailing blank.
  EXPECT_EQ("Error Code is ", AnsiString(IDS_ERROR_CODE_LABEL));

  // The conversion warning puts its question on a line of its own.
  const std::string warning = AnsiString(IDS_CONVERT_WARNING);
  const std::string question = ".\nDo you want to continue?";
  ASSERT_GE(warning.size(), question.size()) << warning;
  EXPECT_EQ(question, warning.substr(warning.size() - question.size())) << warning;
  EXPECT_EQ(std::string::npos, warning.find("\\n")) << "a backslash shows instead of a line break";
  EXPECT_NE(std::string::npos, warning.find("your token until  certificate conversion")) << warning;
}

// ---------------------------------------------------------------------------------------------
// Dialogs.

TEST_F(DialogResources, UserPageIsAHiddenChildOf270By180UnitsInMsSansSerif8) {
  DialogTemplate page;
  ASSERT_TRUE(Dialog(IDD_USERPAGE, &page));
  EXPECT_EQ(270, page.cx);
  EXPECT_EQ(180, page.cy);
  ASSERT_TRUE(page.hasFont);
  EXPECT_EQ(8, page.pointSize);
  EXPECT_EQ(L"MS Sans Serif", page.faceName);
  // The host's sheet shows the page: it must be a child without a frame of its own.
  EXPECT_EQ(static_cast<uint32_t>(WS_CHILD), page.style & (WS_CHILD | WS_POPUP));
  EXPECT_EQ(0u, page.style & (WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME)) << std::hex << page.style;
}

TEST_F(DialogResources, ModalDialogsHaveTheirCaptionsAndACloseBox) {
  // Message boxes owned by these dialogs take the caption as their own.
  const struct {
    int id;
    const wchar_t* caption;
  } modal[] = {
      {IDD_MANAGE_CERTIFICATES, L"Certificates on the Zelt"},
      {IDD_CERTIFICATE_DETAILS, L"Certificate Details"},
      {IDD_IMPORT_CERTIFICATE, L"Import Certificate"},
      {IDD_ADVANCED_SETTINGS, L"Advanced Settings"},
      {IDD_AUTO_REGISTRATION, L"Auto Certificate Registration Settings"},
  };
  for (const auto& m : modal) {
    DialogTemplate dialog;
    ASSERT_TRUE(Dialog(m.id, &dialog)) << m.id;
    EXPECT_EQ(std::wstring(m.caption), dialog.title) << m.id;
    const uint32_t frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    EXPECT_EQ(frame, dialog.style & (frame | WS_CHILD)) << m.id << " style " << std::hex << dialog.style;
    EXPECT_EQ(L"MS Sans Serif", dialog.faceName) << m.id;
    EXPECT_EQ(8, dialog.pointSize) << m.id;
  }
  DialogTemplate manage;
  ASSERT_TRUE(Dialog(IDD_MANAGE_CERTIFICATES, &manage));
  EXPECT_EQ(385, manage.cx);
  EXPECT_EQ(239, manage.cy);
}

namespace {

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

LONG StyleOf(HWND dialog, int id) { return ::GetWindowLongW(::GetDlgItem(dialog, id), GWL_STYLE); }

// Dialogs created from the DLL's templates, owned by a hidden top-level window.
class CreatedDialogs : public DllResources {
 protected:
  void SetUp() override {
    DllResources::SetUp();
    ASSERT_TRUE(owner_) << "no owner window (is DISPLAY set?), error " << ::GetLastError();
  }
  ScopedWindow Create(int id) {
    return ScopedWindow(::CreateDialogParamW(dll(), MAKEINTRESOURCEW(id), owner_.get(), NoHandling, 0));
  }

 private:
  static INT_PTR CALLBACK NoHandling(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
  ScopedWindow owner_{::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                        ::GetModuleHandleW(nullptr), nullptr)};
};

}  // namespace

TEST_F(CreatedDialogs, EveryDialogCreatesWithEachOfItsControls) {
  const int dialogs[] = {IDD_USERPAGE,           IDD_ADVANCED_SETTINGS,  IDD_AUTO_REGISTRATION,
                         IDD_CERTIFICATE_DETAILS, IDD_IMPORT_CERTIFICATE, IDD_MANAGE_CERTIFICATES};
  for (int id : dialogs) {
    DialogTemplate dialog;
    ASSERT_TRUE(Dialog(id, &dialog)) << id;
    // A control whose window class does not exist makes the creation fail.
    ScopedWindow window = Create(id);
    ASSERT_TRUE(window) << "dialog " << id << " cannot be created, error " << ::GetLastError();
    for (const DialogTemplate::Item& item : dialog.items) {
      if (item.id == -1) continue;
      EXPECT_TRUE(::GetDlgItem(window.get(), item.id)) << "dialog " << id << " control " << item.id;
    }
  }
}

TEST_F(CreatedDialogs, PageShowsItsThreeGroupIcons) {
  ScopedWindow page = Create(IDD_USERPAGE);
  ASSERT_TRUE(page) << "error " << ::GetLastError();
  int icons = 0;
  for (HWND child = ::GetWindow(page.get(), GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) continue;
    ++icons;
    EXPECT_TRUE(::SendMessageW(child, STM_GETICON, 0, 0)) << "an icon of the page did not load";
  }
  EXPECT_EQ(3, icons);
}

TEST_F(CreatedDialogs, InputControlsBehaveAsTheirDialogsNeed) {
  ScopedWindow import = Create(IDD_IMPORT_CERTIFICATE);
  ASSERT_TRUE(import);
  EXPECT_TRUE(StyleOf(import.get(), IDC_FILE_PASSWORD) & ES_PASSWORD) << "the file password shows as typed";
  EXPECT_FALSE(StyleOf(import.get(), IDC_FILE_PATH) & ES_PASSWORD);
  // Enter runs the import.
  EXPECT_EQ(static_cast<LRESULT>(MAKELONG(IDC_IMPORT_OK, DC_HASDEFID)),
            ::SendMessageW(import.get(), DM_GETDEFID, 0, 0));

  ScopedWindow autoReg = Create(IDD_AUTO_REGISTRATION);
  ASSERT_TRUE(autoReg);
  // The days can be typed as well as picked, and the list keeps the order it is filled in.
  const LONG days = StyleOf(autoReg.get(), IDC_WARNING_DAYS);
  EXPECT_EQ(CBS_DROPDOWN, days & 3) << std::hex << days;
  EXPECT_FALSE(days & CBS_SORT);
  EXPECT_EQ(BS_AUTOCHECKBOX, StyleOf(autoReg.get(), IDC_ENABLE_AUTO_REGISTRATION) & BS_TYPEMASK);
  EXPECT_EQ(BS_AUTOCHECKBOX, StyleOf(autoReg.get(), IDC_ENABLE_EXPIRATION_WARNING) & BS_TYPEMASK);

  ScopedWindow advanced = Create(IDD_ADVANCED_SETTINGS);
  ASSERT_TRUE(advanced);
  EXPECT_EQ(BS_AUTORADIOBUTTON, StyleOf(advanced.get(), IDC_USE_FILE_NAME) & BS_TYPEMASK);
  EXPECT_EQ(BS_AUTORADIOBUTTON, StyleOf(advanced.get(), IDC_USE_GUID) & BS_TYPEMASK);

  ScopedWindow manage = Create(IDD_MANAGE_CERTIFICATES);
  ASSERT_TRUE(manage);
  HWND list = ::GetDlgItem(manage.get(), IDC_CERTIFICATE_LIST);
  EXPECT_EQ(L"SysListView32", ClassOf(list));
  const LONG listStyle = ::GetWindowLongW(list, GWL_STYLE);
  EXPECT_EQ(LVS_REPORT, listStyle & LVS_TYPEMASK);
  EXPECT_TRUE(listStyle & LVS_SINGLESEL) << "more than one certificate can be selected";
  EXPECT_TRUE(listStyle & LVS_SHOWSELALWAYS) << "the selection vanishes while a button has the focus";

  ScopedWindow details = Create(IDD_CERTIFICATE_DETAILS);
  ASSERT_TRUE(details);
  EXPECT_EQ(L"SysListView32", ClassOf(::GetDlgItem(details.get(), IDC_FIELD_LIST)));
  EXPECT_EQ(LVS_REPORT, StyleOf(details.get(), IDC_FIELD_LIST) & LVS_TYPEMASK);
  EXPECT_TRUE(StyleOf(details.get(), IDC_VALUE_PANE) & LBS_NOSEL);
}

// ---------------------------------------------------------------------------------------------
// Images.

namespace {

// Whether a palette colour is a shade of grey.
bool IsGrey(const RGBQUAD& c) { return c.rgbRed == c.rgbGreen && c.rgbGreen == c.rgbBlue; }

}  // namespace

TEST_F(CertificateImages, BitmapHoldsAColouredAndAGreyCertificateInSixteenColours) {
  ResourceBytes bytes = FindBytes(dll(), kBitmapType, MAKEINTRESOURCEW(IDB_CERTIFICATES));
  ASSERT_TRUE(bytes);
  ASSERT_GE(bytes.size, sizeof(BITMAPINFOHEADER) + 16 * sizeof(RGBQUAD) + 16 * 16);
  const auto* header = static_cast<const BITMAPINFOHEADER*>(bytes.data);
  EXPECT_EQ(32, header->biWidth);
  EXPECT_EQ(16, header->biHeight);
  EXPECT_EQ(4, header->biBitCount);
  ASSERT_EQ(static_cast<DWORD>(BI_RGB), header->biCompression);
  ASSERT_EQ(4, header->biBitCount);

  // Image 0 (left) stands for a certificate that applications can use: it has colour.
  // Image 1 (right) is the same drawn in greys.
  const auto* palette = reinterpret_cast<const RGBQUAD*>(static_cast<const BYTE*>(bytes.data) + header->biSize);
  const BYTE* bits = reinterpret_cast<const BYTE*>(palette + 16);
  const int stride = 16;  // 32 pixels at 4 bits, already a multiple of 4 bytes
  int colouredLeft = 0, colouredRight = 0;
  std::set<int> shadesRight;
  for (int row = 0; row < 16; ++row) {
    for (int x = 0; x < 32; ++x) {
      const BYTE pair = bits[row * stride + x / 2];
      const int index = (x % 2) ? (pair & 0x0F) : (pair >> 4);
      if (x < 16) {
        colouredLeft += !IsGrey(palette[index]);
      } else {
        colouredRight += !IsGrey(palette[index]);
        shadesRight.insert(palette[index].rgbRed);
      }
    }
  }
  EXPECT_GT(colouredLeft, 0) << "the image of a usable certificate has no colour";
  EXPECT_EQ(0, colouredRight) << "the image of a certificate without container is not grey";
  EXPECT_GE(shadesRight.size(), 3u) << "the grey certificate is not drawn";

  // The list cuts the strip into 16-pixel images exactly as the code does.
  ScopedImageList images(::ImageList_LoadImageW(dll(), MAKEINTRESOURCEW(IDB_CERTIFICATES), 16, 2, CLR_NONE,
                                                IMAGE_BITMAP, 0));
  ASSERT_TRUE(images) << "error " << ::GetLastError();
  EXPECT_EQ(2, ::ImageList_GetImageCount(images.get()));
  int cx = 0, cy = 0;
  ASSERT_TRUE(::ImageList_GetIconSize(images.get(), &cx, &cy));
  EXPECT_EQ(16, cx);
  EXPECT_EQ(16, cy);
}

TEST_F(PageIcons, EachGroupIconHasALargeAndASmallImage) {
  for (int id : {IDI_TOKEN, IDI_PASSWORD, IDI_PIN}) {
    ResourceBytes group = FindBytes(dll(), kGroupIconType, MAKEINTRESOURCEW(id));
    ASSERT_TRUE(group) << "icon " << id;
    for (int size : {32, 16}) {
      const int image = ::LookupIconIdFromDirectoryEx(static_cast<PBYTE>(const_cast<void*>(group.data)), TRUE,
                                                      size, size, LR_DEFAULTCOLOR);
      ASSERT_NE(0, image) << "icon " << id << " size " << size;
      ResourceBytes bits = FindBytes(dll(), kIconType, MAKEINTRESOURCEW(image));
      ASSERT_TRUE(bits) << "icon " << id << " size " << size;
      const auto* header = static_cast<const BITMAPINFOHEADER*>(bits.data);
      // The best match must be an image of that very size, not a scaled one.
      EXPECT_EQ(size, header->biWidth) << "icon " << id;
      EXPECT_EQ(2 * size, header->biHeight) << "icon " << id;
      ScopedIcon icon(static_cast<HICON>(
          ::LoadImageW(dll(), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
      EXPECT_TRUE(icon) << "icon " << id << " size " << size << ", error " << ::GetLastError();
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Registration data.

TEST_F(TypeLibraryResource, DescribesTheUserPageClassInEnglishVersion1) {
  ComPtr<ITypeLib> library;
  HRESULT hr = ::LoadTypeLibEx(DllPath().c_str(), REGKIND_NONE, library.Receive());
  ASSERT_EQ(S_OK, hr) << std::hex << hr;

  TLIBATTR* attr = nullptr;
  hr = library->GetLibAttr(&attr);
  ASSERT_EQ(S_OK, hr) << std::hex << hr;
  EXPECT_TRUE(IsEqualGUID(LIBID_ZeltUtilUserPage, attr->guid));
  EXPECT_EQ(0x0409u, attr->lcid);
  EXPECT_EQ(1, attr->wMajorVerNum);
  EXPECT_EQ(0, attr->wMinorVerNum);
  EXPECT_EQ(SYS_WIN32, attr->syskind);
  library->ReleaseTLibAttr(attr);

  BSTR name = nullptr, doc = nullptr;
  ASSERT_EQ(S_OK, library->GetDocumentation(-1, &name, &doc, nullptr, nullptr));
  EXPECT_STREQ(L"ZELTUTILUSERPAGELib", name);
  EXPECT_STREQ(L"ZeltUtilUserPage 1.0 Type Library", doc);
  ::SysFreeString(name);
  ::SysFreeString(doc);

  ComPtr<ITypeInfo> coclass;
  hr = library->GetTypeInfoOfGuid(CLSID_UserPage, coclass.Receive());
  ASSERT_EQ(S_OK, hr) << "the library does not describe CLSID_UserPage, " << std::hex << hr;
  name = doc = nullptr;
  ASSERT_EQ(S_OK, coclass->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, nullptr));
  EXPECT_STREQ(L"UserPage", name);
  EXPECT_STREQ(L"UserPage Class", doc);
  ::SysFreeString(name);
  ::SysFreeString(doc);

  TYPEATTR* type = nullptr;
  ASSERT_EQ(S_OK, coclass->GetTypeAttr(&type));
  EXPECT_EQ(TKIND_COCLASS, type->typekind);
  EXPECT_EQ(1, type->cImplTypes);
  coclass->ReleaseTypeAttr(type);

  // Its one interface is IUnknown, the default.
  INT flags = 0;
  ASSERT_EQ(S_OK, coclass->GetImplTypeFlags(0, &flags));
  EXPECT_TRUE(flags & IMPLTYPEFLAG_FDEFAULT);
  HREFTYPE ref = 0;
  ASSERT_EQ(S_OK, coclass->GetRefTypeOfImplType(0, &ref));
  ComPtr<ITypeInfo> unknown;
  ASSERT_EQ(S_OK, coclass->GetRefTypeInfo(ref, unknown.Receive()));
  ASSERT_EQ(S_OK, unknown->GetTypeAttr(&type));
  EXPECT_TRUE(IsEqualGUID(IID_IUnknown, type->guid));
  // Not an automation interface: registering the library leaves IUnknown's own keys alone.
  EXPECT_FALSE(type->wTypeFlags & (TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDUAL)) << std::hex << type->wTypeFlags;
  unknown->ReleaseTypeAttr(type);
}

TEST_F(DllResources, VersionInformationNamesTheDll) {
  const std::wstring path = DllPath();
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 0u) << "no version information, error " << ::GetLastError();
  std::vector<BYTE> info(size);
  ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(VFT_DLL, fixed->dwFileType);
  EXPECT_NE(0u, fixed->dwFileVersionMS | fixed->dwFileVersionLS);

  wchar_t* original = nullptr;
  ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\StringFileInfo\\040904e4\\OriginalFilename",
                               reinterpret_cast<void**>(&original), &length));
  EXPECT_STREQ(L"ZeltUtilUserPage.DLL", original);
}
