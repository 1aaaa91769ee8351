// What the installed ADO objects know of each other, beyond their public
// interfaces: a Command reaches its Connection's provider session, and a
// Recordset has its Command run the statement. Objects of other classes (the
// fakes of tests) lack these interfaces and are refused where one is needed.
#pragma once

#include <memory>

#include "ado/ado.h"
#include "com/error_info.h"
#include "provider/provider.h"

namespace platform::ado {

class ConnectionInternals : public IUnknown {
 public:
  static constexpr IID kIid = {0x6A1D4C01, 0x3B7E, 0x4F10, {0x9C, 0x21, 0x5E, 0x0B, 0x7A, 0x44, 0xD2, 0x01}};
  // The open session, or null while the connection is closed.
  virtual std::shared_ptr<provider::Session> ActiveSession() = 0;
};

class CommandInternals : public IUnknown {
 public:
  static constexpr IID kIid = {0x6A1D4C02, 0x3B7E, 0x4F10, {0x9C, 0x21, 0x5E, 0x0B, 0x7A, 0x44, 0xD2, 0x02}};
  // Runs the command text with the appended parameters over the active
  // connection. `session` receives that connection's session, which the
  // rowset needs alive; `rows` stays empty for a statement without rows.
  virtual HRESULT Run(std::shared_ptr<provider::Session>* session,
                      std::unique_ptr<provider::Rowset>* rows) = 0;
};

HRESULT CreateConnectionObject(const IID& iid, void** object);
HRESULT CreateCommandObject(const IID& iid, void** object);
HRESULT CreateRecordsetObject(const IID& iid, void** object);
HRESULT CreatePropertiesObject(IUnknown* connection, Properties** properties);

// ISupportErrorInfo for an object whose one interface reports errors.
template <class Interface>
class ReportsErrorsFor : public ISupportErrorInfo {
 public:
  HRESULT InterfaceSupportsErrorInfo(const IID& iid) override {
    return iid == Interface::kIid ? S_OK : S_FALSE;
  }
};

}  // namespace platform::ado
