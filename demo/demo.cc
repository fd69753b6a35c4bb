// The main job: drives the library through its public C interface and
// prints what it did.
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "qorjwt.h"

namespace {

int fail(const char* what, int rc) {
  fprintf(stderr, "demo: %s failed with %d\n", what, rc);
  return 1;
}

void print_file(const std::string& path) {
  FILE* f = fopen(path.c_str(), "r");
  if (f == nullptr) return;
  char line[1024];
  while (fgets(line, sizeof line, f)) printf("  | %s", line);
  fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string trace = argc > 1 ? argv[1] : "qorjwt-demo.trc";
  printf("libqorjwt interface version %d\n", TavriGetVersion());

  int rc = RavAreSetProperty("QOR_EXT_TRL", "3");
  if (rc == 0) rc = RavAreSetProperty("QOR_EXT_TRC", trace.c_str());
  if (rc != 0) return fail("setting the trace", rc);
  if ((rc = TavriInitialize(nullptr)) != 0) return fail("TavriInitialize", rc);
  printf("initialised, tracing at level %s into %s\n", RavAreGetProperty("QOR_EXT_TRL"),
         RavAreGetProperty("QOR_EXT_TRC"));

  RavAreSetProperty("QOR_OWN_SYSID", "DMO");
  RavAreSetProperty("QOR_OWN_CLIENT", "100");
  RavAreSetProperty("SSF_HASH", "SHA256");
  printf("properties:\n");
  std::string names = RavAreGetProperty(nullptr);
  size_t start = 0;
  while (start <= names.size()) {
    size_t end = names.find(';', start);
    if (end == std::string::npos) end = names.size();
    std::string name = names.substr(start, end - start);
    const char* value = RavAreGetProperty(name.c_str());
    printf("  %-17s = %s\n", name.c_str(), value ? value : "(not set)");
    start = end + 1;
  }

  if ((rc = TavriShutdown()) != 0) return fail("TavriShutdown", rc);
  printf("shut down; the trace file holds:\n");
  print_file(trace);
  return 0;
}
