// ReconsiderTagger: the selection of flagged and realising elements, and the
// tagging update, over a RepositoryDatabase's connection.
//
// Each selection is one query whose "in (...)" condition carries the whole
// input list, spliced in verbatim: the lists are IdLists the tool built
// itself from integer columns, so they hold nothing but digits, minus signs
// and commas. The tagging update is the only write of the system and runs in
// the only transaction.
#pragma once

#include <string_view>

#include "repository/repository_database.h"

namespace reconsider {

inline constexpr int kTagged = 1;
inline constexpr int kTagFailed = 0;

class ReconsiderTagger : public RepositoryDatabase {
 public:
  ReconsiderTagger() = default;
  ~ReconsiderTagger() override;

  // The elements of the listed packages that carry "IsReconsider" = "True",
  // once per such tagged value; null when none does or the query fails.
  char* GetReconsiderObjectIds(const char* package_ids);
  // The non-requirement elements that realise one of the listed elements,
  // once per realising connector; null when none does or the query fails.
  char* GetRealisingObjectIds(const char* object_ids);
  // Sets `tagged` to 1 on the listed elements in one committed transaction:
  // kTagged, or kTagFailed after printing the COM error.
  int TagObjects(const char* object_ids);

 private:
  char* SelectObjectIds(std::string_view query_head, const char* ids);
};

}  // namespace reconsider
