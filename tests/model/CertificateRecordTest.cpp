#include "model/CertificateRecord.h"

#include <gtest/gtest.h>

#include <string>

#include "CertificateFiles.h"

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
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + (c.logonBefore ? ", logon before" : ""));
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
