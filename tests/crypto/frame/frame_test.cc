// The crypto library's entry frame: a failing start, the allocator and the
// loader's function list, the final shutdown, and the open-failure trace.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <atomic>
#include <string>
#include <vector>

#include "crypto/frame/frame.h"
#include "crypto/ssf/ssfapi.h"

namespace {

constexpr char kFips[] = "FIPS_140_2_CRYPTO_KERNEL_ACTIVE";

std::vector<std::string>& Messages() {
  static std::vector<std::string> m;
  return m;
}
int32_t Collect(int32_t, const char*, const char*, const char* text) {
  Messages().push_back(text);
  return 0;
}

std::atomic<long> g_allocs{0};
void* CountMalloc(size_t n) { return ++g_allocs, malloc(n); }
void* CountCalloc(size_t c, size_t n) { return ++g_allocs, calloc(c, n); }
void* CountRealloc(void* p, size_t n) { return ++g_allocs, realloc(p, n); }
void CountFree(void* p) { free(p); }

// An empty key store image, as the library saves one.
std::vector<unsigned char> EmptyImage() {
  char* name = nullptr;
  EXPECT_EQ(qor_create_memory_PSE(&name), 0);
  int32_t size = 0;
  EXPECT_EQ(qor_save_memory_PSE(name, nullptr, &size), 4866);
  std::vector<unsigned char> image(static_cast<size_t>(size));
  EXPECT_EQ(qor_save_memory_PSE(name, image.data(), &size), 0);
  EXPECT_EQ(qor_delete_memory_PSE(name), 0);
  return image;
}

}  // namespace

// Each test runs in a process of its own under ctest: the library starts
// fresh there.
TEST(CryptoFrame, WhileTheLibraryCannotStartEveryEntryReturnsMinusOne) {
  ASSERT_FALSE(qorcr::IsInitialized());
  ASSERT_EQ(qorcr_set_property_int(kFips, 1), 0);  // a certified kernel this build lacks
  char* name = nullptr;
  const unsigned char data[16] = {0x30};
  int32_t size = 0;
  EXPECT_EQ(qor_create_memory_PSE(&name), -1);
  EXPECT_EQ(qor_create_named_memory_PSE("mine", &name), -1);
  EXPECT_EQ(qor_load_memory_PSE("#_MemPSE_#x", data, sizeof data), -1);
  EXPECT_EQ(qor_save_memory_PSE("#_MemPSE_#x", nullptr, &size), -1);
  EXPECT_EQ(qor_delete_memory_PSE("#_MemPSE_#x"), -1);
  SsfOctetstring text = nullptr;
  SsfOctetlen textL = 0;
  EXPECT_EQ(SsfDELSsfOctetstring(&text, &textL), -1);
  SigRcpSsfInformation* rec = nullptr;
  EXPECT_EQ(SsfNEWSigRcpSsfInfo("id", 2, nullptr, 0, nullptr, 0, nullptr, 0, 0, &rec), -1);
  EXPECT_EQ(rec, nullptr);
  EXPECT_EQ(SsfINSSigRcpSsfInfo(nullptr, nullptr), -1);
  EXPECT_EQ(SsfDELSigRcpSsfInfo(&rec), -1);
  SigRcpSsfInformationList list = nullptr;
  EXPECT_EQ(SsfDELSigRcpSsfInfoList(&list), -1);
  const qorcr_f_list* loader = nullptr;
  EXPECT_EQ(cryptolib_get_f_list(&loader), qorcr::kRcNoCertifiedKernel);
  EXPECT_EQ(loader, nullptr);
  EXPECT_EQ(qorcr_init(), qorcr::kRcNoCertifiedKernel);
  EXPECT_FALSE(qorcr::IsInitialized());
}

TEST(CryptoFrame, AllocatorIsTheCallersUntilTheLoaderStarts) {
  ASSERT_FALSE(qorcr::IsInitialized());
  EXPECT_EQ(cryptolib_set_memory_callback(&CountMalloc, nullptr, &CountRealloc, &CountFree),
            qorcr::kRcMixedAllocator);
  EXPECT_EQ(cryptolib_set_memory_callback(nullptr, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(cryptolib_set_memory_callback(&CountMalloc, &CountCalloc, &CountRealloc, &CountFree), 0);
  const qorcr_f_list* loader = nullptr;
  ASSERT_EQ(cryptolib_get_f_list(&loader), 0);
  ASSERT_NE(loader, nullptr);
  EXPECT_EQ(loader->struct_size, static_cast<int32_t>(sizeof(qorcr_f_list)));
  EXPECT_EQ(loader->init, &qorcr_init);
  EXPECT_EQ(cryptolib_set_memory_callback(nullptr, nullptr, nullptr, nullptr), qorcr::kRcLoaderStarted);
  ASSERT_EQ(loader->init(), 0);
  const long before = g_allocs.load();
  EXPECT_FALSE(EmptyImage().empty());  // key store encoding allocates inside the kernel
  EXPECT_GT(g_allocs.load(), before);
  EXPECT_EQ(loader->done(), 0);
}

TEST(CryptoFrame, FinalShutdownEndsMemoryKeyStoresAndProfiles) {
  ASSERT_EQ(qorcr_init(), 0);
  const std::vector<unsigned char> image = EmptyImage();
  char* store = nullptr;
  ASSERT_EQ(qor_create_named_memory_PSE("mine", &store), 0);
  const std::string name = store;
  EXPECT_EQ(name.substr(0, 10), "#_MemPSE_#");
  EXPECT_EQ(name.substr(name.size() - 5), ":mine");
  std::vector<unsigned char> data = {'m', 'e', 'm', 'p', 's', 'e', ':'};
  data.insert(data.end(), image.begin(), image.end());
  ASSERT_EQ(SsfCreateProfile("user", 4, nullptr, 0, data.data(), static_cast<SsfOctetlen>(data.size())), 0);
  SsfProfileHandle h = nullptr;
  ASSERT_EQ(SsfOpenProfile("user", 4, nullptr, 0, nullptr, 0, nullptr, 0, &h), 0);
  SsfCloseProfile(&h);
  ASSERT_EQ(qorcr_init(), 0);  // a second reference keeps everything
  ASSERT_EQ(qorcr_done(), 0);
  EXPECT_EQ(qor_load_memory_PSE(name.c_str(), nullptr, 0), 0);
  ASSERT_EQ(qorcr_done(), 0);  // the last one
  EXPECT_FALSE(qorcr::IsInitialized());
  // The next call starts the library again, without them.
  EXPECT_EQ(qor_load_memory_PSE(name.c_str(), nullptr, 0), 4129);
  EXPECT_EQ(SsfOpenProfile("user", 4, nullptr, 0, nullptr, 0, nullptr, 0, &h), 23);
  EXPECT_EQ(SsfOpenProfile("QORdefault", 10, nullptr, 0, nullptr, 0, nullptr, 0, &h), 0);  // built-ins again
  SsfCloseProfile(&h);
}

TEST(CryptoFrame, OpenFailureTraceNamesAMissingName) {
  ASSERT_EQ(qorcr_init(), 0);
  ASSERT_EQ(Qorcryptolib_RegisterTraceCallback(nullptr, &Collect), 0);
  Qorcryptolib_SetTraceLevel(4);
  ASSERT_EQ(SsfRemoveProfile("QORdefault", 10), 0);  // a missing name opens the default
  SsfProfileHandle h = nullptr;
  EXPECT_EQ(SsfOpenProfile(nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, &h), 23);
  Qorcryptolib_UnregisterTraceCallback();
  bool named = false;
  for (const std::string& m : Messages()) named = named || m.find("PSE '<NULL>' failed") != std::string::npos;
  EXPECT_TRUE(named);
  qorcr_done();
}
