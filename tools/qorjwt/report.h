// What a subcommand found, printed either as indented "name: value" lines
// grouped in sections or as one JSON object (snake_case keys, arrays for
// lists, valid UTF-8) with a member per section and the exit code.
#pragma once

#include <stdint.h>

#include <nlohmann/json.hpp>
#include <string>

namespace qortool {

using Json = nlohmann::ordered_json;

class Report {
 public:
  // Starts (or goes back to) a section; later fields go into it.
  void Section(const std::string& name);
  // Starts a new entry of the list `list` in the current section; later
  // fields go into that entry until the next Item or Section.
  void Item(const std::string& list);
  void Text(const std::string& key, const std::string& value);
  void Number(const std::string& key, int64_t value);
  void Bool(const std::string& key, bool value);
  // Seconds since 1970: ISO 8601 UTC, with the number beside it in JSON.
  void Time(const std::string& key, int64_t seconds);
  // A value as it is, such as the claims object of a token.
  void Value(const std::string& key, const Json& value);

  // Writes the report to standard output.
  void Print(bool json, int exit_code) const;

 private:
  Json& target();
  Json root_ = Json::object();
  std::string section_, list_;
};

// An error as a report: {"error": {"message": ...}, "exit_code": N} in JSON.
void PrintError(bool json, const std::string& message, int exit_code);

// Lower case words joined by "_" ("Creator system id" -> "creator_system_id").
std::string SnakeCase(const std::string& name);
// The text with every byte that is not part of valid UTF-8 written as \xNN.
std::string Utf8Safe(const std::string& s);
std::string Iso8601(int64_t seconds);
std::string Hex(const unsigned char* p, size_t n);

}  // namespace qortool
