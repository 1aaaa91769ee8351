#include "statement.h"

#include "oleaut/bstr.h"

namespace reconsider {

void PrepareStatement(const platform::ComPtr<platform::ado::Connection>& connection, const char* sql,
                      platform::ComPtr<platform::ado::Command>& command,
                      platform::ComPtr<platform::ado::Recordset>& recordset) {
  platform::MakeObject(command, platform::ado::CLSID_Command);
  platform::MakeObject(recordset, platform::ado::CLSID_Recordset);
  command->PutRefActiveConnection(connection.Get());
  const platform::BString text(sql);
  command->PutCommandText(text.Get());
  recordset->PutRefSource(command.Get());
}

}  // namespace reconsider
