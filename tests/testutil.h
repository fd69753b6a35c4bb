// Small helpers shared by the tests.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "qorjwt.h"

// Whether `text` holds `part`, with both shown when it does not.
#define EXPECT_CONTAINS(text, part) EXPECT_PRED_FORMAT2(::testing::IsSubstring, part, text)
#define EXPECT_LACKS(text, part) EXPECT_PRED_FORMAT2(::testing::IsNotSubstring, part, text)

namespace qortest {

// Runs a shell command quietly; true when it exits with 0.
inline bool Sh(const std::string& cmd) { return system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

// Standard output of a command (standard error dropped); `exited_ok`, when
// given, tells whether it exited with 0.
inline std::string ShOut(const std::string& cmd, bool* exited_ok = nullptr) {
  std::string out;
  FILE* p = popen((cmd + " 2>/dev/null").c_str(), "r");
  if (p == nullptr) {
    if (exited_ok) *exited_ok = false;
    return out;
  }
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int status = pclose(p);
  if (exited_ok) *exited_ok = status == 0;
  return out;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

template <typename B>
void WriteBytes(const std::string& path, const B& b) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// How often `part` occurs in `text`.
inline size_t CountOf(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Lower-case hex of bytes, and back.
inline std::string Hex(const unsigned char* p, size_t n) {
  std::string h;
  for (size_t i = 0; i < n; ++i) h += "0123456789abcdef"[p[i] >> 4], h += "0123456789abcdef"[p[i] & 15];
  return h;
}
inline std::string Hex(const std::string& s) { return Hex(reinterpret_cast<const unsigned char*>(s.data()), s.size()); }
inline std::string Hex(const std::vector<unsigned char>& b) { return Hex(b.data(), b.size()); }
template <typename B = std::vector<unsigned char>>
B FromHex(const std::string& h) {
  B b;
  for (size_t i = 0; i + 1 < h.size(); i += 2) b.push_back(static_cast<typename B::value_type>(std::stoi(h.substr(i, 2), nullptr, 16)));
  return b;
}

// Runs ok(thread, round) for `rounds` rounds on each of `threads` threads
// at once; the number of calls that returned false.
template <typename F>
int FailuresOnThreads(int threads, int rounds, F ok) {
  std::atomic<int> failures{0};
  std::vector<std::thread> running;
  for (int t = 0; t < threads; ++t)
    running.emplace_back([&, t] {
      for (int i = 0; i < rounds; ++i)
        if (!ok(t, i)) ++failures;
    });
  for (auto& th : running) th.join();
  return failures.load();
}

// A fresh directory under /tmp, removed with its files at the end of scope.
class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/qortest-XXXXXX";
    path_ = mkdtemp(tmpl);
  }
  ~TempDir() { (void)system(("rm -rf '" + path_ + "'").c_str()); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Sets an environment variable for the scope of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old, had_ = true;
    if (value) setenv(name, value, 1); else unsetenv(name);
  }
  ~ScopedEnv() {
    if (had_) setenv(name_.c_str(), old_.c_str(), 1); else unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_, old_;
  bool had_ = false;
};

// The trace text of `calls`, run with the library's trace at `level` into a
// fresh file; the trace is switched off afterwards. Empty if it never started.
template <typename F>
std::string Traced(const char* level, F calls) {
  TempDir dir;
  const std::string path = dir.file("t.trc");
  if (RavAreSetProperty("QOR_EXT_TRL", level) != 0 || RavAreSetProperty("QOR_EXT_TRC", path.c_str()) != 0)
    return "";
  calls();
  RavAreSetProperty("QOR_EXT_TRC", nullptr);
  return ReadFile(path);
}

}  // namespace qortest
