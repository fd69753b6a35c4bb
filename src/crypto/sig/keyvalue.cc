// XML-signature key values (W3C XML Signature 4.4.2): RSAKeyValue (Modulus,
// Exponent) and DSAKeyValue (P, Q, G, Y), each a Base64 big-endian integer,
// with or without a namespace prefix.
#include <openssl/core_names.h>

#include <string>
#include <vector>

#include "base/bytes/reader.h"
#include "crypto/frame/frame.h"
#include "crypto/sig/sigint.h"

namespace qorcr {
namespace {

constexpr size_t kMaxKeyValue = 64 * 1024;

bool is_space(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool skip_past(ByteReader* r, uint8_t ch) {
  uint8_t c = 0;
  while (r->get_u8(&c))
    if (c == ch) return true;
  return false;
}

// An element name at `r`, without its namespace prefix.
std::string local_name(ByteReader* r) {
  std::string name;
  uint8_t c = 0;
  while (r->peek_u8(&c) && !is_space(c) && c != '>' && c != '/') {
    name += static_cast<char>(c);
    r->skip(1);
  }
  const size_t colon = name.rfind(':');
  return colon == std::string::npos ? name : name.substr(colon + 1);
}

// The text of the first element named `name` (any prefix); `opened` tells
// whether its start tag was there at all.
bool element(ByteReader xml, const char* name, ByteReader* out, bool* opened = nullptr) {
  if (opened) *opened = false;
  while (skip_past(&xml, '<')) {
    if (xml.match_u8('/') || local_name(&xml) != name) continue;
    if (opened) *opened = true;
    if (!skip_past(&xml, '>')) return false;
    ByteReader body = xml, probe = xml;
    while (skip_past(&probe, '<')) {
      ByteReader at = probe;
      if (at.match_u8('/') && local_name(&at) == name)
        return body.get_sub(body.remaining() - probe.remaining() - 1, out);
    }
    return false;
  }
  return false;
}

bool push_integer(ByteReader xml, const char* elem, const char* param, OSSL_PARAM_BLD* bld,
                  std::vector<SslPtr<BIGNUM>>* keep) {
  ByteReader text;
  std::vector<unsigned char> bytes;
  if (!element(xml, elem, &text) || !Base64Decode(text.data(), text.remaining(), &bytes))
    return false;
  SslPtr<BIGNUM> bn(BN_bin2bn(bytes.data(), static_cast<int>(bytes.size()), nullptr));
  if (!bn || OSSL_PARAM_BLD_push_BN(bld, param, bn.get()) != 1) return false;
  keep->push_back(std::move(bn));  // the builder refers to it until the params are made
  return true;
}

struct KeyValueType {
  const char* element;
  const char* key_type;
  const char* fields[4][2];  // element, parameter name
};

const KeyValueType kTypes[] = {
    {"RSAKeyValue",
     "RSA",
     {{"Modulus", OSSL_PKEY_PARAM_RSA_N}, {"Exponent", OSSL_PKEY_PARAM_RSA_E}, {}, {}}},
    {"DSAKeyValue",
     "DSA",
     {{"P", OSSL_PKEY_PARAM_FFC_P},
      {"Q", OSSL_PKEY_PARAM_FFC_Q},
      {"G", OSSL_PKEY_PARAM_FFC_G},
      {"Y", OSSL_PKEY_PARAM_PUB_KEY}}},
};

}  // namespace

int32_t ParseKeyValue(Bytes xml, SslPtr<EVP_PKEY>* out) {
  if (xml.empty()) return SSF_API_NODATA;
  if (xml.n > kMaxKeyValue) return SSF_API_ERROR_PARSE_KEYVALUE;
  const ByteReader text(xml.p, xml.n);
  for (const KeyValueType& t : kTypes) {
    ByteReader body;
    bool opened = false;
    if (!element(text, t.element, &body, &opened)) {
      if (opened) return SSF_API_ERROR_PARSE_KEYVALUE;
      continue;
    }
    SslPtr<OSSL_PARAM_BLD> bld(OSSL_PARAM_BLD_new());
    std::vector<SslPtr<BIGNUM>> keep;
    if (!bld) return SSF_API_NOMEMORY;
    for (const auto& f : t.fields)
      if (f[0] != nullptr && !push_integer(body, f[0], f[1], bld.get(), &keep))
        return SSF_API_ERROR_PARSE_KEYVALUE;
    SslPtr<OSSL_PARAM> params(OSSL_PARAM_BLD_to_param(bld.get()));
    SslPtr<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new_from_name(nullptr, t.key_type, nullptr));
    EVP_PKEY* key = nullptr;
    if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1 ||
        EVP_PKEY_fromdata(ctx.get(), &key, EVP_PKEY_PUBLIC_KEY, params.get()) != 1) {
      OpenSslErrorsDrop();
      return SSF_API_ERROR_PARSE_KEYVALUE;
    }
    out->reset(key);
    return SSF_API_OK;
  }
  return SSF_API_ERROR_UNSUPPORTED_KEYVALUE;
}

}  // namespace qorcr
