// Bridge from the crypto library's trace into the ticket library's trace file.
#include <atomic>

#include "sec/tavrisso/ssf/table.h"

namespace {

std::atomic<DPTRC_FILE_HDL> vlt_tf{nullptr};

}  // namespace

int32_t Vorlith_Trace_Callback(int32_t level, const char* szModule, const char* szFunc,
                               const char* szText) {
  const char* module = szModule ? szModule : "";
  const char* func = szFunc ? szFunc : "";
  const char* text = szText ? szText : "";
  const int ours = ct_level.load();
  DPTRC_FILE_HDL f = vlt_tf.load();
  if (f == nullptr) return level;
  // Our entry level for the crypto library's level; its details name the function.
  int entry = 0;
  switch (level) {
    case 1:
    case 2:
      entry = level;
      break;
    case 3:
    case 4:
    case 5:
      entry = 3;
      break;
    default:
      return level;
  }
  if (ours < entry) return level;
  DpLockGuard guard;
  if (!guard.ok()) return level;
  EntLev = entry;
  if (entry == 3) {
    DpTrcA7(f, "VLT[%s]: %s [%s]\n", module, text, func);
  } else {
    DpTrcA7(f, "VLT[%s]: %s\n", module, text);
  }
  EntLev = 2;
  return level;
}

int32_t VorlithSetTraceLevel(int32_t level) {
  if (level >= 0) return Qorcryptolib_SetTraceLevel(level);
  const int ours = ct_level.load();
  return Qorcryptolib_SetTraceLevel(ours >= 1 && ours <= 5 ? ours : 0);
}

int32_t VorlithSetTraceFile(DPTRC_FILE_HDL fp_vlt_tf) {
  if (fp_vlt_tf != nullptr) {
    vlt_tf = fp_vlt_tf;
    Qorcryptolib_RegisterTraceCallback(nullptr, &Vorlith_Trace_Callback);
  } else {
    Qorcryptolib_UnregisterTraceCallback();
    vlt_tf = nullptr;
  }
  return 0;
}
