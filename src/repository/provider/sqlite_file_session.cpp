#include "provider/sqlite_file_session.h"

#include "com/error_info.h"
#include "provider/property_names.h"

namespace platform::provider {

HRESULT SqliteFileSession::Open(const std::string& path, std::unique_ptr<Session>* session) {
  std::unique_ptr<SqliteDatabase> database;
  const HRESULT opened = SqliteDatabase::OpenFile(path, &database);
  if (Failed(opened)) return opened;
  std::unique_ptr<SqliteFileSession> created(new SqliteFileSession(std::move(database)));
  const HRESULT configured = created->database_->SetDurability(CommitDurability::kNormal);
  if (Failed(configured)) return configured;
  *session = std::move(created);
  return S_OK;
}

const std::vector<std::string>& SqliteFileSession::PropertyNames() const {
  return CommitModePropertyNames();
}

HRESULT SqliteFileSession::GetProperty(std::string_view name, VARIANT* value) {
  return GetCommitModeProperty(name, commit_mode_, value);
}

HRESULT SqliteFileSession::SetProperty(std::string_view name, const VARIANT& value) {
  std::int32_t mode = kCommitModeDefault;
  const HRESULT read = ReadCommitModeProperty(name, value, &mode);
  if (Failed(read)) return read;
  const HRESULT set = database_->SetDurability(
      mode == kCommitModeDurable ? CommitDurability::kDurable : CommitDurability::kNormal);
  if (Failed(set)) return set;
  commit_mode_ = mode;
  return S_OK;
}

HRESULT SqliteFileSession::Execute(std::string_view statement,
                                   const std::vector<Variant>& parameters,
                                   std::unique_ptr<Rowset>* rows) {
  return database_->Execute(statement, parameters, rows);
}

HRESULT SqliteFileSession::BeginTransaction() { return database_->Begin(); }

HRESULT SqliteFileSession::CommitTransaction() { return database_->Commit(); }

HRESULT SqliteFileSession::AbortTransaction() { return database_->Rollback(); }

bool SqliteFileSession::InTransaction() const { return database_->InTransaction(); }

}  // namespace platform::provider
