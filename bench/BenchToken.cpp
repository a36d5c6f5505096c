#include "BenchToken.h"

#include <cstdio>

#include "kit/Paths.h"
#include "kit/TokenContents.h"
#include "tokenkit/TokenSession.h"

namespace {

std::string Label(int index) { return "bench-" + std::to_string(index + 1); }
std::vector<uint8_t> Id(int index) { return {'B', static_cast<uint8_t>(index + 1)}; }
std::string Container(int index) { return "Bench keys " + std::to_string(index + 1); }

}  // namespace

std::vector<uint8_t> BenchToken::Certificate(int index) const {
  wchar_t name[32];
  std::swprintf(name, 32, L"\\bench-%02d.der", index + 1);
  return testkit::ReadWholeFile(folder_ + name);
}

std::string BenchToken::Make(const TokenLayout& layout) {
  soft_.DeleteToken(kSlot);
  CK_RV rv = soft_.CreateToken(kSlot, kSerial, kPassword);
  if (rv != CKR_OK) return "cannot create the token, error " + std::to_string(rv);
  {
    TokenSession session(soft_.standard());
    if ((rv = session.open(kSlot)) != CKR_OK) return "cannot open a session, error " + std::to_string(rv);
    for (int i = 0; i < layout.certificates; ++i) {
      const std::vector<uint8_t> der = Certificate(i);
      if (der.empty()) return "certificate " + std::to_string(i + 1) + " of the bench set is missing";
      CK_OBJECT_HANDLE created = 0;
      rv = session.create(AttributeList()
                              .ulong(CKA_CLASS, CKO_CERTIFICATE)
                              .ulong(CKA_CERTIFICATE_TYPE, CKC_X_509)
                              .bytes(CKA_SUBJECT, {0x30, 0x00})
                              .bytes(CKA_VALUE, der)
                              .bytes(CKA_ID, Id(i))
                              .label(Label(i))
                              .boolean(CKA_TOKEN, true),
                          &created);
      if (rv != CKR_OK) return "cannot write certificate " + std::to_string(i + 1) + ", error " + std::to_string(rv);
    }
  }
  testkit::TokenContents contents(soft_, kSlot, kPassword);
  for (int i = 0; i < layout.loose; ++i) contents.AddKeyPair(Id(i));
  std::vector<std::string> names;
  for (int c = 0; c < layout.Containers(); ++c) {
    const int exchange = layout.loose + 2 * c;
    const int signature = exchange + 1;
    names.push_back(Container(c));
    contents.AddRecord(Container(c), Label(exchange), signature < layout.certificates ? Label(signature) : "", 2,
                       Id(exchange));
  }
  contents.AddCatalog(names);
  return "";
}
