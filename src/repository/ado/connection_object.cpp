// The Connection object: one provider session, opened and closed.
//
// States: closed (no session) and open. A transaction is begun, committed or
// rolled back on the open session. Closing, or releasing the last reference,
// while a transaction is in progress rolls it back: nothing is committed that
// the caller did not commit.
#include <memory>
#include <string>

#include "ado/ado.h"
#include "ado/ado_internals.h"
#include "com/com_runtime.h"
#include "com/error_info.h"

namespace platform::ado {
namespace {

constexpr std::int32_t kOutermostLevel = 1;

class ConnectionObject final
    : public ComObject<Connection, ConnectionInternals, ReportsErrorsFor<Connection>> {
 public:
  ConnectionObject() = default;

  HRESULT get_Properties(Properties** properties) override {
    if (properties == nullptr) return E_POINTER;
    return CreatePropertiesObject(static_cast<Connection*>(this), properties);
  }

  HRESULT raw_Open(BSTR connection_string, BSTR /*user_id*/, BSTR /*password*/,
                   std::int32_t options) override {
    if (session_) return ReportError(adErrObjectOpen, "the connection is already open");
    if (options != adConnectUnspecified) {
      return ReportError(adErrInvalidArgument, "unknown connect option");
    }
    std::unique_ptr<provider::Session> opened;
    const HRESULT result = provider::OpenSession(BstrView(connection_string), &opened);
    if (Failed(result)) return result;
    session_ = std::move(opened);
    return S_OK;
  }

  HRESULT raw_BeginTrans(std::int32_t* level) override {
    if (!session_) return ReportError(adErrObjectClosed, "the connection is closed");
    if (session_->InTransaction()) {
      return ReportError(XACT_E_XTIONEXISTS, "a transaction is already in progress");
    }
    const HRESULT result = session_->BeginTransaction();
    if (Failed(result)) return result;
    if (level != nullptr) *level = kOutermostLevel;
    return S_OK;
  }

  HRESULT raw_CommitTrans() override {
    if (!session_) return ReportError(adErrObjectClosed, "the connection is closed");
    if (!session_->InTransaction()) return ReportError(XACT_E_NOTRANSACTION, "nothing to commit");
    return session_->CommitTransaction();
  }

  HRESULT raw_RollbackTrans() override {
    if (!session_) return ReportError(adErrObjectClosed, "the connection is closed");
    if (!session_->InTransaction()) return ReportError(XACT_E_NOTRANSACTION, "nothing to roll back");
    return session_->AbortTransaction();
  }

  HRESULT raw_Close() override {
    if (!session_) return ReportError(adErrObjectClosed, "the connection is already closed");
    const std::shared_ptr<provider::Session> session = std::move(session_);
    if (session->InTransaction()) return session->AbortTransaction();
    return S_OK;
  }

  std::shared_ptr<provider::Session> ActiveSession() override { return session_; }

 private:
  ~ConnectionObject() override {
    if (session_ && session_->InTransaction()) session_->AbortTransaction();
  }

  std::shared_ptr<provider::Session> session_;
};

}  // namespace

HRESULT CreateConnectionObject(const IID& iid, void** object) {
  return CreateObject<ConnectionObject>([] { return new ConnectionObject; }, iid, object);
}

}  // namespace platform::ado
