// Runs the tool's five steps on an arbitrary file: whatever the file holds,
// every step ends with a result or a failure value, never a crash.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "com/com_runtime.h"
#include "reconsider/reconsider_tagger.h"
#include "repository/id_list.h"
#include "scratch_file.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The steps print their lines on standard output; keep the fuzzer's quiet.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  platform::CoInitialize(nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzzing::WriteScratchFile(data, size, ".db");
  if (path.empty()) return 0;
  {
    reconsider::ReconsiderTagger tagger;
    if (tagger.Open(path.c_str()) == reconsider::kOpenSucceeded) {
      reconsider::HeapText guid(tagger.GetRootPackageGuid());
      if (guid) {
        reconsider::HeapText packages(tagger.GetPackageIdList(guid.get()));
        if (packages) {
          reconsider::HeapText flagged(tagger.GetReconsiderObjectIds(packages.get()));
          if (flagged) {
            reconsider::HeapText realising(tagger.GetRealisingObjectIds(flagged.get()));
            if (realising) tagger.TagObjects(realising.get());
          }
        }
      }
      tagger.Close();
    }
  }
  std::remove(path.c_str());
  std::remove((path + "-journal").c_str());
  return 0;
}
