#include "ticketview.h"

#include <iconv.h>
#include <openssl/evp.h>
#include <stdio.h>

#include "report.h"
#include "sec/tavrisso/engine/byte_stream.h"

namespace qortool {
namespace {

constexpr size_t kMaxTicketText = 4095;

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The received text as the sender encoded it.
std::string rewrite(const std::string& in) {
  std::string out;
  for (size_t i = 0; i < in.size(); ++i) {
    char c = in[i];
    if (c == '\n' || c == '\r') continue;
    if (c == ' ' || c == '!') {
      out += '+';
    } else if (c == '%' && i + 2 < in.size() && hex_digit(in[i + 1]) >= 0 && hex_digit(in[i + 2]) >= 0) {
      int v = hex_digit(in[i + 1]) * 16 + hex_digit(in[i + 2]);
      out += (v == 0x20 || v == 0x21) ? '+' : static_cast<char>(v);
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

std::string latin1_to_utf8(const std::vector<unsigned char>& v) {
  std::string out;
  for (unsigned char c : v) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

bool valid_utf8(const std::vector<unsigned char>& v) {
  iconv_t cd = iconv_open("UTF-8", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::vector<char> in(v.begin(), v.end()), out(v.size() * 4 + 4);
  char* ip = in.data();
  char* op = out.data();
  size_t il = in.size(), ol = out.size();
  size_t rc = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  return rc != static_cast<size_t>(-1) && il == 0;
}

int32_t be32(const std::vector<unsigned char>& v) {
  return static_cast<int32_t>((uint32_t{v[0]} << 24) | (uint32_t{v[1]} << 16) | (uint32_t{v[2]} << 8) | v[3]);
}

}  // namespace

bool DecodeTicket(const std::string& text, TicketView* out, std::string* error) {
  std::string b64 = rewrite(text);
  while (!b64.empty() && (b64.back() == ' ' || b64.back() == '\0')) b64.pop_back();
  if (b64.empty() || b64.size() > kMaxTicketText + 1 || b64.size() % 4 != 0) {
    *error = "ticket text is empty, too long or not Base64 (length " + std::to_string(b64.size()) + ")";
    return false;
  }
  std::vector<unsigned char> bytes(b64.size() / 4 * 3);
  int n = EVP_DecodeBlock(bytes.data(), reinterpret_cast<const unsigned char*>(b64.data()),
                          static_cast<int>(b64.size()));
  if (n < 0) {
    *error = "ticket text is not valid Base64";
    return false;
  }
  size_t pad = b64.size() >= 2 && b64[b64.size() - 2] == '=' ? 2 : (b64.back() == '=' ? 1 : 0);
  bytes.resize(static_cast<size_t>(n) - pad);

  // The library's own walk over the stream, units kept in stream order.
  char codepage[kTicketCodepageSize];
  const int32_t n_bytes = static_cast<int32_t>(bytes.size());
  const TicketWalk walk =
      HRazuWalkTicketStream(bytes.data(), n_bytes, codepage, [out](const TicketStreamUnit& u) -> int32_t {
        if (u.len < 0 || u.len > kContentMaxBytes) return kRcInvalid;
        out->units.push_back({u.id, std::vector<unsigned char>(u.value, u.value + u.len)});
        return 0;
      });
  out->version = walk.version;
  switch (walk.end) {
    case TicketWalkEnd::kMarker:
      break;
    case TicketWalkEnd::kHeader:
      *error = "byte stream too short for its header";
      return false;
    case TicketWalkEnd::kUnit:
    case TicketWalkEnd::kVisitor:
      *error = "InfoUnit 0x" + Hex(&walk.id, 1) + " has a bad length or is cut off";
      return false;
    case TicketWalkEnd::kNoMarker:
      *error = "byte stream ends without the signature marker";
      return false;
  }
  out->codepage.assign(codepage, kTicketCodepageSize);
  out->signed_part.assign(bytes.data(), bytes.data() + walk.processed - 1);
  const unsigned char* sig = nullptr;
  int32_t sig_len = 0;
  if (HRazuExtractSignature(bytes.data(), n_bytes, walk.processed, &sig, &sig_len) != 0) {
    *error = "signature length is missing or beyond the data";
    return false;
  }
  out->signature.assign(sig, sig + sig_len);
  return true;
}

std::string UnitName(uint8_t id) {
  switch (id) {
    case 1: return "User name";
    case 2: return "Creator client";
    case 3: return "Creator system id";
    case 4: return "UTC Time creation";
    case 5: return "Duration validity";
    case 6: return "RFC ticket";
    case 7: return "Duration validity (min)";
    case 8: return "Flags";
    case 9: return "Language";
    case 10: return "User name (UTF-8)";
    case 11: return "Creator client (UTF-8)";
    case 12: return "Creator system id (UTF-8)";
    case 13: return "UTC Time creation (UTF-8)";
    case 14: return "Language (UTF-8)";
    case 15: return "Recipient client";
    case 16: return "Recipient system id";
    case 32: return "Portal user name";
    case 136: return "Authentication scheme";
    default: {
      char buf[16];
      snprintf(buf, sizeof buf, "unit 0x%02x", id);
      return buf;
    }
  }
}

std::string UnitValue(const TicketUnit& unit, const std::string& codepage) {
  const auto& v = unit.value;
  switch (unit.id) {
    case 5:
    case 7:
      return v.size() == 4 ? std::to_string(be32(v)) : "0x" + Hex(v.data(), v.size());
    case 8:
    case 6:
      return "0x" + Hex(v.data(), v.size());
    case 4:
    case 13:
      if (v.size() == 12) {
        std::string s(v.begin(), v.end());
        return s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2) + "T" + s.substr(8, 2) +
               ":" + s.substr(10, 2) + "Z";
      }
      break;
    default:
      break;
  }
  bool character = unit.id == 1 || unit.id == 2 || unit.id == 3 || unit.id == 9;
  if (character && codepage == "1100") return latin1_to_utf8(v);
  if (valid_utf8(v)) return std::string(v.begin(), v.end());
  return "0x" + Hex(v.data(), v.size());
}

}  // namespace qortool
