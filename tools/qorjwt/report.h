// What a subcommand found, printed either as aligned "name: value" lines
// grouped in sections or as one JSON object with a member per section.
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

namespace qortool {

class Report {
 public:
  // Starts a section; later fields go into it.
  void Section(const std::string& name);
  void Text(const std::string& key, const std::string& value);
  void Number(const std::string& key, int64_t value);
  // Seconds since 1970 as ISO 8601 UTC, with the number beside it in JSON.
  void Time(const std::string& key, int64_t seconds);

  // Writes the report to standard output.
  void Print(bool json) const;

 private:
  struct Field {
    std::string key, text;
    bool number = false;
    int64_t value = 0;
    bool time = false;
  };
  std::vector<std::pair<std::string, std::vector<Field>>> sections_;
  std::vector<Field>& current();
};

std::string Iso8601(int64_t seconds);
std::string Hex(const unsigned char* p, size_t n);
std::string JsonString(const std::string& s);

}  // namespace qortool
