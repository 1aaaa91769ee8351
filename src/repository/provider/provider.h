// The data provider: what stands behind an open ADO Connection.
//
// OpenSession reads the connection text, picks the provider it names and
// opens the data source that follows "Data Source=". A Session runs
// statements and transactions over that one data source; a Rowset is the
// forward-only stream of rows one statement yields, in the engine's order.
//
// Every failure answers with a result code and records a description
// (SetErrorInfo) for the ADO object that passes it on.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "com/hresult.h"
#include "oleaut/variant.h"

namespace platform::provider {

// The one provider the system names.
inline constexpr std::string_view kJetProviderName = "Microsoft.Jet.OLEDB.4.0";
// Its one property: 1 makes every commit durable before it returns.
inline constexpr std::string_view kCommitModeProperty = "Jet OLEDB:Transaction Commit Mode";
inline constexpr std::int32_t kCommitModeDurable = 1;
inline constexpr std::int32_t kCommitModeDefault = 0;

class Rowset {
 public:
  virtual ~Rowset() = default;

  // True while the rowset stands on a row. A new rowset stands on its first
  // row, or at the end when the statement yielded none.
  virtual bool OnRow() const = 0;
  // Moves to the next row, or to the end.
  virtual HRESULT MoveNext() = 0;
  virtual int ColumnCount() const = 0;
  virtual std::string_view ColumnName(int column) const = 0;
  // Copies the current row's value of `column` into `value` (cleared first
  // by the caller) as the VARIANT type the column's type maps to.
  virtual HRESULT GetValue(int column, VARIANT* value) = 0;
};

class Session {
 public:
  virtual ~Session() = default;

  virtual const std::vector<std::string>& PropertyNames() const = 0;
  virtual HRESULT GetProperty(std::string_view name, VARIANT* value) = 0;
  virtual HRESULT SetProperty(std::string_view name, const VARIANT& value) = 0;

  // Runs one statement with its positional parameters (already converted to
  // the types they were declared with). `rows` receives the rowset of a
  // statement that yields rows and stays empty for one that does not.
  virtual HRESULT Execute(std::string_view statement, const std::vector<Variant>& parameters,
                          std::unique_ptr<Rowset>* rows) = 0;

  virtual HRESULT BeginTransaction() = 0;
  virtual HRESULT CommitTransaction() = 0;
  virtual HRESULT AbortTransaction() = 0;
  virtual bool InTransaction() const = 0;
};

HRESULT OpenSession(std::string_view connection_text, std::unique_ptr<Session>* session);

}  // namespace platform::provider
