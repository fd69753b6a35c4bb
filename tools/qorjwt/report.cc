#include "report.h"

#include <stdio.h>
#include <time.h>

namespace qortool {

std::vector<Report::Field>& Report::current() {
  if (sections_.empty()) sections_.emplace_back("result", std::vector<Field>{});
  return sections_.back().second;
}

void Report::Section(const std::string& name) { sections_.emplace_back(name, std::vector<Field>{}); }

void Report::Text(const std::string& key, const std::string& value) {
  Field f;
  f.key = key;
  f.text = value;
  current().push_back(f);
}

void Report::Number(const std::string& key, int64_t value) {
  Field f;
  f.key = key;
  f.number = true;
  f.value = value;
  f.text = std::to_string(value);
  current().push_back(f);
}

void Report::Time(const std::string& key, int64_t seconds) {
  Field f;
  f.key = key;
  f.time = true;
  f.value = seconds;
  f.text = Iso8601(seconds);
  current().push_back(f);
}

std::string Iso8601(int64_t seconds) {
  time_t t = static_cast<time_t>(seconds);
  struct tm tm;
  char buf[32];
  if (gmtime_r(&t, &tm) == nullptr || strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm) == 0)
    return std::to_string(seconds);
  return buf;
}

std::string Hex(const unsigned char* p, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(2 * n);
  for (size_t i = 0; i < n; ++i) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
  return out;
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char esc[8];
          snprintf(esc, sizeof esc, "\\u%04x", c);
          out += esc;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

void Report::Print(bool json) const {
  if (json) {
    std::string out = "{";
    for (size_t s = 0; s < sections_.size(); ++s) {
      out += (s ? ", " : "") + JsonString(sections_[s].first) + ": {";
      const auto& fields = sections_[s].second;
      for (size_t i = 0; i < fields.size(); ++i) {
        const Field& f = fields[i];
        out += (i ? ", " : "") + JsonString(f.key) + ": ";
        if (f.time)
          out += "{\"iso\": " + JsonString(f.text) + ", \"epoch\": " + std::to_string(f.value) + "}";
        else
          out += f.number ? f.text : JsonString(f.text);
      }
      out += "}";
    }
    printf("%s}\n", out.c_str());
    return;
  }
  for (const auto& [name, fields] : sections_) {
    size_t width = 0;
    for (const Field& f : fields) width = f.key.size() > width ? f.key.size() : width;
    printf("%s:\n", name.c_str());
    for (const Field& f : fields)
      printf("  %-*s  %s\n", static_cast<int>(width + 1), (f.key + ":").c_str(), f.text.c_str());
  }
}

}  // namespace qortool
