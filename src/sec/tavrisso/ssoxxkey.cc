// The loaded ticket key and its memory key store.
#include <string.h>

#include "sec/tavrisso/ssoxxglob.h"

void TavriReleaseLoadedKey() {
  // No key loader is bound yet, so no memory key store can exist; the key
  // variables are cleared as after a real release.
  pMemoryPSE = nullptr;
  memset(PSEPath, 0, sizeof PSEPath);
  memset(X509Key, 0, sizeof X509Key);
  X509KeyLen = 0;
}
