// The Command object: a statement text, its parameters and the connection it
// runs over. Parameters are handed to the provider as values, in the order
// they were appended; they never become part of the statement's text.
#include <string>
#include <vector>

#include "ado/ado.h"
#include "ado/ado_internals.h"
#include "com/error_info.h"

namespace platform::ado {
namespace {

// The VARIANT type a parameter's value is converted to before it is bound.
bool VariantTypeFor(DataTypeEnum type, VARTYPE* variant_type) {
  switch (type) {
    case adInteger:
      *variant_type = VT_I4;
      return true;
    case adBigInt:
      *variant_type = VT_I8;
      return true;
    case adDouble:
      *variant_type = VT_R8;
      return true;
    case adDate:
      *variant_type = VT_DATE;
      return true;
    case adBoolean:
      *variant_type = VT_BOOL;
      return true;
    case adBSTR:
    case adVarChar:
    case adLongVarChar:
    case adVarWChar:
    case adLongVarWChar:
      *variant_type = VT_BSTR;
      return true;
  }
  return false;
}

class ParameterObject final : public ComObject<Parameter, ReportsErrorsFor<Parameter>> {
 public:
  ParameterObject(std::string name, DataTypeEnum type, ParameterDirectionEnum direction,
                  std::int32_t size)
      : name_(std::move(name)), type_(type), direction_(direction), size_(size) {}

  HRESULT SetValue(const VARIANT& value) { return VariantCopy(&value_, &value); }

  HRESULT get_Name(BSTR* name) override {
    if (name == nullptr) return E_POINTER;
    *name = SysAllocStringLen(name_.data(), static_cast<std::uint32_t>(name_.size()));
    return *name == nullptr ? E_OUTOFMEMORY : S_OK;
  }
  HRESULT get_Type(DataTypeEnum* type) override {
    if (type == nullptr) return E_POINTER;
    *type = type_;
    return S_OK;
  }
  HRESULT get_Direction(ParameterDirectionEnum* direction) override {
    if (direction == nullptr) return E_POINTER;
    *direction = direction_;
    return S_OK;
  }
  HRESULT get_Size(std::int32_t* size) override {
    if (size == nullptr) return E_POINTER;
    *size = size_;
    return S_OK;
  }
  HRESULT get_Value(VARIANT* value) override {
    if (value == nullptr) return E_POINTER;
    return VariantCopy(value, &value_);
  }

 private:
  std::string name_;
  DataTypeEnum type_;
  ParameterDirectionEnum direction_;
  std::int32_t size_;
  Variant value_;
};

class ParametersObject final : public ComObject<Parameters, ReportsErrorsFor<Parameters>> {
 public:
  HRESULT raw_Append(IUnknown* object) override {
    if (object == nullptr) return ReportError(E_POINTER, "no parameter to append");
    ComPtr<Parameter> parameter;
    if (Failed(ComPtr<IUnknown>(object).QueryInterface(&parameter))) {
      return ReportError(adErrInvalidArgument, "only a Parameter can be appended");
    }
    try {
      parameters_.push_back(std::move(parameter));
    } catch (const std::bad_alloc&) {
      return ReportError(E_OUTOFMEMORY, "appending a parameter");
    }
    return S_OK;
  }

  // The values to bind, each converted to the type it was declared with.
  HRESULT Values(std::vector<Variant>* values) const {
    try {
      values->clear();
      values->reserve(parameters_.size());
      for (const ComPtr<Parameter>& parameter : parameters_) {
        DataTypeEnum type = adVarChar;
        Variant value;
        HRESULT result = parameter.Get()->get_Type(&type);
        if (Succeeded(result)) result = parameter.Get()->get_Value(&value);
        if (Failed(result)) return ReportError(result, "reading a parameter");
        VARTYPE variant_type = VT_EMPTY;
        if (!VariantTypeFor(type, &variant_type)) {
          return ReportError(adErrInvalidArgument, "a parameter has a data type the provider lacks");
        }
        if (value.vt != VT_NULL && value.vt != VT_EMPTY) {
          result = VariantChangeType(&value, &value, 0, variant_type);
          if (Failed(result)) return ReportError(result, "converting a parameter value");
        }
        values->push_back(std::move(value));
      }
    } catch (const std::bad_alloc&) {
      return ReportError(E_OUTOFMEMORY, "collecting parameter values");
    }
    return S_OK;
  }

 private:
  ~ParametersObject() override = default;

  std::vector<ComPtr<Parameter>> parameters_;
};

class CommandObject final
    : public ComObject<Command, CommandInternals, ReportsErrorsFor<Command>> {
 public:
  HRESULT putref_ActiveConnection(IUnknown* connection) override {
    if (connection == nullptr) {
      connection_.Reset();
      return S_OK;
    }
    ComPtr<ConnectionInternals> internals;
    if (Failed(ComPtr<IUnknown>(connection).QueryInterface(&internals))) {
      return ReportError(adErrInvalidConnection, "the object given is no usable Connection");
    }
    connection_ = std::move(internals);
    return S_OK;
  }

  HRESULT put_CommandText(BSTR text) override {
    try {
      text_.assign(BstrView(text));
    } catch (const std::bad_alloc&) {
      return ReportError(E_OUTOFMEMORY, "storing the command text");
    }
    return S_OK;
  }

  HRESULT raw_CreateParameter(BSTR name, DataTypeEnum type, ParameterDirectionEnum direction,
                              std::int32_t size, const VARIANT& value,
                              Parameter** parameter) override {
    if (parameter == nullptr) return E_POINTER;
    *parameter = nullptr;
    VARTYPE variant_type = VT_EMPTY;
    if (!VariantTypeFor(type, &variant_type) || direction != adParamInput || size < 0) {
      return ReportError(adErrInvalidArgument, "an input parameter of a known type is needed");
    }
    ParameterObject* created = nullptr;
    try {
      created = new ParameterObject(std::string(BstrView(name)), type, direction, size);
    } catch (const std::bad_alloc&) {
      return ReportError(E_OUTOFMEMORY, "making a parameter");
    }
    const HRESULT copied = created->SetValue(value);
    if (Failed(copied)) {
      created->Release();
      return ReportError(copied, "copying the parameter value");
    }
    *parameter = created;
    return S_OK;
  }

  HRESULT get_Parameters(Parameters** parameters) override {
    if (parameters == nullptr) return E_POINTER;
    if (!parameters_) {
      try {
        parameters_ = ComPtr<ParametersObject>::Adopt(new ParametersObject);
      } catch (const std::bad_alloc&) {
        return ReportError(E_OUTOFMEMORY, "making the parameter collection");
      }
    }
    parameters_.Get()->AddRef();
    *parameters = parameters_.Get();
    return S_OK;
  }

  HRESULT Run(std::shared_ptr<provider::Session>* session,
              std::unique_ptr<provider::Rowset>* rows) override {
    if (!connection_) return ReportError(adErrInvalidConnection, "the command has no connection");
    std::shared_ptr<provider::Session> active = connection_.Get()->ActiveSession();
    if (!active) return ReportError(adErrInvalidConnection, "the command's connection is closed");
    if (text_.empty()) return ReportError(DB_E_NOCOMMAND, "the command has no text");
    std::vector<Variant> values;
    if (parameters_) {
      const HRESULT collected = parameters_.Get()->Values(&values);
      if (Failed(collected)) return collected;
    }
    const HRESULT result = active->Execute(text_, values, rows);
    if (Failed(result)) return result;
    *session = std::move(active);
    return S_OK;
  }

 private:
  ComPtr<ConnectionInternals> connection_;
  std::string text_;
  ComPtr<ParametersObject> parameters_;
};

}  // namespace

HRESULT CreateCommandObject(const IID& iid, void** object) {
  return CreateObject<CommandObject>([] { return new CommandObject; }, iid, object);
}

}  // namespace platform::ado
