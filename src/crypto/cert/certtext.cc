// Text forms of names, serial numbers and times, and the DER certificate reader.
#include "crypto/cert/certtext.h"

#include <stdio.h>
#include <string.h>

#include <openssl/asn1.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

namespace qorcr {
namespace {

// RFC 4514 with UTF-8 left unescaped.
constexpr unsigned long kNameFlags = XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB;
constexpr long kMaxNameText = 64 * 1024;
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

bool NameText(const X509_NAME* name, std::string* out) {
  if (name == nullptr) return false;
  SslPtr<BIO> bio(BIO_new(BIO_s_mem()));
  if (!bio || X509_NAME_print_ex(bio.get(), name, 0, kNameFlags) < 0) return false;
  char* p = nullptr;
  long n = BIO_get_mem_data(bio.get(), &p);
  if (n < 0 || n > kMaxNameText) return false;
  out->assign(p, static_cast<size_t>(n));
  return true;
}

std::string HexPairs(const unsigned char* p, size_t n) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(n * 3);
  for (size_t i = 0; i < n; ++i) {
    if (i) s += ':';
    s += kHex[p[i] >> 4];
    s += kHex[p[i] & 0xF];
  }
  return s;
}

bool SerialHex(const ASN1_INTEGER* serial, const char* sep, std::string* out) {
  if (serial == nullptr) return false;
  const unsigned char* p = ASN1_STRING_get0_data(serial);
  const int n = ASN1_STRING_length(serial);
  std::string s = ASN1_STRING_type(serial) == V_ASN1_NEG_INTEGER ? "-" : "";
  if (n <= 0) {
    s += "00";
  } else {
    std::string pairs = HexPairs(p, static_cast<size_t>(n));
    if (*sep != ':') {
      std::string joined;
      for (char c : pairs) {
        if (c == ':') joined += sep;
        else joined += c;
      }
      pairs = joined;
    }
    s += pairs;
  }
  *out = s;
  return true;
}

bool TimeValue(const ASN1_TIME* t, time_t* out) {
  struct tm tm {};
  if (t == nullptr || ASN1_TIME_to_tm(t, &tm) != 1) return false;
  *out = timegm(&tm);
  return true;
}

bool TimeText(const ASN1_TIME* t, std::string* out) {
  struct tm tm {};
  if (t == nullptr || ASN1_TIME_to_tm(t, &tm) != 1 || tm.tm_mon < 0 || tm.tm_mon > 11) return false;
  const int year = tm.tm_year + 1900;
  char buf[64];
  if (tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour < 0 || tm.tm_hour > 23 || tm.tm_min < 0 ||
      tm.tm_min > 59 || tm.tm_sec < 0 || tm.tm_sec > 60 || year < 0 || year > 9999) {
    snprintf(buf, sizeof buf, "%s %2d %02d:%02d:%02d %d GMT", kMonths[tm.tm_mon], tm.tm_mday,
             tm.tm_hour, tm.tm_min, tm.tm_sec, tm.tm_year + 1900);
    *out = buf;
    return true;
  }
  // The same text as the format above, written by hand: every ticket's
  // signing time passes here, and the formatter costs more than the rest.
  auto two = [](char* p, int v, char lead) {
    p[0] = v >= 10 ? static_cast<char>('0' + v / 10) : lead;
    p[1] = static_cast<char>('0' + v % 10);
  };
  memcpy(buf, kMonths[tm.tm_mon], 3);
  buf[3] = ' ';
  two(buf + 4, tm.tm_mday, ' ');
  buf[6] = ' ';
  two(buf + 7, tm.tm_hour, '0');
  buf[9] = ':';
  two(buf + 10, tm.tm_min, '0');
  buf[12] = ':';
  two(buf + 13, tm.tm_sec, '0');
  buf[15] = ' ';
  size_t n = 16;
  char digits[4];
  size_t k = 0;
  for (int y = year; k == 0 || y > 0; y /= 10) digits[k++] = static_cast<char>('0' + y % 10);
  while (k > 0) buf[n++] = digits[--k];
  memcpy(buf + n, " GMT", 4);
  out->assign(buf, n + 4);
  return true;
}

SslPtr<X509> CertFromDer(const unsigned char* der, size_t len, size_t* used) {
  const unsigned char* p = der;
  SslPtr<X509> x(d2i_X509(nullptr, &p, static_cast<long>(len)));
  if (!x) return x;
  const EVP_PKEY* key = X509_get0_pubkey(x.get());
  if (key == nullptr || EVP_PKEY_get_bits(key) <= 0) {
    // The decoder keeps a certificate whose key it could not decode (or
    // only half, without its size) and never tries again; once more tells
    // a passing failure (memory) from a key type it does not know.
    ERR_clear_error();
    p = der;
    x.reset(d2i_X509(nullptr, &p, static_cast<long>(len)));
    if (!x) return x;
  }
  const size_t n = static_cast<size_t>(p - der);
  unsigned char* again = nullptr;
  const int m = i2d_X509(x.get(), &again);
  SslBuf<unsigned char> owned(again);
  if (m <= 0 || static_cast<size_t>(m) != n || memcmp(again, der, n) != 0) return nullptr;
  if (used != nullptr) *used = n;
  return x;
}

}  // namespace qorcr
