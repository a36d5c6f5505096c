// The Certificate Details dialog as the user sees it: the field list of a
// known certificate, the value pane of the selected row, and the ways out.
#include <windows.h>

#include <commctrl.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ListTestKit.h"
#include "dialogs/CertificateDetailsDialog.h"
#include "kit/ModalDriver.h"
#include "model/CertificateFiles.h"
#include "res/resource.h"
#include "server/Module.h"

using listkit::CellText;
using Lines = std::vector<std::string>;
using Rows = std::vector<std::pair<std::string, std::string>>;

namespace {

Rows FieldRows(const testkit::ModalWindow& dialog) {
  Rows rows;
  HWND list = dialog.Item(IDC_FIELD_LIST);
  for (int row = 0; row < listkit::RowCount(list); ++row) rows.emplace_back(CellText(list, row, 0), CellText(list, row, 1));
  return rows;
}

// Selects the row with that label; the lines the value pane then shows.
Lines PaneLinesOf(const testkit::ModalWindow& dialog, const std::string& label,
                  UINT state = LVIS_SELECTED | LVIS_FOCUSED) {
  const Rows rows = FieldRows(dialog);
  size_t row = 0;
  while (row < rows.size() && rows[row].first != label) ++row;
  EXPECT_LT(row, rows.size()) << "no row " << label;
  listkit::Select(dialog.Item(IDC_FIELD_LIST), static_cast<int>(row), state);
  Lines lines;
  HWND pane = dialog.Item(IDC_VALUE_PANE);
  const int count = static_cast<int>(::SendMessageA(pane, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    char text[1024] = "";
    ::SendMessageA(pane, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
    lines.push_back(text);
  }
  return lines;
}

// The record of tests/data/certs/NAME.der with what the dialog shows beside the certificate.
std::unique_ptr<CertificateRecord> RecordOf(const char* name) {
  std::unique_ptr<CertificateRecord> record(new CertificateRecord);
  record->context = CertificateFiles::load(name);
  EXPECT_TRUE(record->context) << name << ".der: error 0x" << std::hex << ::GetLastError();
  if (!record->context) return record;
  const CERT_INFO& info = *record->context.get()->pCertInfo;
  CertificateRecord::serialText(info.SerialNumber, record->serialNumber);
  record->groupSerial();
  CertificateRecord::readThumbprint(record->context.get(), record->thumbprint);
  return record;
}

std::vector<BYTE> Encoded(LPCSTR structure, const void* value) {
  DWORD size = 0;
  ::CryptEncodeObject(X509_ASN_ENCODING, structure, value, nullptr, &size);
  std::vector<BYTE> bytes(size);
  EXPECT_TRUE(::CryptEncodeObject(X509_ASN_ENCODING, structure, value, bytes.data(), &size))
      << "structure " << reinterpret_cast<size_t>(structure) << ", error 0x" << std::hex << ::GetLastError();
  bytes.resize(size);
  return bytes;
}

// Jane's certificate with other algorithms and extensions, and a signature of nothing: the dialog
// does not check it.
std::unique_ptr<CertificateRecord> VariantOfJane(const char* signature, const char* keyAlgorithm,
                                                 std::vector<CERT_EXTENSION> extensions) {
  std::unique_ptr<CertificateRecord> record = RecordOf("jane-doe");
  CERT_INFO info = *record->context.get()->pCertInfo;
  info.SignatureAlgorithm.pszObjId = const_cast<char*>(signature);
  info.SubjectPublicKeyInfo.Algorithm.pszObjId = const_cast<char*>(keyAlgorithm);
  info.cExtension = static_cast<DWORD>(extensions.size());
  info.rgExtension = extensions.data();
  std::vector<BYTE> toBeSigned = Encoded(X509_CERT_TO_BE_SIGNED, &info);
  BYTE nothing = 0;
  CERT_SIGNED_CONTENT_INFO content = {
      {static_cast<DWORD>(toBeSigned.size()), toBeSigned.data()}, info.SignatureAlgorithm, {1, &nothing, 0}};
  const std::vector<BYTE> der = Encoded(X509_CERT, &content);
  record->context.reset(::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size())));
  EXPECT_TRUE(record->context) << "error 0x" << std::hex << ::GetLastError();
  return record;
}

// Runs the dialog for `record`; `look` sees it open, then `close` (a button, or WM_CLOSE for the
// close box) ends it with `result`.
void RunDetails(const CertificateRecord* record, const testkit::StepAction& look, int close, INT_PTR result) {
  testkit::ModalDriver driver;
  driver.Then("details", testkit::FromTemplate(Module::Instance(), IDD_CERTIFICATE_DETAILS),
              [&](testkit::ModalWindow& dialog) {
                look(dialog);
                if (close == WM_CLOSE)
                  ::PostMessageA(dialog.window(), WM_CLOSE, 0, 0);
                else
                  dialog.Press(close);
              });
  CertificateDetailsDialog details(record);
  EXPECT_EQ(result, details.Run(nullptr)) << "closed with " << close;
  driver.Finish();
}

TEST(CertificateDetails, ListsEveryFieldAndShowsTheSelectedValue) {
  auto jane = RecordOf("jane-doe");
  jane->notBefore = listkit::UtcTime(2025, 1, 2, 12);
  jane->notAfter = listkit::UtcTime(2034, 12, 30, 12);
  RunDetails(jane.get(), [&](testkit::ModalWindow& dialog) {
    const Rows expected = {
        {"Version", "V3"},
        {"Serial Number", "0A1B 2C3D 4E5F 6071 8293 A4B5 C6D7 E8F9 "},
        {"Signature Algorithm", "sha256RSA"},
        {"Issuer", "CN=Zelt Test CA, O=Example, C=US"},
        {"Valid From", "1/2/2025"},
        {"Valid To", "12/30/2034"},
        {"Subject", "CN=Jane Doe, O=Example, C=US"},
        {"Public Key", "RSA(2048 Bits)"},
        // The extended key usage extension has no formatter, so no row.
        {"Subject Key Identifier", "4DC0 099A 965F E8F4 128C 7BDD 36E6 64B7 56EE 6204"},
        {"Authority Key Identifier", "KeyID=7B33 DB4C C307 B40F 210C 72DA 5408 E72E 20A9 34F0"},
        {"Thumbprint Algorithm", "sha1"},
        {"Thumbprint", "9F4A 696E 1268 6267 EC10 DFAF 1BA3 F1FD DE93 B6E2"},  // tests/data/certs/jane-doe.sha1
    };
    EXPECT_EQ(expected, FieldRows(dialog));
    EXPECT_EQ(0, ::SendMessageA(dialog.Item(IDC_VALUE_PANE), LB_GETCOUNT, 0, 0)) << "no row selected yet";

    EXPECT_EQ((Lines{"CN=Jane Doe", "O=Example", "C=US"}), PaneLinesOf(dialog, "Subject"));
    const Lines dump = {"9F4A 696E 1268 6267 EC10 DFAF 1BA3 F1FD DE93", "B6E2 "};
    EXPECT_EQ(dump, PaneLinesOf(dialog, "Thumbprint")) << "nine groups, then one group and a blank";
    EXPECT_EQ(dump, PaneLinesOf(dialog, "Thumbprint", 0)) << "a row losing its selection leaves the pane as it is";
    for (UINT state : {LVIS_SELECTED, LVIS_FOCUSED})
      EXPECT_EQ(dump, PaneLinesOf(dialog, "Subject", state)) << "a row becoming only selected or only focused";
    const Lines key = PaneLinesOf(dialog, "Public Key");
    EXPECT_EQ(15u, key.size()) << "the 270 bytes of the RSA public key, 18 to a line";
    EXPECT_EQ("3082 010A 0282 0101 00", key.empty() ? "" : key.front().substr(0, 22));
  }, IDOK, IDOK);
}

TEST(CertificateDetails, ExtensionsVersionOneAndTheWaysOut) {
  auto fields = RecordOf("details");
  RunDetails(fields.get(), [&](testkit::ModalWindow& dialog) {
    const Rows rows = FieldRows(dialog);
    const std::map<std::string, std::string> valueOf(rows.begin(), rows.end());  // at() fails on a missing row
    EXPECT_EQ("Digital Signature, Key Agreement, Key Encipherment", valueOf.at("Key Usage"))
        << "encipher-only (0x01) is never named";
    // The certificate has no second key-usage byte: Wine's CertGetIntendedKeyUsage fails when the
    // usage is longer than the one-byte buffer, where Windows gives the first byte.
    EXPECT_EQ("", valueOf.at("Certificate Policies"));
    EXPECT_EQ("[1]CRL Distribution Point,Distribution Point Name:,, URL=http://crl.example/a,b.crl",
              valueOf.at("CRL Distribution Points"));
    EXPECT_EQ((Lines{"[1]CRL Distribution Point", "Distribution Point Name:", "URL=http://crl.example/a", "b.crl"}),
              PaneLinesOf(dialog, "CRL Distribution Points"))
        << "the comma inside the URL splits it too";
  }, WM_CLOSE, 0);

  auto version1 = RecordOf("version1");
  const std::string longSerial(600, '7');
  version1->serialNumberGrouped.assign(longSerial.c_str());
  RunDetails(version1.get(), [&](testkit::ModalWindow& dialog) {
    EXPECT_EQ(10, listkit::RowCount(dialog.Item(IDC_FIELD_LIST))) << "no extension rows";
    EXPECT_EQ("V1", CellText(dialog.Item(IDC_FIELD_LIST), 0, 1));
    EXPECT_EQ(longSerial, CellText(dialog.Item(IDC_FIELD_LIST), 1, 1)) << "whole in the list";
    EXPECT_EQ((Lines{longSerial.substr(0, 511)}), PaneLinesOf(dialog, "Serial Number")) << "cut at 511 in the pane";
  }, IDCANCEL, IDCANCEL);
}

TEST(CertificateDetails, EveryKindOfExtensionValueAndAlgorithmsTheSystemDoesNotKnow) {
  auto jane = RecordOf("jane-doe");
  const CERT_INFO& janeInfo = *jane->context.get()->pCertInfo;
  BYTE keyId[] = {1, 2, 3}, serial[] = {0xC, 0xB, 0xA}, usage = 0xFF, address[] = {10, 0, 0, 1};
  CERT_AUTHORITY_KEY_ID_INFO authority = {{3, keyId}, janeInfo.Issuer, {3, serial}};
  CERT_ALT_NAME_ENTRY names[6] = {};
  names[0].dwAltNameChoice = CERT_ALT_NAME_RFC822_NAME, names[0].pwszRfc822Name = const_cast<LPWSTR>(L"ca@example.org");
  names[1].dwAltNameChoice = CERT_ALT_NAME_DNS_NAME, names[1].pwszDNSName = const_cast<LPWSTR>(L"crl.example");
  names[2].dwAltNameChoice = CERT_ALT_NAME_DIRECTORY_NAME, names[2].DirectoryName = janeInfo.Subject;
  names[3].dwAltNameChoice = CERT_ALT_NAME_URL, names[3].pwszURL = const_cast<LPWSTR>(L"http://crl.example/x.crl");
  names[4].dwAltNameChoice = CERT_ALT_NAME_IP_ADDRESS, names[4].IPAddress = {4, address};
  names[5].dwAltNameChoice = CERT_ALT_NAME_REGISTERED_ID, names[5].pszRegisteredID = const_cast<char*>("1.2.3.4");
  CRL_DIST_POINT points[2] = {};
  points[0].DistPointName.dwDistPointNameChoice = CRL_DIST_POINT_FULL_NAME;
  points[0].DistPointName.FullName = {6, names};
  points[1].ReasonFlags = {1, &usage, 0};  // no name: only its number shows
  CRL_DIST_POINTS_INFO full = {2, points};
  CRYPT_BIT_BLOB keyUsage = {1, &usage, 0};
  std::vector<BYTE> values[] = {Encoded(X509_AUTHORITY_KEY_ID, &authority), Encoded(X509_CRL_DIST_POINTS, &full),
                                {0x30, 0}, Encoded(X509_KEY_USAGE, &keyUsage), {5, 0}, {5, 0}, {5, 0}};
  // The older key usage identifier is formatted like the newer one, when the system's table has it; enough
  // policies rows follow for a vertical scroll bar.
  const char* oids[] = {szOID_AUTHORITY_KEY_IDENTIFIER, szOID_CRL_DIST_POINTS, szOID_CRL_DIST_POINTS, szOID_KEY_USAGE,
                        "1.2.3.4.5", szOID_KEY_ATTRIBUTES, szOID_CERT_POLICIES};
  std::vector<CERT_EXTENSION> extensions;
  for (int i = 0; i < 13; ++i) {
    const int k = i < 7 ? i : 6;
    extensions.push_back({const_cast<char*>(oids[k]), FALSE, {static_cast<DWORD>(values[k].size()), values[k].data()}});
  }
  const PCCRYPT_OID_INFO attributes = ::CryptFindOIDInfo(CRYPT_OID_INFO_OID_KEY, const_cast<char*>(oids[5]), 0);
  auto variant = VariantOfJane("1.2.3.4.6", "1.2.3.4.7", extensions);
  RunDetails(variant.get(), [&](testkit::ModalWindow& dialog) {
    const Rows rows = FieldRows(dialog);
    ASSERT_EQ(attributes ? 20u : 19u, rows.size());
    Lines labels;
    for (size_t i = 0; i < 6; ++i) labels.push_back(rows[i].first);
    EXPECT_EQ((Lines{"Version", "Serial Number", "Issuer", "Valid From", "Valid To", "Subject"}), labels)
        << "neither algorithm is in the system's table: no Signature Algorithm and no Public Key row";
    const Rows expected = {
        {"Authority Key Identifier",
         "KeyID=0102 03,CN=Zelt Test CA, O=Example, C=US,Certificate Serial Number=0A0B 0C"},
        {"CRL Distribution Points",
         "[1]CRL Distribution Point,Distribution Point Name:,, E-mail=ca@example.org, DNS=crl.example, "
         "Directory Address:,CN=Jane Doe, O=Example, C=US, URL=http://crl.example/x.crl, IP Address:,, "
         "OID=1.2.3.4,[2]CRL Distribution Point,"},
        {"CRL Distribution Points", ""},
        // Encipher-only (0x01) is never named; the unknown extension has no row.
        {"Key Usage", "Data Encipherment, Digital Signature, Key Agreement, Certificate Signing, Key Encipherment, "
                      "Non-repudiation, Offline CRL Signature"},
    };
    EXPECT_EQ(expected, Rows(rows.begin() + 6, rows.begin() + 10));
    if (attributes) {
      EXPECT_EQ(rows[9].second, rows[10].second) << rows[10].first;
    }
    EXPECT_EQ(Rows(7, {"Certificate Policies", ""}), Rows(rows.end() - 9, rows.end() - 2));

    HWND list = dialog.Item(IDC_FIELD_LIST);
    RECT client = {};
    ::GetClientRect(list, &client);
    EXPECT_TRUE(::GetWindowLongA(list, GWL_STYLE) & WS_VSCROLL);
    for (int column : {0, 1})
      EXPECT_EQ((40 + 20 * column) * client.right / 100, ::SendMessageA(list, LVM_GETCOLUMNWIDTH, column, 0))
          << "column " << column << " of a client width of " << client.right << " after the fill";
  }, IDOK, IDOK);
}

}  // namespace
