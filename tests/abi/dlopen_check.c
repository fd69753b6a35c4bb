/* Loads the shared object the way a host written in C would. */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

typedef int32_t (*init_fn)(const char*);
typedef int32_t (*void_fn)(void);
typedef int32_t (*set_fn)(const char*, const char*);
typedef const char* (*get_fn)(const char*);

#define CHECK(cond)                                  \
  do {                                               \
    if (!(cond)) {                                   \
      fprintf(stderr, "failed: %s\n", #cond);        \
      return 1;                                      \
    }                                                \
  } while (0)

int main(int argc, char** argv) {
  CHECK(argc == 2);
  void* h = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (h == NULL) {
    fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  init_fn init = (init_fn)dlsym(h, "TavriInitialize");
  void_fn shutdown = (void_fn)dlsym(h, "TavriShutdown");
  void_fn version = (void_fn)dlsym(h, "TavriGetVersion");
  set_fn set = (set_fn)dlsym(h, "RavAreSetProperty");
  get_fn get = (get_fn)dlsym(h, "RavAreGetProperty");
  CHECK(init && shutdown && version && set && get);
  CHECK(dlsym(h, "ThrProcInit") == NULL); /* internals stay hidden */

  CHECK(version() == 1);
  CHECK(set("QOR_OWN_SYSID", "ABC") == 0);
  CHECK(init(NULL) == 0);
  CHECK(strcmp(get("QOR_OWN_SYSID"), "ABC") == 0);
  CHECK(set("NO_SUCH", "x") == 9);
  CHECK(get("qor_own_sysid") == NULL);
  CHECK(shutdown() == 0);
  CHECK(init("") == 0);
  CHECK(shutdown() == 0);
  /* No dlclose: the library keeps process-wide state for the life of the process. */
  puts("dlopen check passed");
  return 0;
}
