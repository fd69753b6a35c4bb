// A ticket text taken apart without verifying it: header, InfoUnits in
// stream order, and what the detached signature says about its signer.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace qortool {

struct TicketUnit {
  uint8_t id = 0;
  std::vector<unsigned char> value;
};

struct TicketView {
  uint8_t version = 0;
  std::string codepage;
  std::vector<TicketUnit> units;
  std::vector<unsigned char> signed_part;
  std::vector<unsigned char> signature;
};

// Rewrites a received text ("!" and blanks back to "+", URL escapes),
// Base64-decodes it and parses the byte stream. False with a one-line
// reason in *error.
bool DecodeTicket(const std::string& text, TicketView* out, std::string* error);

// Name of an InfoUnit for display ("unit 0x%02x" for unknown ones).
std::string UnitName(uint8_t id);
// The value for display: texts as UTF-8, numbers as decimal, bytes as hex.
std::string UnitValue(const TicketUnit& unit, const std::string& codepage);

}  // namespace qortool
