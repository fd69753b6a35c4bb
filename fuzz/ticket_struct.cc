// Structure-aware ticket target. The input is a mode byte followed by the
// signed part of a ticket byte stream (version, code page, InfoUnits). The
// custom mutator edits that part as a list of InfoUnits (add, remove,
// duplicate, reorder, change identifier, value, length field, code page)
// and writes it back; each run signs it here with the issuer key below
// (detached CMS, ECDSA), appends marker and signature, encodes it as ticket
// text with "!" for "+" and hands it to TavriEvalLogonTicketEx or
// TavriEvalAssertionTicket. So the fuzzer gets past the Base64, length and
// signature checks into RazuValidateTicket, HRazuConvertCList, the validity
// and recipient checks and the copies into TICKET_INFO.
// Mode bits: 0 assertion evaluation, 1 no signed attributes, 2 no
// certificates in the signature, 3 URL-encoded text, 4-5 digest.
// Invariant: a success returns lengths within the buffers and the issuer
// certificate; a failure marks the ticket type as an error.
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ticket_invariant.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t max_size);

namespace {

constexpr size_t kHeader = 5;        // version and code page
constexpr size_t kMaxSigned = 2800;  // leaves room for the signature in 4095 characters

struct Unit {
  uint8_t id;
  uint16_t declared;  // the length field written, normally value.size()
  std::vector<uint8_t> value;
};

struct Ticket {
  uint8_t mode = 0;
  uint8_t header[kHeader] = {2, '1', '1', '0', '0'};
  std::vector<Unit> units;
};

// Splits a mode byte and signed part; false when the units do not parse.
bool Split(const uint8_t* data, size_t size, Ticket* t) {
  if (size < 1 + kHeader) return false;
  t->mode = data[0];
  memcpy(t->header, data + 1, kHeader);
  size_t i = 1 + kHeader;
  while (i < size) {
    if (size - i < 3) return false;
    const uint16_t len = static_cast<uint16_t>(data[i + 1] << 8 | data[i + 2]);
    if (len > size - i - 3) return false;
    t->units.push_back({data[i], len, std::vector<uint8_t>(data + i + 3, data + i + 3 + len)});
    i += 3 + len;
  }
  return true;
}

std::vector<uint8_t> Join(const Ticket& t) {
  std::vector<uint8_t> out{t.mode};
  out.insert(out.end(), t.header, t.header + kHeader);
  for (const Unit& u : t.units) {
    out.push_back(u.id);
    out.push_back(static_cast<uint8_t>(u.declared >> 8));
    out.push_back(static_cast<uint8_t>(u.declared));
    out.insert(out.end(), u.value.begin(), u.value.end());
  }
  return out;
}

const uint8_t kIds[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 32, 40, 63, 136, 254, 0, 200};
const char* const kCodepages[] = {"1100", "4110", "1160", "1401", "1500", "8000", "1101", "0000", "41 0"};
const char* const kTexts[] = {"SYS", "000", "EXT", "999", "202612062000", "209912312359", "197001010000",
                              "2026120620", "portal:user", "portal:", "E", "alice", "\xc3\xa9t\xc3\xa9", "\xe9t\xe9"};

std::vector<uint8_t> NewValue(unsigned r) {
  switch (r % 4) {
    case 0: {
      const char* s = kTexts[(r >> 2) % (sizeof kTexts / sizeof *kTexts)];
      return std::vector<uint8_t>(s, s + strlen(s));
    }
    case 1: {
      const int32_t v[] = {0, 1, 8, 60, -1, 596523, 596524, 0x7fffffff, static_cast<int32_t>(0x80000000u)};
      const uint32_t x = static_cast<uint32_t>(v[(r >> 2) % 9]);
      return {static_cast<uint8_t>(x >> 24), static_cast<uint8_t>(x >> 16), static_cast<uint8_t>(x >> 8),
              static_cast<uint8_t>(x)};
    }
    case 2:
      return std::vector<uint8_t>((r >> 2) % 258, static_cast<uint8_t>('A' + (r >> 12) % 26));
    default:
      return {static_cast<uint8_t>(r >> 2)};
  }
}

void MutateTicket(Ticket* t, unsigned seed) {
  std::vector<Unit>& us = t->units;
  const unsigned r = seed >> 4;
  const size_t pick = us.empty() ? 0 : r % us.size();
  switch (seed % 11) {
    case 0:
    case 1: {  // add a unit
      std::vector<uint8_t> v = NewValue(r >> 5);
      const uint16_t n = static_cast<uint16_t>(v.size());
      us.insert(us.begin() + static_cast<long>(us.empty() ? 0 : (r >> 3) % (us.size() + 1)),
                Unit{kIds[r % (sizeof kIds)], n, std::move(v)});
      break;
    }
    case 2:  // remove a unit
      if (!us.empty()) us.erase(us.begin() + static_cast<long>(pick));
      break;
    case 3:
    case 4: {  // change a value with the byte-level mutator
      if (us.empty()) break;
      std::vector<uint8_t>& v = us[pick].value;
      const size_t old = v.size();
      v.resize(std::max<size_t>(old, 1) + 16);
      v.resize(LLVMFuzzerMutate(v.data(), old, v.size()));
      us[pick].declared = static_cast<uint16_t>(v.size());
      break;
    }
    case 5:  // replace a value
      if (!us.empty()) {
        us[pick].value = NewValue(r >> 3);
        us[pick].declared = static_cast<uint16_t>(us[pick].value.size());
      }
      break;
    case 6:  // change an identifier
      if (!us.empty()) us[pick].id = (r & 0x100) ? static_cast<uint8_t>(r >> 9) : kIds[(r >> 9) % sizeof kIds];
      break;
    case 7: {  // a length field that lies; the value bytes stay
      if (us.empty()) break;
      const uint16_t lies[] = {0, 1, 256, 257, 0xffff, 0x8000,
                               static_cast<uint16_t>(us[pick].value.size() + 1),
                               static_cast<uint16_t>(us[pick].value.size() - 1)};
      us[pick].declared = lies[(r >> 8) % 8];
      break;
    }
    case 8:  // code page or version
      if (r & 1)
        memcpy(t->header + 1, kCodepages[(r >> 1) % (sizeof kCodepages / sizeof *kCodepages)], 4);
      else
        t->header[(r >> 1) % kHeader] = static_cast<uint8_t>(r >> 4);
      break;
    case 9:  // duplicate or swap
      if (us.size() >= 2 && (r & 1)) std::swap(us[pick], us[(r >> 1) % us.size()]);
      else if (!us.empty()) us.push_back(us[pick]);
      break;
    default:
      t->mode ^= static_cast<uint8_t>(1u << (r % 6));
      break;
  }
}

std::string Base64(const std::vector<uint8_t>& b) {
  std::string out(4 * ((b.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&out[0]), b.data(), static_cast<int>(b.size()));
  out.resize(static_cast<size_t>(n));
  return out;
}

// The issuer: a fresh EC P-256 key and a self-signed "CN=Fuzz Struct Issuer"
// for it, valid for a century, made once per process (the ECDSA signatures
// differ from run to run anyway).
struct Signer {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* cert = X509_new();
  std::vector<unsigned char> der;
  Signer() {
    static const unsigned char kName[] = "Fuzz Struct Issuer";
    X509_NAME* name = cert ? X509_get_subject_name(cert) : nullptr;
    if (key == nullptr || name == nullptr || X509_set_version(cert, 2) != 1 ||
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 1) != 1 ||
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, kName, -1, -1, 0) != 1 ||
        X509_set_issuer_name(cert, name) != 1 || !X509_gmtime_adj(X509_getm_notBefore(cert), -86400) ||
        !X509_gmtime_adj(X509_getm_notAfter(cert), 100L * 365 * 86400) || X509_set_pubkey(cert, key) != 1 ||
        X509_sign(cert, key, EVP_sha256()) <= 0)
      abort();
    unsigned char* p = nullptr;
    const int n = i2d_X509(cert, &p);
    if (n <= 0) abort();
    der.assign(p, p + n);
    OPENSSL_free(p);
  }
};

const Signer& issuer() {
  static const Signer s;
  return s;
}

// The detached signature over the signed part, or empty.
std::vector<uint8_t> Sign(const Signer& s, const uint8_t* data, size_t size, uint8_t mode) {
  const EVP_MD* const mds[] = {EVP_sha1(), EVP_sha256(), EVP_sha384(), EVP_sha512()};
  unsigned flags = CMS_DETACHED | CMS_BINARY | CMS_PARTIAL;
  if (mode & 2) flags |= CMS_NOATTR;
  if (mode & 4) flags |= CMS_NOCERTS;
  std::vector<uint8_t> out;
  BIO* in = BIO_new_mem_buf(data, static_cast<int>(size));
  CMS_ContentInfo* cms = CMS_sign(nullptr, nullptr, nullptr, nullptr, flags);
  if (in && cms && CMS_add1_signer(cms, s.cert, s.key, mds[(mode >> 4) & 3], flags) &&
      CMS_final(cms, in, nullptr, flags)) {
    unsigned char* der = nullptr;
    const int n = i2d_CMS_ContentInfo(cms, &der);
    if (n > 0) out.assign(der, der + n);
    OPENSSL_free(der);
  }
  CMS_ContentInfo_free(cms);
  BIO_free(in);
  return out;
}

std::string UrlEncode(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '!' ? "%21" : c == '=' ? "%3D" : c == '/' ? "%2F" : std::string(1, c);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzticket::InitWithIssuer(issuer().der.data(), issuer().der.size());
  return 0;
}

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t max_size, unsigned int seed) {
  Ticket t;
  if (!Split(data, size, &t)) return LLVMFuzzerMutate(data, size, max_size);
  for (unsigned n = 1 + seed % 3; n > 0; --n, seed = seed * 1103515245u + 12345u) MutateTicket(&t, seed >> 3);
  const std::vector<uint8_t> out = Join(t);
  if (out.size() > max_size) return LLVMFuzzerMutate(data, size, max_size);
  memcpy(data, out.data(), out.size());
  return out.size();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size - 1 > kMaxSigned) return 0;
  const uint8_t mode = data[0];
  std::vector<uint8_t> stream(data + 1, data + size);
  const std::vector<uint8_t> sig = Sign(issuer(), stream.data(), stream.size(), mode);
  if (sig.empty()) abort();
  stream.push_back(0xff);
  stream.push_back(static_cast<uint8_t>(sig.size() >> 8));
  stream.push_back(static_cast<uint8_t>(sig.size()));
  stream.insert(stream.end(), sig.begin(), sig.end());
  std::string text = Base64(stream);
  std::replace(text.begin(), text.end(), '+', '!');
  if (mode & 8) text = UrlEncode(text);

  fuzzticket::Outputs out;
  const int32_t rc = (mode & 1) ? TavriEvalAssertionTicket(text.c_str(), nullptr, nullptr, "SYS", "000", &out.ti)
                                : TavriEvalLogonTicketEx(text.c_str(), nullptr, nullptr, nullptr, nullptr, &out.ti);
  fuzzticket::CheckEvaluation(rc, out, issuer().der.data(), issuer().der.size());
  return 0;
}
