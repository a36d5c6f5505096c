#include "model/CertificateRecord.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CertificateFiles.h"
#include "model/CryptoApi.h"
#include "model/NameFormat.h"

namespace {

// The short name the list shows when the ANSI formatter makes the converted string.
std::string ShownByAnsiFormatter(CERT_NAME_BLOB& name) {
  const DWORD length = ::CertNameToStrA(kCertEncoding, &name, CERT_X500_NAME_STR, nullptr, 0);
  std::string converted(length, '\0');
  ::CertNameToStrA(kCertEncoding, &name, CERT_X500_NAME_STR, &converted[0], length);
  TextBuffer text;
  NameFormat::displayNameValue(converted.c_str(), text);
  return text.text();
}

}  // namespace

// "Issued To" and "Issued By": the name's common name, else its organisation, else all of it, in
// the ANSI code page as the ANSI formatter would give it (with its stand-ins for characters the
// code page lacks), whatever the length of the name.
TEST(CertificateRecord, DisplayNameIsTheTextOfTheAnsiFormatter) {
  const struct {
    std::wstring name;
    std::string shown;  // empty: only as the ANSI formatter gives it in this code page
  } cases[] = {
      {L"C=US, O=Example, CN=Jane Doe", "Jane Doe"},
      {L"C=DE, O=Example Corp", "Example Corp"},
      {L"OU=Unit, C=US", "OU=Unit, C=US"},
      {L"C=US, CN=\"Doe, Jane\"", "\"Doe"},
      {L"CN=" + std::wstring(300, L'x') + L", O=Example", std::string(300, 'x')},
      {L"O=Example, CN=Jos\u00e9 M\u00fcller", ""},
      {L"CN=\u5f20\u4f1f, O=\u00c9cole", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name.substr(0, 40).c_str());
    DWORD size = 0;
    ASSERT_TRUE(::CertStrToNameW(X509_ASN_ENCODING, c.name.c_str(), CERT_X500_NAME_STR, nullptr, nullptr, &size, nullptr));
    std::vector<BYTE> encoded(size);
    ASSERT_TRUE(::CertStrToNameW(X509_ASN_ENCODING, c.name.c_str(), CERT_X500_NAME_STR, nullptr, encoded.data(), &size, nullptr));
    CERT_NAME_BLOB blob = {size, encoded.data()};
    TextBuffer text;
    const HRESULT hr = CertificateRecord::displayName(blob, text);
    EXPECT_EQ(S_OK, hr) << std::hex << hr;
    EXPECT_EQ(ShownByAnsiFormatter(blob), text.text());
    if (!c.shown.empty()) {
      EXPECT_EQ(c.shown, text.text());
    }
  }
}

// What the manage dialog shows as intended purposes, and whether the certificate can log on.
TEST(CertificateRecord, PurposesAreListedInCertificateOrderAndSetTheLogonFlag) {
  const struct {
    const char* file;
    bool logonBefore;
    const char* text;
    bool logon;
  } cases[] = {
      {"jane-doe", false, "Client Authentication, Smart Card Logon", true},
      // CryptoAPI has no name for a private identifier: it is shown dotted.
      {"example-corp", true, "1.3.6.1.4.1.55555.7.1, Secure Email", false},
      // Without the extension CryptoAPI (Windows 2000 on, and Wine) reports an empty usage
      // list, not a failure, so the text is empty as for an empty list.
      {"unit", true, "", false},
      // Usages that cannot be read at all mean any purpose; the flag is not touched.
      {"bad-usage", false, "<All>", false},
      {"bad-usage", true, "<All>", true},
  };
  // Twice: the second time the names come from what the process remembers of the first.
  for (int pass = 0; pass < 2; ++pass) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.file) + (c.logonBefore ? ", logon before" : "") + (pass ? ", again" : ""));
      ScopedCertContext context = CertificateFiles::load(c.file);
      ASSERT_TRUE(context) << "error 0x" << std::hex << ::GetLastError();
      TextBuffer text;
      ASSERT_EQ(S_OK, text.assign("stale"));
      bool logon = c.logonBefore;
      const HRESULT hr = CertificateRecord::describePurposes(context.get(), text, logon);
      EXPECT_EQ(S_OK, hr) << std::hex << hr;
      EXPECT_STREQ(c.text, text.text());
      EXPECT_EQ(c.logon, logon);
    }
  }
}
