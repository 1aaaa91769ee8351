// The query primitives: QueryFirstValue and QueryIdList.
//
// Both prepare the same way: a Command over the object's connection with the
// caller's SQL text as it is, a Recordset taking its statement and connection
// from that Command, opened forward-only and read-only. Each call makes and
// releases its own two objects; on a COM error they are released Recordset
// first, without Recordset.Close.
#include <cstdio>

#include "error_lines.h"
#include "id_list.h"
#include "oleaut/variant.h"
#include "repository_database.h"
#include "statement.h"

namespace reconsider {
namespace {

using platform::ComError;
using platform::ComPtr;
using platform::Variant;
namespace ado = platform::ado;

void PrepareReadQuery(const ComPtr<ado::Connection>& connection, const char* sql,
                      ComPtr<ado::Command>& command, ComPtr<ado::Recordset>& recordset) {
  PrepareStatement(connection, sql, command, recordset);
  const Variant missing = Variant::Missing();
  recordset->Open(missing, missing, ado::adOpenForwardOnly, ado::adLockReadOnly,
                  ado::adCmdUnknown);
}

}  // namespace

char* RepositoryDatabase::QueryFirstValue(const char* sql, const char* column) {
  ComPtr<ado::Command> command;
  ComPtr<ado::Recordset> recordset;
  HeapText result;
  try {
    PrepareReadQuery(connection, sql, command, recordset);
    if (!recordset->GetEOF()) {
      const Variant column_name(column);
      Variant value = recordset->GetCollect(column_name);
      value.ChangeType(platform::VT_BSTR);
      result.reset(platform::ConvertBSTRToString(value.bstrVal));
      value.Clear();
    }
    recordset->Close();
    return result.release();
  } catch (const ComError& error) {
    PrintErrorLine(error);
    return nullptr;
  }
}

int RepositoryDatabase::QueryIdList(const char* sql, const char* column, char** list) {
  ComPtr<ado::Command> command;
  ComPtr<ado::Recordset> recordset;
  try {
    PrepareReadQuery(connection, sql, command, recordset);
    int count = 0;
    IdListAppender appender(list);
    const Variant column_name(column);
    while (!recordset->GetEOF()) {
      ++count;
      Variant value = recordset->GetCollect(column_name);
      value.ChangeType(platform::VT_I4);
      appender.Append(value.lVal);
      recordset->MoveNext();
      value.Clear();
    }
    recordset->Close();
    return count;
  } catch (const ComError& error) {
    PrintErrorLine(error);
    return kQueryFailed;
  }
}

}  // namespace reconsider
