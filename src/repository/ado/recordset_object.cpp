// The Recordset object: the rows of one statement, read forward.
//
// Open takes its statement and connection from the Command set as Source
// (both Source and ActiveConnection arguments missing). A statement that
// yields rows leaves the recordset open on its first row, or at EOF; one that
// yields none (an update) leaves it closed, as the platform does. The
// recordset keeps the provider session alive while it is open.
#include <memory>

#include "ado/ado.h"
#include "ado/ado_internals.h"
#include "com/ascii.h"
#include "com/error_info.h"

namespace platform::ado {
namespace {

bool IsMissing(const VARIANT& argument) {
  return argument.vt == VT_ERROR && argument.scode == DISP_E_PARAMNOTFOUND;
}

bool IsKnownCursorType(CursorTypeEnum type) {
  return type >= adOpenUnspecified && type <= adOpenStatic;
}

bool IsKnownLockType(LockTypeEnum type) {
  return type == adLockUnspecified || (type >= adLockReadOnly && type <= adLockBatchOptimistic);
}

bool IsKnownOptions(std::int32_t options) {
  return options == adCmdUnspecified || options == adCmdText || options == adCmdUnknown;
}

class RecordsetObject final : public ComObject<Recordset, ReportsErrorsFor<Recordset>> {
 public:
  HRESULT putref_Source(IUnknown* command) override {
    if (rows_) return ReportError(adErrObjectOpen, "the recordset is open");
    if (command == nullptr) {
      source_.Reset();
      return S_OK;
    }
    ComPtr<CommandInternals> internals;
    if (Failed(ComPtr<IUnknown>(command).QueryInterface(&internals))) {
      return ReportError(adErrInvalidArgument, "the source is no usable Command");
    }
    source_ = std::move(internals);
    return S_OK;
  }

  HRESULT raw_Open(const VARIANT& source, const VARIANT& active_connection,
                   CursorTypeEnum cursor_type, LockTypeEnum lock_type,
                   std::int32_t options) override {
    if (rows_) return ReportError(adErrObjectOpen, "the recordset is already open");
    if (!IsMissing(source) || !IsMissing(active_connection)) {
      return ReportError(adErrInvalidArgument,
                         "this recordset takes its statement and connection from its Source");
    }
    if (!IsKnownCursorType(cursor_type) || !IsKnownLockType(lock_type) || !IsKnownOptions(options)) {
      return ReportError(adErrInvalidArgument, "unknown cursor type, lock type or option");
    }
    if (!source_) return ReportError(adErrInvalidConnection, "the recordset has no Source command");
    std::shared_ptr<provider::Session> session;
    std::unique_ptr<provider::Rowset> rows;
    const HRESULT result = source_.Get()->Run(&session, &rows);
    if (Failed(result)) return result;
    if (rows) {
      session_ = std::move(session);
      rows_ = std::move(rows);
    }
    return S_OK;
  }

  HRESULT get_EOF(VARIANT_BOOL* at_end) override {
    if (at_end == nullptr) return E_POINTER;
    if (!rows_) return ReportError(adErrObjectClosed, "the recordset is closed");
    *at_end = rows_->OnRow() ? VARIANT_FALSE : VARIANT_TRUE;
    return S_OK;
  }

  HRESULT get_Collect(const VARIANT& index, VARIANT* value) override {
    if (value == nullptr) return E_POINTER;
    if (!rows_) return ReportError(adErrObjectClosed, "the recordset is closed");
    if (!rows_->OnRow()) return ReportError(adErrNoCurrentRecord, "the recordset is at EOF");
    int column = -1;
    const HRESULT found = FindColumn(index, &column);
    if (Failed(found)) return found;
    const HRESULT cleared = VariantClear(value);
    if (Failed(cleared)) return cleared;
    return rows_->GetValue(column, value);
  }

  HRESULT raw_MoveNext() override {
    if (!rows_) return ReportError(adErrObjectClosed, "the recordset is closed");
    if (!rows_->OnRow()) return ReportError(adErrNoCurrentRecord, "the recordset is at EOF");
    return rows_->MoveNext();
  }

  HRESULT raw_Close() override {
    if (!rows_) return ReportError(adErrObjectClosed, "the recordset is already closed");
    rows_.reset();
    session_.reset();
    return S_OK;
  }

 private:
  ~RecordsetObject() override {
    // The rows go before the session they were read from.
    rows_.reset();
  }

  HRESULT FindColumn(const VARIANT& index, int* column) const {
    const int count = rows_->ColumnCount();
    if (index.vt == VT_BSTR) {
      const std::string_view name = BstrView(index.bstrVal);
      for (int i = 0; i < count; ++i) {
        if (EqualsIgnoringCase(rows_->ColumnName(i), name)) {
          *column = i;
          return S_OK;
        }
      }
      return ReportError(adErrItemNotFound,
                         "the result has no column named " + std::string(name));
    }
    VARIANT position;
    VariantInit(&position);
    if (Failed(VariantChangeType(&position, &index, 0, VT_I4))) {
      return ReportError(adErrInvalidArgument, "a column index is a name or a position");
    }
    if (position.lVal < 0 || position.lVal >= count) {
      return ReportError(adErrItemNotFound, "no column at that position");
    }
    *column = position.lVal;
    return S_OK;
  }

  ComPtr<CommandInternals> source_;
  std::shared_ptr<provider::Session> session_;
  std::unique_ptr<provider::Rowset> rows_;
};

}  // namespace

HRESULT CreateRecordsetObject(const IID& iid, void** object) {
  return CreateObject<RecordsetObject>([] { return new RecordsetObject; }, iid, object);
}

}  // namespace platform::ado
