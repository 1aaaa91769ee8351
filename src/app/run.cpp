// The run: open the repository, call the five steps in order, print the
// results of the first four, take everything down in a fixed order.
//
// Each result line is printed before the next step starts, so a failure line
// a step prints follows the lines of the steps before it. Teardown after the
// tagging update: the four texts are released, the connection closed, the
// object destroyed, and only then is COM uninitialised.
#include "app/run.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

#include "com/com_runtime.h"
#include "reconsider/reconsider_tagger.h"
#include "repository/id_list.h"

namespace reconsider {
namespace {

void PrintResultLine(const HeapText& text) { std::printf("%s\n", text.get()); }

// Ends the run when a step yields nothing; the step has printed its own line.
void RequireResult(const HeapText& text) {
  if (!text) std::exit(kExitFailure);
}

}  // namespace

int RunReconsiderTagger(int argc, char** argv) {
  if (argc < 2) std::exit(kExitFailure);
  platform::CoInitialize(nullptr);

  std::unique_ptr<ReconsiderTagger> tagger(new (std::nothrow) ReconsiderTagger);
  if (!tagger) {
    std::printf("%s\n", platform::ComError(platform::E_OUTOFMEMORY).ErrorMessage());
    std::exit(kExitFailure);
  }
  if (tagger->Open(argv[1]) != kOpenSucceeded) std::exit(kExitFailure);

  HeapText root_guid(tagger->GetRootPackageGuid());
  RequireResult(root_guid);
  PrintResultLine(root_guid);

  HeapText package_ids(tagger->GetPackageIdList(root_guid.get()));
  RequireResult(package_ids);
  PrintResultLine(package_ids);

  HeapText flagged_ids(tagger->GetReconsiderObjectIds(package_ids.get()));
  RequireResult(flagged_ids);
  PrintResultLine(flagged_ids);

  HeapText realising_ids(tagger->GetRealisingObjectIds(flagged_ids.get()));
  RequireResult(realising_ids);
  PrintResultLine(realising_ids);

  // A failed update has printed its line; the run still tears down in order,
  // and its status says the repository was not tagged.
  const int tagged = tagger->TagObjects(realising_ids.get());

  root_guid.reset();
  package_ids.reset();
  flagged_ids.reset();
  realising_ids.reset();
  tagger->Close();
  tagger.reset();
  platform::CoUninitialize();
  return tagged == kTagged ? kExitSuccess : kExitFailure;
}

}  // namespace reconsider
