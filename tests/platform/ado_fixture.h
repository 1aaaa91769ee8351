// Helpers for the platform tests: opening ADO connections on repository files,
// running statements through Command and Recordset as the system does, and
// catching the ComError a call raises.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "ado/ado.h"
#include "com/com_error.h"
#include "com/com_ptr.h"
#include "oleaut/bstr.h"
#include "oleaut/variant.h"
#include "support/com_test.h"

namespace platform_testing {

namespace ado = platform::ado;
using platform::BString;
using platform::ComError;
using platform::ComPtr;
using platform::HRESULT;
using platform::Variant;

inline std::string JetConnectionText(const std::string& path) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path;
}

// The code `action` raises as a ComError, or S_OK when it raises none.
template <class Action>
HRESULT ErrorOf(Action&& action) {
  try {
    std::forward<Action>(action)();
  } catch (const ComError& error) {
    return error.Error();
  }
  return platform::S_OK;
}

// Spells a result code for failure messages.
inline std::string Hex(HRESULT code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
  return text;
}

inline ComPtr<ado::Connection> MakeConnection() {
  ComPtr<ado::Connection> connection;
  platform::MakeObject(connection, ado::CLSID_Connection);
  return connection;
}

// Opens a connection with the connection text as it is; raises on failure.
inline ComPtr<ado::Connection> OpenConnectionText(const std::string& connection_text) {
  ComPtr<ado::Connection> connection = MakeConnection();
  const BString text{std::string_view(connection_text)};
  const BString empty("");
  connection->Open(text.Get(), empty.Get(), empty.Get(), ado::adConnectUnspecified);
  return connection;
}

inline ComPtr<ado::Connection> OpenConnection(const std::string& path) {
  return OpenConnectionText(JetConnectionText(path));
}

// A typed value for a statement's "?" placeholder.
struct ParameterValue {
  ado::DataTypeEnum type;
  Variant value;
};

inline ParameterValue TextParameter(const std::string& text) {
  return {ado::adVarChar, Variant(std::string_view(text))};
}
inline ParameterValue IntegerParameter(std::int32_t number) { return {ado::adInteger, Variant(number)}; }

// A statement prepared the way the system prepares one: a Command over the
// connection, its parameters appended in order, and a Recordset whose Source
// is the Command.
class Statement {
 public:
  Statement(const ComPtr<ado::Connection>& connection, const std::string& sql,
            const std::vector<ParameterValue>& parameters = {}) {
    platform::MakeObject(command_, ado::CLSID_Command);
    platform::MakeObject(recordset_, ado::CLSID_Recordset);
    command_->PutRefActiveConnection(connection.Get());
    const BString text{std::string_view(sql)};
    command_->PutCommandText(text.Get());
    if (!parameters.empty()) {
      const ComPtr<ado::Parameters> collection = command_->GetParameters();
      for (const ParameterValue& parameter : parameters) {
        const BString name("");
        const ComPtr<ado::Parameter> made =
            command_->CreateParameter(name.Get(), parameter.type, ado::adParamInput, 0, parameter.value);
        collection->Append(made.Get());
      }
    }
    recordset_->PutRefSource(command_.Get());
  }

  // Runs the statement; raises on failure.
  ado::Recordset* Open() {
    const Variant missing = Variant::Missing();
    recordset_->Open(missing, missing, ado::adOpenForwardOnly, ado::adLockReadOnly, ado::adCmdUnknown);
    return recordset_.Get();
  }

  const ComPtr<ado::Command>& Command() const { return command_; }
  const ComPtr<ado::Recordset>& Recordset() const { return recordset_; }

 private:
  ComPtr<ado::Command> command_;
  ComPtr<ado::Recordset> recordset_;
};

// The value of `column` in the recordset's current row.
inline Variant Collect(ado::Recordset* recordset, const char* column) {
  return recordset->GetCollect(Variant(column));
}

// Every row of `column` as text (VT_NULL as "NULL"), read to EOF.
inline std::vector<std::string> ReadColumn(ado::Recordset* recordset, const char* column) {
  std::vector<std::string> values;
  while (!recordset->GetEOF()) {
    Variant value = Collect(recordset, column);
    if (value.vt == platform::VT_NULL) {
      values.emplace_back("NULL");
    } else {
      value.ChangeType(platform::VT_BSTR);
      values.emplace_back(platform::BstrView(value.bstrVal));
    }
    recordset->MoveNext();
  }
  return values;
}

// Runs `sql` and reads `column` of every row.
inline std::vector<std::string> QueryColumn(const ComPtr<ado::Connection>& connection, const std::string& sql,
                                            const char* column,
                                            const std::vector<ParameterValue>& parameters = {}) {
  Statement statement(connection, sql, parameters);
  return ReadColumn(statement.Open(), column);
}

// Runs a statement that yields no rows.
inline void ExecuteStatement(const ComPtr<ado::Connection>& connection, const std::string& sql,
                             const std::vector<ParameterValue>& parameters = {}) {
  Statement statement(connection, sql, parameters);
  statement.Open();
}

}  // namespace platform_testing
