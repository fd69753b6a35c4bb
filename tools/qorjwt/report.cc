#include "report.h"

#include <stdio.h>
#include <time.h>

namespace qortool {
namespace {

bool is_time(const Json& v) {
  return v.is_object() && v.size() == 2 && v.contains("iso") && v.contains("epoch");
}

std::string scalar_text(const Json& v) {
  if (v.is_string()) return v.get<std::string>();
  if (is_time(v)) return v["iso"].get<std::string>();
  return v.dump();
}

bool all_scalars(const Json& a) {
  for (const Json& v : a)
    if (v.is_structured() && !is_time(v)) return false;
  return true;
}

std::string words(const std::string& key) {
  std::string s = key;
  for (char& c : s) c = c == '_' ? ' ' : c;
  return s;
}

void print_object(const Json& o, int indent) {
  size_t width = 0;
  for (const auto& [k, v] : o.items())
    if (!v.is_structured() || is_time(v) || (v.is_array() && all_scalars(v)))
      width = k.size() > width ? k.size() : width;
  for (const auto& [k, v] : o.items()) {
    if (v.is_object() && !is_time(v)) {
      printf("%*s%s:\n", indent, "", words(k).c_str());
      print_object(v, indent + 2);
    } else if (v.is_array() && !all_scalars(v)) {
      for (size_t i = 0; i < v.size(); ++i) {
        printf("%*s%s %zu:\n", indent, "", words(k).c_str(), i + 1);
        if (v[i].is_object())
          print_object(v[i], indent + 2);
        else
          printf("%*s%s\n", indent + 2, "", v[i].dump().c_str());
      }
    } else {
      std::string text;
      if (v.is_array()) {
        for (const Json& e : v) text += (text.empty() ? "" : ", ") + scalar_text(e);
        if (v.empty()) text = "none";
      } else {
        text = scalar_text(v);
      }
      printf("%*s%-*s  %s\n", indent, "", static_cast<int>(width + 1), (words(k) + ":").c_str(),
             text.c_str());
    }
  }
}

}  // namespace

Json& Report::target() {
  if (section_.empty()) Section("result");
  Json& s = root_[section_];
  if (list_.empty()) return s;
  return s[list_].back();
}

void Report::Section(const std::string& name) {
  section_ = SnakeCase(name);
  list_.clear();
  if (!root_.contains(section_)) root_[section_] = Json::object();
}

void Report::Item(const std::string& list) {
  if (section_.empty()) Section("result");
  list_ = SnakeCase(list);
  Json& s = root_[section_];
  if (!s.contains(list_)) s[list_] = Json::array();
  s[list_].push_back(Json::object());
}

void Report::Text(const std::string& key, const std::string& value) {
  target()[SnakeCase(key)] = Utf8Safe(value);
}

void Report::Number(const std::string& key, int64_t value) { target()[SnakeCase(key)] = value; }

void Report::Bool(const std::string& key, bool value) { target()[SnakeCase(key)] = value; }

void Report::Time(const std::string& key, int64_t seconds) {
  target()[SnakeCase(key)] = Json{{"iso", Iso8601(seconds)}, {"epoch", seconds}};
}

void Report::Value(const std::string& key, const Json& value) { target()[SnakeCase(key)] = value; }

void Report::Print(bool json, int exit_code) const {
  if (json) {
    Json out = root_;
    out["exit_code"] = exit_code;
    // Strings were made valid UTF-8 on the way in; replace guards the rest.
    printf("%s\n", out.dump(-1, ' ', false, Json::error_handler_t::replace).c_str());
    return;
  }
  print_object(root_, 0);
}

void PrintError(bool json, const std::string& message, int exit_code) {
  if (json) {
    Report r;
    r.Section("error");
    r.Text("message", message);
    r.Print(true, exit_code);
    fflush(stdout);
    return;
  }
  fprintf(stderr, "qorjwt: %s\n", message.c_str());
}

std::string SnakeCase(const std::string& name) {
  std::string out;
  bool gap = false;
  for (unsigned char c : name) {
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
      if (gap && !out.empty()) out += '_';
      out += static_cast<char>(c);
      gap = false;
    } else if (c >= 'A' && c <= 'Z') {
      if (gap && !out.empty()) out += '_';
      out += static_cast<char>(c - 'A' + 'a');
      gap = false;
    } else {
      gap = true;
    }
  }
  return out;
}

std::string Utf8Safe(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  size_t n = s.size(), i = 0;
  while (i < n) {
    unsigned char c = p[i];
    size_t len = c < 0x80 ? 1 : (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3
                                                           : (c >= 0xF0 && c <= 0xF4) ? 4 : 0;
    bool ok = len > 0 && i + len <= n;
    for (size_t k = 1; ok && k < len; ++k) ok = (p[i + k] & 0xC0) == 0x80;
    // No overlong forms, surrogates or code points beyond U+10FFFF.
    if (ok && len == 3) ok = !(c == 0xE0 && p[i + 1] < 0xA0) && !(c == 0xED && p[i + 1] >= 0xA0);
    if (ok && len == 4) ok = !(c == 0xF0 && p[i + 1] < 0x90) && !(c == 0xF4 && p[i + 1] >= 0x90);
    if (ok) {
      out.append(s, i, len);
      i += len;
    } else {
      char esc[8];
      snprintf(esc, sizeof esc, "\\x%02X", c);
      out += esc;
      ++i;
    }
  }
  return out;
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

}  // namespace qortool
