// Page rules that need a token behind the host: the password report after Import, what
// reaches C_SetPIN, a serial number that is missing or matches no token, the wait cursor
// and the wiping of the passwords the host hands over.
#include <objidl.h>
#include <oleauto.h>

#include <algorithm>
#include <utility>

#include "page/PageFixture.h"

using ::testing::HasSubstr;

namespace {

// Slots of the host token interface that the tests answer themselves.
const size_t kTokenSlots = 55, kGetSerialNumber = 11, kGetTokenId = 14, kAskPasswordChange = 48;

// What the cursor was at moments of an operation: "what:W" for the wait cursor, "what:-" else.
std::string g_cursor;
void NoteCursor(const char* what) {
  g_cursor += std::string(g_cursor.empty() ? "" : " ") + what +
              (::GetCursor() == ::LoadCursor(nullptr, IDC_WAIT) ? ":W" : ":-");
}

// Passwords the host hands over, one pair per request (null: the host leaves it null), and
// every string handed out, with how often it was freed and whether it was all zeros then.
struct Handed {
  BSTR text;
  UINT bytes;
  int freed = 0;
  bool wiped = false;
};
std::vector<std::pair<const wchar_t*, const wchar_t*>> g_answers;
std::vector<Handed> g_handed;

HRESULT STDMETHODCALLTYPE NoSerialNumber(testkit::FakeObject* self, BSTR* serial) {
  *serial = nullptr;
  return self->host.Log(S_OK, "GetSerialNumber");
}

HRESULT STDMETHODCALLTYPE TokenIdNotingCursor(testkit::FakeObject* self, LONG* id) {
  NoteCursor("id");
  *id = self->host.tokenId;
  return self->host.Log(S_OK, "GetTokenId");
}

HRESULT STDMETHODCALLTYPE HandOutPasswords(testkit::FakeObject* self, BSTR* oldPassword, BSTR* newPassword) {
  const auto answer = g_answers.front();
  if (g_answers.size() > 1) g_answers.erase(g_answers.begin());
  for (const auto& [out, text] :
       {std::make_pair(oldPassword, answer.first), std::make_pair(newPassword, answer.second)}) {
    *out = text ? ::SysAllocString(text) : nullptr;
    if (*out) g_handed.push_back(Handed{*out, ::SysStringByteLen(*out)});
  }
  return self->host.Log(self->host.askPasswordChangeResult, "AskPasswordChange");
}

// Watches the task allocator, which system strings come from, as blocks are freed.
class FreeWatch : public IMallocSpy {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMallocSpy) ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T bytes) override { return bytes; }
  void* STDMETHODCALLTYPE PostAlloc(void* actual) override { return actual; }
  void* STDMETHODCALLTYPE PreFree(void* request, BOOL) override {
    // A system string's block starts with its byte count, just before the text. A block
    // freed once may come back for a later string: the first one not yet freed is this one.
    for (Handed& handed : g_handed) {
      if (handed.freed || request != reinterpret_cast<char*>(handed.text) - sizeof(DWORD)) continue;
      const char* bytes = reinterpret_cast<const char*>(handed.text);
      ++handed.freed;
      handed.wiped = std::all_of(bytes, bytes + handed.bytes, [](char c) { return c == 0; });
      break;
    }
    return request;
  }
  void STDMETHODCALLTYPE PostFree(BOOL) override {}
  SIZE_T STDMETHODCALLTYPE PreRealloc(void* request, SIZE_T bytes, void** newRequest, BOOL) override {
    *newRequest = request;
    return bytes;
  }
  void* STDMETHODCALLTYPE PostRealloc(void* actual, BOOL) override { return actual; }
  void* STDMETHODCALLTYPE PreGetSize(void* request, BOOL) override { return request; }
  SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T bytes, BOOL) override { return bytes; }
  void* STDMETHODCALLTYPE PreDidAlloc(void* request, BOOL) override { return request; }
  int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
  void STDMETHODCALLTYPE PreHeapMinimize() override {}
  void STDMETHODCALLTYPE PostHeapMinimize() override {}
};
FreeWatch g_freeWatch;  // outlives a revocation that waits for the blocks allocated meanwhile

}  // namespace

class PageTokenTest : public PageOnTokenTest {
 protected:
  void SetUp() override {
    PageOnTokenTest::SetUp();
    if (HasFatalFailure()) return;
    // The host object's slot table becomes a copy whose entries the tests may replace.
    tokenSlots.assign(host().token.slots, host().token.slots + kTokenSlots);
    host().token.slots = tokenSlots.data();
    g_cursor.clear();
    g_handed.clear();
  }
  std::vector<void*> tokenSlots;
};

// The page's report follows the token's state when the dialog closes, not the one of activation.
TEST_F(PageTokenTest, ImportReportsThePasswordStateWhenItsDialogCloses) {
  ASSERT_EQ(CKR_OK, token.vendor()->Q_SetPinLock(kSlot, Q_PIN_USER, CK_TRUE));
  driver.Then("import", testkit::Titled("Import Certificate"), [](ModalWindow& dialog) { dialog.Press(IDCANCEL); });
  EXPECT_EQ(S_OK, Press(IDC_IMPORT));
  const std::vector<std::string> expected = {
      Call("BeginTokenOperation"), Call("QueryRefreshNeeded", 0), Call("OpenToken", 0, 1), Call("UpdateTokenStatus"),
      Call("ReportResult", 0),     Call("GetSerialNumber"),       Call("CloseToken"),       Call("GetTokenId"),
      Call("ReportPasswordState", TPN_PASSWORD_BLOCKED, 0x51),    Call("CloseToken"),       Call("EndTokenOperation"),
      Call("Refresh", 0)};
  EXPECT_EQ(expected, host().Trace());
  EXPECT_TRUE(harness.ItemShown(IDC_PASSWORD_BLOCKED));
}

// With the system-string cache off, every string the page frees reaches the task allocator at
// once, where the watch sees its bytes as they were left. The second attempt's new password is
// null, which reaches C_SetPIN as a null pointer of length 0 (the software token refuses it).
TEST_F(PageTokenTest, TheHostsPasswordsReachTheTokenAsGivenAndAreWipedBeforeTheyAreFreed) {
  const auto setOaNoCache = reinterpret_cast<void(WINAPI*)()>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("oleaut32.dll"), "SetOaNoCache")));
  ASSERT_NE(nullptr, setOaNoCache);
  setOaNoCache();
  tokenSlots[kAskPasswordChange] = reinterpret_cast<void*>(&HandOutPasswords);
  g_answers = {{L"wrong-password", L"new-password"}, {L"old-password", nullptr}};
  ExpectBox("Incorrect password! Please try again.");
  ExpectBox(Failure("changing the password", 0xB0010007));
  ASSERT_EQ(S_OK, ::CoRegisterMallocSpy(&g_freeWatch));
  const LRESULT result = Press(IDC_CHANGE_PASSWORD);
  ::CoRevokeMallocSpy();
  EXPECT_EQ(S_OK, result);
  const std::vector<std::string> calls = token.Calls("C_SetPIN");
  ASSERT_EQ(1u, calls.size());
  EXPECT_THAT(calls[0], HasSubstr("pOldPin=\"old-password\", ulOldLen=12, pNewPin=NULL, ulNewLen=0)"));
  EXPECT_TRUE(token.UserPinIs(kSlot, kOldPassword));
  ASSERT_EQ(3u, g_handed.size());
  for (const Handed& handed : g_handed) {
    EXPECT_EQ(1, handed.freed);
    EXPECT_TRUE(handed.wiped) << "a password reached the allocator readable";
  }
}

// Null: FindTokenSlot refuses it (0xB0010007). No match: slot 0, on which the library refuses
// the session. Either way the page forgets the slot it had and reports no password state.
TEST_F(PageTokenTest, AMissingSerialOrOneMatchingNoTokenEndsWithTheCodeAndNoPasswordReport) {
  const struct {
    bool missing;
    int button;  // 0: the host's refresh notification
    std::string box;
  } cases[] = {
      {true, IDC_MANAGE, Failure("reading certificates from the Zelt", 0xB0010007)},
      {true, IDC_CHANGE_PASSWORD, Failure("changing the password", 0xB0010007)},
      {true, 0, ""},
      // The model reads a slot that does not exist as a token that was pulled out.
      {false, IDC_MANAGE, Failure("reading certificates from the Zelt", 0xB0010032)},
      {false, IDC_CHANGE_PASSWORD, Failure("changing the password", 0xB0010003)},
      {false, 0, ""},
  };
  void* const hostsSerial = tokenSlots[kGetSerialNumber];
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.missing ? "no serial, " : "unknown serial, ") << "button " << c.button);
    // Each case starts with the page knowing the token's slot.
    tokenSlots[kGetSerialNumber] = hostsSerial;
    host().serial = L"0A1B2C3D";
    Press(0);
    ASSERT_EQ(1u, host().Count("ReportPasswordState"));
    host().Clear();
    token.StartTrace();
    host().serial = L"FFFF0000";
    if (c.missing) tokenSlots[kGetSerialNumber] = reinterpret_cast<void*>(&NoSerialNumber);
    if (!c.box.empty()) ExpectBox(c.box);
    Press(c.button);
    EXPECT_EQ(0u, host().Count("ReportPasswordState"));
    // A serial refused opens nothing; one that matches nothing gets a session on slot 0 only.
    const std::vector<std::string> sessions = token.Calls("C_OpenSession");
    EXPECT_EQ(!c.missing && c.button ? 1u : 0u, sessions.size());
    for (const std::string& call : sessions) EXPECT_THAT(call, HasSubstr("slotID=0,"));
  }
  EXPECT_TRUE(token.UserPinIs(kSlot, kOldPassword));
}

TEST_F(PageTokenTest, LongWorkShowsTheWaitCursorAndRestoresThePreviousOne) {
  tokenSlots[kGetTokenId] = reinterpret_cast<void*>(&TokenIdNotingCursor);
  // Away from every window, so that no mouse message sets a window's own cursor.
  ::SetCursorPos(0, 0);
  const HCURSOR previous = ::LoadCursor(nullptr, IDC_CROSS);
  const struct {
    int button;
    const wchar_t* serial;
    const char* dialog;  // a dialog to cancel, or null for the page's message box
    const char* cursor;
  } cases[] = {
      // Import, over its dialog and the report after it.
      {IDC_IMPORT, L"0A1B2C3D", "Import Certificate", "dialog:W id:W"},
      // Change Password, only while it talks to the token: the box and the final report come after.
      {IDC_CHANGE_PASSWORD, L"0A1B2C3D", nullptr, "id:W box:- id:-"},
      // Manage keeps it over the whole operation, the error box included.
      {IDC_MANAGE, L"FFFF0000", nullptr, "box:W"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    host().serial = c.serial;
    g_cursor.clear();
    const char* dialog = c.dialog;
    driver.Then("dialog", testkit::Titled(dialog ? dialog : "User Tools"), [dialog](ModalWindow& window) {
      NoteCursor(dialog ? "dialog" : "box");
      window.Press(dialog ? IDCANCEL : IDOK);
    });
    ::SetCursor(previous);
    Press(c.button);
    EXPECT_EQ(c.cursor, g_cursor);
    EXPECT_EQ(previous, ::GetCursor()) << "the cursor was not restored";
  }
}
