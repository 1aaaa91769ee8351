// A Connection's Properties collection and its Property items: the dynamic
// properties of the provider session behind the connection. The collection
// holds a reference to its connection and reads the session afresh at every
// call, so it follows the connection through Open and Close; a closed
// connection has no provider properties.
#include <string>

#include "ado/ado.h"
#include "ado/ado_internals.h"
#include "com/ascii.h"
#include "com/error_info.h"

namespace platform::ado {
namespace {

std::shared_ptr<provider::Session> SessionOf(const ComPtr<ConnectionInternals>& connection) {
  return connection ? connection.Get()->ActiveSession() : nullptr;
}

class PropertyObject final : public ComObject<Property, ReportsErrorsFor<Property>> {
 public:
  PropertyObject(ComPtr<ConnectionInternals> connection, std::string name)
      : connection_(std::move(connection)), name_(std::move(name)) {}

  HRESULT get_Value(VARIANT* value) override {
    if (value == nullptr) return E_POINTER;
    const std::shared_ptr<provider::Session> session = SessionOf(connection_);
    if (!session) return ReportError(adErrObjectClosed, "the connection is closed");
    return session->GetProperty(name_, value);
  }

  HRESULT put_Value(const VARIANT& value) override {
    const std::shared_ptr<provider::Session> session = SessionOf(connection_);
    if (!session) return ReportError(adErrObjectClosed, "the connection is closed");
    return session->SetProperty(name_, value);
  }

 private:
  ComPtr<ConnectionInternals> connection_;
  std::string name_;
};

class PropertiesObject final : public ComObject<Properties, ReportsErrorsFor<Properties>> {
 public:
  explicit PropertiesObject(ComPtr<ConnectionInternals> connection)
      : connection_(std::move(connection)) {}

  HRESULT get_Item(const VARIANT& index, Property** item) override {
    if (item == nullptr) return E_POINTER;
    *item = nullptr;
    const std::shared_ptr<provider::Session> session = SessionOf(connection_);
    if (!session) return ReportError(adErrItemNotFound, "a closed connection has no properties");
    const std::vector<std::string>& names = session->PropertyNames();
    const std::string* found = nullptr;
    if (index.vt == VT_BSTR) {
      for (const std::string& name : names) {
        if (EqualsIgnoringCase(name, BstrView(index.bstrVal))) found = &name;
      }
    } else {
      VARIANT position;
      VariantInit(&position);
      if (Failed(VariantChangeType(&position, &index, 0, VT_I4))) {
        return ReportError(adErrInvalidArgument, "a property index is a name or a position");
      }
      if (position.lVal >= 0 && static_cast<std::size_t>(position.lVal) < names.size()) {
        found = &names[static_cast<std::size_t>(position.lVal)];
      }
    }
    if (found == nullptr) return ReportError(adErrItemNotFound, "no such property");
    return CreateObject<PropertyObject>([&] { return new PropertyObject(connection_, *found); },
                                        Property::kIid, reinterpret_cast<void**>(item));
  }

 private:
  ComPtr<ConnectionInternals> connection_;
};

}  // namespace

HRESULT CreatePropertiesObject(IUnknown* connection, Properties** properties) {
  ComPtr<ConnectionInternals> internals;
  const HRESULT result = ComPtr<IUnknown>(connection).QueryInterface(&internals);
  if (Failed(result)) return result;
  return CreateObject<PropertiesObject>([&] { return new PropertiesObject(internals); },
                                        Properties::kIid, reinterpret_cast<void**>(properties));
}

}  // namespace platform::ado
