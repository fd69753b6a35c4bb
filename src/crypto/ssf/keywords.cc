// Format, chain-format and digest names: exact length, any case.
#include <string.h>
#include <strings.h>

#include "crypto/ssf/ssftypes.h"

namespace {

struct FormatName {
  const char* name;
  SsfFormatInfo info;
};

const FormatName kFormats[] = {
    {"PKCS7", {SSF_FORMAT_PKCS7, false}},
    {"PKCS7-TSTAMP", {SSF_FORMAT_PKCS7_TSTAMP, false}},
    {"RAWHEX", {SSF_FORMAT_RAWHEX, false}},
    {"RAWHASH", {SSF_FORMAT_RAWHASH, false}},
    {"RAWSIG", {SSF_FORMAT_RAWSIG, false}},
    {"PKCS1-V1.5", {SSF_FORMAT_PKCS1_V15, false}},
    {"rsa-1_5", {SSF_FORMAT_PKCS1_V15, false}},
    {"PKCS1-OAEP", {SSF_FORMAT_PKCS1_OAEP, false}},
    {"rsa-oaep-mgf1p", {SSF_FORMAT_PKCS1_OAEP, false}},
    {"PKCS1-PSS", {SSF_FORMAT_PKCS1_PSS, false}},
    {"DSA", {SSF_FORMAT_DSA, false}},
    {"DSA-FLAT", {SSF_FORMAT_DSA, true}},
    {"dsa-sha1", {SSF_FORMAT_DSA, true}},
    {"SPNEGO", {SSF_FORMAT_SPNEGO, false}},
    {"CERTIFICATE", {SSF_FORMAT_CERTIFICATE, false}},
};

// A keyword and the number it stands for.
template <typename No>
struct Keyword {
  const char* name;
  No no;
};
using ChainName = Keyword<SsfChainFormatNo>;

const ChainName kChains[] = {
    {"X509v3", SSF_CHAIN_X509V3},       {"X509PKIPathv1", SSF_CHAIN_X509PKIPATHV1},
    {"PKCS7", SSF_CHAIN_PKCS7},         {"KEYVALUE", SSF_CHAIN_KEYVALUE},
    {"RAWPUBKEY", SSF_CHAIN_RAWPUBKEY},
};

using DigestName = Keyword<SsfDigestNo>;

const DigestName kDigests[] = {
    {"SHA256", SSF_DIGEST_SHA256},     {"MD2", SSF_DIGEST_MD2},
    {"MD4", SSF_DIGEST_MD4},           {"MD5", SSF_DIGEST_MD5},
    {"SHA1", SSF_DIGEST_SHA1},         {"RIPEMD160", SSF_DIGEST_RIPEMD160},
    {"RIPEMD128", SSF_DIGEST_RIPEMD128}, {"SHA224", SSF_DIGEST_SHA224},
    {"SHA384", SSF_DIGEST_SHA384},     {"SHA512", SSF_DIGEST_SHA512},
};

bool same(const char* table_name, const char* name, SsfCharlen len) {
  return strlen(table_name) == static_cast<size_t>(len) &&
         strncasecmp(table_name, name, static_cast<size_t>(len)) == 0;
}

bool is_empty(const char* name, SsfCharlen len) { return name == nullptr || len <= 0; }

}  // namespace

bool SsfLookupFormat(const char* name, SsfCharlen len, SsfFormatInfo* out) {
  if (is_empty(name, len)) return false;
  for (const auto& f : kFormats)
    if (same(f.name, name, len)) return *out = f.info, true;
  return false;
}

bool SsfLookupChainFormat(const char* name, SsfCharlen len, SsfChainFormatNo* out) {
  if (is_empty(name, len)) return *out = SSF_CHAIN_NONE, true;
  for (const auto& c : kChains)
    if (same(c.name, name, len)) return *out = c.no, true;
  return false;
}

bool SsfLookupDigest(const char* name, SsfCharlen len, SsfDigestNo* out) {
  if (is_empty(name, len)) return *out = SSF_DIGEST_SHA1, true;
  for (const auto& d : kDigests)
    if (same(d.name, name, len)) return *out = d.no, true;
  return false;
}

const char* SsfFormatName(SsfFormatNo f) {
  for (const auto& e : kFormats)
    if (e.info.number == f) return e.name;
  return "Unknown";
}

const char* SsfFormatInfoName(const SsfFormatInfo& f) {
  if (f.number == SSF_FORMAT_DSA && f.flat) return "DSA-FLAT";
  return SsfFormatName(f.number);
}

bool SsfTextEquals(const char* s, SsfCharlen len, const char* lit) {
  return s != nullptr && len >= 0 && static_cast<size_t>(len) == strlen(lit) &&
         memcmp(s, lit, static_cast<size_t>(len)) == 0;
}

const char* SsfChainFormatName(SsfChainFormatNo f) {
  if (f == SSF_CHAIN_NONE) return "None";
  for (const auto& c : kChains)
    if (c.no == f) return c.name;
  return "Unknown";
}

const char* SsfDigestName(SsfDigestNo d) {
  for (const auto& e : kDigests)
    if (e.no == d) return e.name;
  return "Unknown";
}
