/* A program outside the build that uses the installed library. */
#include <stdio.h>

#include <qorjwt.h>

int main(void) {
  if (TavriGetVersion() != QORJWT_VERSION) return 1;
  if (TavriInitialize(NULL) != 0) return 1;
  const char* sysid = RavAreGetProperty("QOR_OWN_SYSID");
  printf("qorjwt %d, own system %s\n", TavriGetVersion(), sysid ? sysid : "(none)");
  return TavriShutdown();
}
