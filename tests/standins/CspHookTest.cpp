// The CSP stand-in's test hooks (injected failures, the trace of its entries, the count of the
// handles it has out), its password check on every bind and delete, and the signing client
// zelt-sign in another process, where the environment injects the failures.
#include <windows.h>
#include <wincrypt.h>

#include "TokenStore.h"
#include "kit/CspHooks.h"
#include "model/CspParameters.h"
#include "model/CspRequests.h"
#include "model/ScopedCryptProv.h"

namespace {

// Jane Doe's certificate with its key pair (CKA_ID 4A) in container Alpha of token T1.
class CspStandIn : public SoftTokenTest {
 protected:
  void SetUp() override {
    SoftTokenTest::SetUp();
    ASSERT_TRUE(csp.ready());
    const ToolRun r = store.tool(L"add-cert --serial T1 --password user-pin-1 --cert \"" + cert +
                                 L"\" --key \"" + dataPath(L"certs/keys/leaf.key.pem") +
                                 L"\" --id 4A --label Jane --container Alpha");
    ASSERT_EQ(0, r.exitCode) << describe(r);
    ASSERT_EQ(0, selectToken("T1"));
  }
  void TearDown() override {
    selectToken("");
    EXPECT_EQ("0/0/0", csp.Open()) << "contexts/keys/hashes left open";
    SoftTokenTest::TearDown();
  }
  HCRYPTPROV Acquire(const char* container, DWORD flags = 0) {
    HCRYPTPROV provider = 0;
    EXPECT_TRUE(::CryptAcquireContextA(&provider, container, kCspProviderName, PROV_RSA_FULL, flags))
        << std::hex << ::GetLastError();
    return provider;
  }
  CK_STATE State(CK_SESSION_HANDLE session) {
    CK_SESSION_INFO info = {};
    p11->C_GetSessionInfo(session, &info);
    return info.state;
  }

  const std::wstring cert = dataPath(L"certs/jane-doe.der");
  testkit::CspHooks csp;
};

TEST_F(CspStandIn, HooksFailTheNthCallOfAnEntryTraceTheEntriesAndCountTheHandlesOut) {
  ASSERT_TRUE(csp.Inject("CPGetUserKey:2:0x80090016,CPCreateHash:1+:0x80090008"));
  for (const char* malformed : {"CPGetUserKey:0:5", "CPGetUserKey:1", ":1:5", "CPGetUserKey:x:5", ""})
    EXPECT_FALSE(csp.Inject(malformed)) << malformed;
  csp.StartTrace();
  HCRYPTPROV provider = Acquire("Alpha");
  HCRYPTKEY first = 0, second = 0, third = 0;
  EXPECT_TRUE(::CryptGetUserKey(provider, AT_KEYEXCHANGE, &first));
  EXPECT_FALSE(::CryptGetUserKey(provider, AT_KEYEXCHANGE, &second));
  EXPECT_EQ(0x80090016u, ::GetLastError());
  EXPECT_TRUE(::CryptGetUserKey(provider, AT_KEYEXCHANGE, &third));
  HCRYPTHASH hash = 0;
  for (int i = 0; i < 2; ++i) {
    EXPECT_FALSE(::CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash));
    EXPECT_EQ(static_cast<DWORD>(NTE_BAD_ALGID), ::GetLastError());
  }
  EXPECT_EQ("1/2/0", csp.Open()) << "a failed call hands out nothing";
  const std::vector<std::string> trace = csp.Trace();
  csp.Reset();
  ASSERT_TRUE(::CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash)) << "a reset drops the injections";
  EXPECT_EQ("1/2/1", csp.Open());
  EXPECT_TRUE(::CryptDestroyHash(hash) && ::CryptDestroyKey(first) && ::CryptDestroyKey(third));
  EXPECT_TRUE(::CryptReleaseContext(provider, 0));
  EXPECT_EQ((std::vector<std::string>{"CPAcquireContext", "CPGetUserKey", "CPGetUserKey", "CPGetUserKey",
                                      "CPCreateHash", "CPCreateHash"}),
            trace);
  EXPECT_TRUE(csp.Trace().empty()) << "a reset stops and clears the trace";
}

TEST_F(CspStandIn, PasswordIsCheckedOnEveryBindAndDeleteWhileTheProcessIsLoggedIn) {
  const CK_SESSION_HANDLE session = open();
  ASSERT_EQ(CKR_OK, login(session, TokenStore::kPassword));
  ScopedCryptProv fresh(Acquire("Fresh", CRYPT_NEWKEYSET));
  BYTE id = 0x4A;
  CRYPT_DATA_BLOB keyId = {1, &id};
  const auto bindWith = [&](const char* password) {
    ::CryptSetProvParam(fresh.get(), PP_KEYEXCHANGE_PIN, reinterpret_cast<const BYTE*>(password), 0);
    return ::CryptSetProvParam(fresh.get(), VENDOR_PP_BIND_KEY_ID, reinterpret_cast<const BYTE*>(&keyId), 0)
               ? 0
               : ::GetLastError();
  };
  EXPECT_EQ(static_cast<DWORD>(SCARD_W_WRONG_CHV), bindWith("wrong-pin"));
  EXPECT_EQ(1u, pinInfo(Q_PIN_USER).ulFailures);
  EXPECT_EQ(CKS_RW_PUBLIC_SESSION, State(session)) << "a wrong password ends the login, as on a card";
  EXPECT_EQ(CKR_OK, login(session, TokenStore::kPassword));
  EXPECT_EQ(0u, bindWith(TokenStore::kPassword));
  EXPECT_EQ(CKS_RW_USER_FUNCTIONS, State(session)) << "the right one leaves the process's login alone";

  HCRYPTPROV deleted = 0;
  ::CryptSetProvParam(fresh.get(), PP_KEYEXCHANGE_PIN, reinterpret_cast<const BYTE*>("wrong-pin"), 0);
  EXPECT_FALSE(::CryptAcquireContextA(&deleted, "Alpha", kCspProviderName, PROV_RSA_FULL, CRYPT_DELETEKEYSET));
  EXPECT_EQ(static_cast<DWORD>(SCARD_W_WRONG_CHV), ::GetLastError());
  EXPECT_EQ(1u, pinInfo(Q_PIN_USER).ulFailures);
  ::CryptSetProvParam(fresh.get(), PP_KEYEXCHANGE_PIN, nullptr, 0);
}

TEST_F(CspStandIn, SignToolSignsInAnotherProcessAndTheEnvironmentInjectsFailuresThere) {
  ToolRun r = store.tool(L"register-my --cert \"" + cert + L"\" --container Alpha");
  ASSERT_EQ(0, r.exitCode) << describe(r);
  const std::wstring sign = L"--cert \"" + cert + L"\" --password user-pin-1 --text \"hello token\"";
  r = store.tool(sign, {}, L"zelt-sign.exe");
  EXPECT_EQ(0, r.exitCode) << describe(r);
  EXPECT_THAT(r.output, HasSubstr("verified: the signer is Jane Doe, the content is \"hello token\"\n"));
  // CryptSignMessage asks the signature's size first: the second call signs.
  r = store.tool(sign, {{L"ZELT_CSP_FAIL", L"CPSignHash:2:0x8010006B"}}, L"zelt-sign.exe");
  EXPECT_EQ(4, r.exitCode) << describe(r);
  EXPECT_THAT(r.output, HasSubstr("signing failed (error 0x8010006B)"));
  r = store.tool(L"unregister-my --cert \"" + cert + L"\"");
  EXPECT_EQ(0, r.exitCode) << describe(r);
}

}  // namespace
