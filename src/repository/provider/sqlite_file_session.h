// A session on a SQLite repository file.
//
// Statements run on the file itself. The commit-mode property maps onto the
// engine's synchronous setting: the durable mode makes COMMIT return only
// once the data and the removal of the rollback journal are on disk.
#pragma once

#include <memory>
#include <string>

#include "provider/provider.h"
#include "provider/sqlite_database.h"

namespace platform::provider {

class SqliteFileSession final : public Session {
 public:
  static HRESULT Open(const std::string& path, std::unique_ptr<Session>* session);

  const std::vector<std::string>& PropertyNames() const override;
  HRESULT GetProperty(std::string_view name, VARIANT* value) override;
  HRESULT SetProperty(std::string_view name, const VARIANT& value) override;
  HRESULT Execute(std::string_view statement, const std::vector<Variant>& parameters,
                  std::unique_ptr<Rowset>* rows) override;
  HRESULT BeginTransaction() override;
  HRESULT CommitTransaction() override;
  HRESULT AbortTransaction() override;
  bool InTransaction() const override;

 private:
  explicit SqliteFileSession(std::unique_ptr<SqliteDatabase> database)
      : database_(std::move(database)) {}

  std::unique_ptr<SqliteDatabase> database_;
  std::int32_t commit_mode_ = kCommitModeDefault;
};

}  // namespace platform::provider
