// Adds a test certificate authority to (or removes it from) the Windows root
// store of the test prefix, so that WinHTTP trusts a local HTTPS server.
//   root_cert add|remove CERT.der
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <vector>

namespace {

std::vector<BYTE> readAll(const wchar_t* path) {
  std::vector<BYTE> bytes;
  FILE* f = _wfopen(path, L"rb");
  if (!f) return bytes;
  BYTE chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  fclose(f);
  return bytes;
}

bool removeFromRoot(const std::vector<BYTE>& der) {
  PCCERT_CONTEXT wanted =
      CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
  if (!wanted) return false;
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                   CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
  bool removed = false;
  if (store) {
    PCCERT_CONTEXT found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0,
                                                      CERT_FIND_EXISTING, wanted, nullptr);
    if (found) removed = CertDeleteCertificateFromStore(found) != FALSE;  // frees `found`
    CertCloseStore(store, 0);
  }
  CertFreeCertificateContext(wanted);
  return removed;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const std::vector<BYTE> der = readAll(argv[2]);
  if (der.empty()) return 2;
  if (wcscmp(argv[1], L"add") == 0) {
    return CertAddEncodedCertificateToSystemStoreW(L"ROOT", der.data(),
                                                   static_cast<DWORD>(der.size()))
               ? 0
               : 1;
  }
  if (wcscmp(argv[1], L"remove") == 0) return removeFromRoot(der) ? 0 : 1;
  return 2;
}
