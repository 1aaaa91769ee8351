// RepositoryDatabase: the one connection to a repository, and all reading.
//
// The object owns at most one open ADO Connection (`connection`). Open makes
// and opens it on a repository path with the Jet provider and sets the
// provider's commit mode; Close closes and releases it. All reading goes
// through two query primitives, QueryFirstValue and QueryIdList; the package
// navigation (GetRootPackageGuid, GetPackageIdList) is built on them.
//
// Invariants:
//  - `connection` is empty after construction, after Close and after a failed
//    Open; only Open sets it, and outside Open a set `connection` is open.
//  - No COM error leaves an operation: each one catches it, prints one line
//    (the bare message text in Open, "Err :: " and the text elsewhere) and
//    answers with its failure value.
//  - Every Command and Recordset an operation makes is released before it
//    returns; only the connection lives from one operation to the next.
#pragma once

#include "ado/ado.h"
#include "com/com_ptr.h"

namespace reconsider {

inline constexpr int kOpenSucceeded = 1;
inline constexpr int kOpenFailed = 0;
// QueryIdList's answer after a failure it has reported.
inline constexpr int kQueryFailed = -1;

class RepositoryDatabase {
 public:
  RepositoryDatabase() = default;
  virtual ~RepositoryDatabase();
  RepositoryDatabase(const RepositoryDatabase&) = delete;
  RepositoryDatabase& operator=(const RepositoryDatabase&) = delete;

  // Opens the repository at `path`: kOpenSucceeded, or kOpenFailed after
  // printing the COM error's message text. An earlier connection is released
  // without being closed.
  int Open(const char* path);
  // Closes and releases the connection; nothing happens without one.
  void Close();

  // The first row's value of `column` as a new heap text; null when the query
  // yields no row or fails.
  char* QueryFirstValue(const char* sql, const char* column);
  // Appends `column` of every row, as an integer, to the IdList `*list` (null
  // or holding ids). Returns the number of rows read, or kQueryFailed; after
  // a failure `*list` holds the ids appended before it.
  int QueryIdList(const char* sql, const char* column, char** list);

  // The root package's GUID, read from the marker element's tagged value.
  char* GetRootPackageGuid();
  // The IdList of the package carrying `guid` and of every package below it,
  // level by level; null when no package carries it, the lookup fails before
  // the package's id is read, or a subtree pass fails. A failure of the
  // lookup after the id was read whole (closing its recordset, clearing its
  // values) is reported and the subtree is still expanded from that id.
  char* GetPackageIdList(const char* guid);

 protected:
  platform::ComPtr<platform::ado::Connection> connection;

 private:
  char* ExpandPackageSubtree(char* list);
};

}  // namespace reconsider
