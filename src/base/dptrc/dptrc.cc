#include "base/dptrc/dptrc.h"

#include <ctype.h>
#include <errno.h>
#include <pthread.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

#include "base/thr/thr.h"

std::atomic<int> ct_level{0};
std::atomic<int> EntLev{2};
std::atomic<DPTRC_FILE_HDL> tf{nullptr};

namespace {

constexpr char kRule[] = "---------------------------------------------------\n";
constexpr size_t kSavLocSize = 32;

pthread_once_t lock_once = PTHREAD_ONCE_INIT;
THR_RECMTX_TYPE dptrace_lock;

// Everything below is guarded by the trace lock.
DPTRC_FILE_HDL primary_file = nullptr;
char savloc[kSavLocSize] = "";
char fmt_buf[kDpTrcBufSize];
char out_buf[kDpTrcBufSize];
time_t last_stamp = 0;
int entries_since_stamp = 0;
const int time_resolution = 1;

void create_lock() { ThrRecMtxInit(&dptrace_lock, "dptrace"); }

const char* base_name(const char* path) {
  const char* last = path;
  for (const char* p = path; *p; ++p)
    if (*p == '/' || *p == '\\') last = p + 1;
  return last;
}

void thread_tag(char* out, size_t n) {
  snprintf(out, n, "%u", ThrGetCurrentId());
}

void write_stamp(DPTRC_FILE_HDL f) {
  entries_since_stamp++;
  if (time_resolution <= 0) return;
  time_t now = time(nullptr);
  if (entries_since_stamp < kDpTrcStampEvery && now == last_stamp) return;
  last_stamp = now;
  struct tm lt;
  char when[32];
  localtime_r(&now, &lt);
  asctime_r(&lt, when);  // 24 characters and a newline
  char tag[16];
  thread_tag(tag, sizeof tag);
  if (ct_level.load() == 1) fputc('\n', f);
  fprintf(f, "[Thr %2s] %.24s\n", tag, when);
  entries_since_stamp = 0;
}

// Formats into fmt_buf; returns false when the text was cut.
bool format_text(const char* fmt, va_list ap, DPTRC_FILE_HDL f) {
  if (strchr(fmt, '%') == nullptr) {
    size_t n = strlen(fmt);
    bool fits = n < sizeof fmt_buf;
    if (!fits) n = sizeof fmt_buf - 1;
    memcpy(fmt_buf, fmt, n);
    fmt_buf[n] = '\0';
    return fits;
  }
  int n = vsnprintf(fmt_buf, sizeof fmt_buf, fmt, ap);
  if (n < 0) {
    fmt_buf[0] = '\0';
    fprintf(f, "*** ERROR => vsnprintf err, errno=%d [%s %d]\n", errno, "dptrc.cc", __LINE__);
    return true;
  }
  return static_cast<size_t>(n) < sizeof fmt_buf;
}

void write_truncated(DPTRC_FILE_HDL f) {
  fprintf(f, "\n%sdata was truncated\n", "*** WARNING => ");
}

void info_entry(DPTRC_FILE_HDL hdl, const char* fmt, va_list ap) {
  DPTRC_FILE_HDL f = hdl ? hdl : stderr;
  write_stamp(f);
  char tag[16];
  thread_tag(tag, sizeof tag);
  bool fits = format_text(fmt, ap, f);
  // Each line gets the thread prefix; a final "\n" or "\r\n" ends the entry.
  const char* p = fmt_buf;
  do {
    const char* nl = strchr(p, '\n');
    size_t len = nl ? static_cast<size_t>(nl - p + 1) : strlen(p);
    fprintf(f, "[Thr %2s] %.*s", tag, static_cast<int>(len), p);
    p += len;
  } while (*p != '\0');
  if (!fits) write_truncated(f);
  fflush(f);
}

void error_entry(DPTRC_FILE_HDL hdl, const char* kind, const char* fmt, va_list ap) {
  DPTRC_FILE_HDL f = hdl ? hdl : stderr;
  write_stamp(f);
  char cut_fmt[kDpTrcMaxFmt + 1];
  if (strlen(fmt) > kDpTrcMaxFmt) {
    fputs("*** ERROR => Dptrc fmt string truncated\n", f);
    memcpy(cut_fmt, fmt, kDpTrcMaxFmt);
    cut_fmt[kDpTrcMaxFmt] = '\0';
    fmt = cut_fmt;
  }
  bool fits = format_text(fmt, ap, f);
  size_t n = strlen(fmt_buf);
  if (n > 0 && fmt_buf[n - 1] == '\n') fmt_buf[--n] = '\0';
  char tag[16];
  thread_tag(tag, sizeof tag);
  const char* line = strlen(savloc) > 12 ? savloc + 12 : "";
  // Prefix and location always make it into the entry; a text too long to
  // fit between them is cut and announced.
  char location[kSavLocSize + 8];
  const int loc_len = snprintf(location, sizeof location, " [%-12.12s %.5s]\n", savloc, line);
  const int head = snprintf(out_buf, sizeof out_buf, "[Thr %2s] %s", tag, kind);
  const size_t room = sizeof out_buf - 1 - static_cast<size_t>(head) - static_cast<size_t>(loc_len);
  if (n > room) {
    n = room;
    fits = false;
  }
  memcpy(out_buf + head, fmt_buf, n);
  memcpy(out_buf + head + n, location, static_cast<size_t>(loc_len) + 1);
  fputs(out_buf, f);
  if (!fits) write_truncated(f);
  fflush(f);
}

}  // namespace

bool DpLock() {
  pthread_once(&lock_once, create_lock);
  return ThrRecMtxLock(&dptrace_lock) == THR_ERR_OK;
}

void DpUnlock() { ThrRecMtxUnlock(&dptrace_lock); }

DPTRC_FILE_HDL CTrcInit(const char* name, unsigned char mode, int level) {
  DpLockGuard guard;
  // Without the lock the trace goes to standard error, as when the file
  // cannot be opened.
  if (!guard.ok()) return stderr;
  if (primary_file == nullptr) ct_level = level;
  last_stamp = 0;
  mode_t old_mask = umask(0133);
  DPTRC_FILE_HDL f = fopen(name, mode == 1 ? "w" : "a");
  umask(old_mask);
  if (f == nullptr) {
    fprintf(stderr, "*** ERROR => CTrcOpen: fopen %s\n", name);
    f = stderr;
  }
  fprintf(f, "\n%s", kRule);
  fprintf(f, "trc file: \"%s\", trc level: %d, release: \"%s\"\n", base_name(name),
          ct_level.load(), QOR_RELEASE);
  fputs(kRule, f);
  fflush(f);
  if (primary_file == nullptr) primary_file = f;
  return f;
}

int CTrcFileClose(DPTRC_FILE_HDL hdl) {
  DpLockGuard guard;
  if (!guard.ok()) return -1;
  if (hdl == nullptr) return 0;
  if (hdl == primary_file) primary_file = nullptr;
  if (hdl != stderr) fclose(hdl);
  return 0;
}

void CTrcSaveLocation(const char* file, int line) {
  snprintf(savloc, sizeof savloc, "%-12.12s%d", base_name(file ? file : ""), line);
}

void DpTrcV(DPTRC_FILE_HDL hdl, const char* fmt, va_list ap) { info_entry(hdl, fmt, ap); }

void DpTrcErrV(DPTRC_FILE_HDL hdl, const char* fmt, va_list ap) {
  error_entry(hdl, "*** ERROR => ", fmt, ap);
}

void DpTrc(DPTRC_FILE_HDL hdl, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  info_entry(hdl, fmt, ap);
  va_end(ap);
}

void DpTrcA7(DPTRC_FILE_HDL hdl, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  info_entry(hdl, fmt, ap);
  va_end(ap);
}

void DpTrcErr(DPTRC_FILE_HDL hdl, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  error_entry(hdl, "*** ERROR => ", fmt, ap);
  va_end(ap);
}

void DpTrcWarn(DPTRC_FILE_HDL hdl, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  error_entry(hdl, "*** WARNING => ", fmt, ap);
  va_end(ap);
}

void DumpBuffer(DPTRC_FILE_HDL f, const void* startAddr, size_t length, int tl) {
  if (f == nullptr || tl < 1 || tl > 3 || ct_level.load() < tl || startAddr == nullptr) return;
  constexpr size_t kPerLine = 16;
  const unsigned char* bytes = static_cast<const unsigned char*>(startAddr);
  DpLockGuard guard;
  if (!guard.ok()) return;
  for (size_t off = 0; off < length; off += kPerLine) {
    char offset[16], hex[3 * kPerLine + 2], text[kPerLine + 1];
    snprintf(offset, sizeof offset, "%08X", static_cast<unsigned>(off));
    char* h = hex;
    for (size_t i = 0; i < kPerLine; ++i) {
      if (i == kPerLine / 2) *h++ = ' ';
      if (off + i < length) {
        unsigned char c = bytes[off + i];
        snprintf(h, 4, "%02x ", c);
        text[i] = isprint(c) ? static_cast<char>(c) : '.';
      } else {
        memcpy(h, "   ", 4);
        text[i] = ' ';
      }
      h += 3;
    }
    *h = '\0';
    text[kPerLine] = '\0';
    DpTrc(f, "%s  %s %s\n", offset, hex, text);
  }
}
