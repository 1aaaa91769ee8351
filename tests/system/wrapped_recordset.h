// A Recordset class for the tests that wraps the installed one: every call
// goes to a real Recordset, and the test's script may turn the answer of
// Close into a failure, so that the paths after a read that went well can be
// reached on a real file.
#pragma once

#include <memory>

#include "ado/ado.h"
#include "ado/ado_internals.h"
#include "com/com_runtime.h"
#include "com/unknown.h"

namespace system_testing {

struct RecordsetScript {
  // The Close calls, counted over every Recordset made, whose answer is
  // replaced with `close_failure` (1 is the first Close).
  std::vector<int> failing_closes;
  platform::HRESULT close_failure = platform::E_FAIL;
  int closes = 0;
};

class WrappedRecordset final : public platform::ComObject<platform::ado::Recordset> {
 public:
  WrappedRecordset(std::shared_ptr<RecordsetScript> script, platform::ado::Recordset* inner)
      : script_(std::move(script)), inner_(inner) {}

  platform::HRESULT putref_Source(platform::IUnknown* command) override { return inner_->putref_Source(command); }
  platform::HRESULT raw_Open(const platform::VARIANT& source, const platform::VARIANT& active_connection,
                             platform::ado::CursorTypeEnum cursor_type, platform::ado::LockTypeEnum lock_type,
                             std::int32_t options) override {
    return inner_->raw_Open(source, active_connection, cursor_type, lock_type, options);
  }
  platform::HRESULT get_EOF(platform::VARIANT_BOOL* at_end) override { return inner_->get_EOF(at_end); }
  platform::HRESULT get_Collect(const platform::VARIANT& index, platform::VARIANT* value) override {
    return inner_->get_Collect(index, value);
  }
  platform::HRESULT raw_MoveNext() override { return inner_->raw_MoveNext(); }
  platform::HRESULT raw_Close() override {
    const platform::HRESULT result = inner_->raw_Close();
    const int number = ++script_->closes;
    for (const int failing : script_->failing_closes) {
      if (failing == number) return script_->close_failure;
    }
    return result;
  }

 private:
  ~WrappedRecordset() override { inner_->Release(); }

  std::shared_ptr<RecordsetScript> script_;
  platform::ado::Recordset* inner_;  // one counted reference
};

// Puts the wrapper in place of the installed Recordset class while it lives.
class WrappedRecordsetClass {
 public:
  WrappedRecordsetClass()
      : script_(std::make_shared<RecordsetScript>()),
        registration_(platform::ado::CLSID_Recordset, [script = script_](const platform::IID& iid, void** object) {
          void* inner = nullptr;
          const platform::HRESULT made =
              platform::ado::CreateRecordsetObject(platform::ado::Recordset::kIid, &inner);
          if (platform::Failed(made)) return made;
          auto* real = static_cast<platform::ado::Recordset*>(inner);
          return platform::CreateObject<WrappedRecordset>([&] { return new WrappedRecordset(script, real); },
                                                          iid, object);
        }) {}

  RecordsetScript& Script() { return *script_; }

 private:
  std::shared_ptr<RecordsetScript> script_;
  platform::ClassRegistration registration_;
};

}  // namespace system_testing
