// ADO: the data-access objects the repository is reached through.
//
// Each interface has raw methods that answer with a result code, and, beside
// them, the calling form the system uses: a method of the same name without
// the raw_ prefix that raises a ComError (with the object's error
// description attached) when the raw method fails, and hands back results as
// return values. Objects are made by their class identifier through the class
// registry (ComPtr::CreateInstance); Connection, Command and Recordset are
// the installed classes.
#pragma once

#include <cstdint>

#include "com/com_error.h"
#include "com/com_ptr.h"
#include "com/unknown.h"
#include "oleaut/bstr.h"
#include "oleaut/variant.h"

namespace platform::ado {

enum CursorTypeEnum : std::int32_t {
  adOpenUnspecified = -1,
  adOpenForwardOnly = 0,
  adOpenKeyset = 1,
  adOpenDynamic = 2,
  adOpenStatic = 3,
};

enum LockTypeEnum : std::int32_t {
  adLockUnspecified = -1,
  adLockReadOnly = 1,
  adLockPessimistic = 2,
  adLockOptimistic = 3,
  adLockBatchOptimistic = 4,
};

enum CommandTypeEnum : std::int32_t {
  adCmdUnspecified = -1,
  adCmdText = 1,
  adCmdUnknown = 8,
};

enum ConnectOptionEnum : std::int32_t {
  adConnectUnspecified = -1,
};

enum DataTypeEnum : std::int32_t {
  adInteger = 3,
  adDouble = 5,
  adDate = 7,
  adBSTR = 8,
  adBoolean = 11,
  adBigInt = 20,
  adVarChar = 200,
  adLongVarChar = 201,
  adVarWChar = 202,
  adLongVarWChar = 203,
};

enum ParameterDirectionEnum : std::int32_t {
  adParamInput = 1,
};

// The installed classes and their interfaces.
inline constexpr GUID kAdoGuidTail = {0, 0, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
constexpr GUID AdoGuid(std::uint32_t data1) {
  return {data1, kAdoGuidTail.data2, kAdoGuidTail.data3,
          {kAdoGuidTail.data4[0], kAdoGuidTail.data4[1], kAdoGuidTail.data4[2],
           kAdoGuidTail.data4[3], kAdoGuidTail.data4[4], kAdoGuidTail.data4[5],
           kAdoGuidTail.data4[6], kAdoGuidTail.data4[7]}};
}
inline constexpr CLSID CLSID_Connection = AdoGuid(0x00000514);
inline constexpr CLSID CLSID_Command = AdoGuid(0x00000507);
inline constexpr CLSID CLSID_Recordset = AdoGuid(0x00000535);

class Property : public IUnknown {
 public:
  static constexpr IID kIid = AdoGuid(0x00000503);
  virtual HRESULT get_Value(VARIANT* value) = 0;
  virtual HRESULT put_Value(const VARIANT& value) = 0;

  void PutValue(const VARIANT& value) { Check(put_Value(value)); }
  Variant GetValue() {
    Variant value;
    Check(get_Value(&value));
    return value;
  }

 private:
  void Check(HRESULT result) {
    if (Failed(result)) IssueErrorEx(result, this, kIid);
  }
};

class Properties : public IUnknown {
 public:
  static constexpr IID kIid = AdoGuid(0x00000504);
  // `index` is a property name (VT_BSTR) or a position.
  virtual HRESULT get_Item(const VARIANT& index, Property** item) = 0;

  ComPtr<Property> GetItem(const VARIANT& index) {
    ComPtr<Property> item;
    const HRESULT result = get_Item(index, item.ReleaseAndGetAddressOf());
    if (Failed(result)) IssueErrorEx(result, this, kIid);
    return item;
  }
};

class Connection : public IUnknown {
 public:
  static constexpr IID kIid = AdoGuid(0x00000550);
  virtual HRESULT get_Properties(Properties** properties) = 0;
  virtual HRESULT raw_Open(BSTR connection_string, BSTR user_id, BSTR password,
                           std::int32_t options) = 0;
  virtual HRESULT raw_BeginTrans(std::int32_t* level) = 0;
  virtual HRESULT raw_CommitTrans() = 0;
  virtual HRESULT raw_RollbackTrans() = 0;
  virtual HRESULT raw_Close() = 0;

  ComPtr<Properties> GetProperties() {
    ComPtr<Properties> properties;
    Check(get_Properties(properties.ReleaseAndGetAddressOf()));
    return properties;
  }
  void Open(BSTR connection_string, BSTR user_id, BSTR password, std::int32_t options) {
    Check(raw_Open(connection_string, user_id, password, options));
  }
  std::int32_t BeginTrans() {
    std::int32_t level = 0;
    Check(raw_BeginTrans(&level));
    return level;
  }
  void CommitTrans() { Check(raw_CommitTrans()); }
  void RollbackTrans() { Check(raw_RollbackTrans()); }
  void Close() { Check(raw_Close()); }

 private:
  void Check(HRESULT result) {
    if (Failed(result)) IssueErrorEx(result, this, kIid);
  }
};

class Parameter : public IUnknown {
 public:
  static constexpr IID kIid = AdoGuid(0x0000050C);
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT get_Type(DataTypeEnum* type) = 0;
  virtual HRESULT get_Direction(ParameterDirectionEnum* direction) = 0;
  virtual HRESULT get_Size(std::int32_t* size) = 0;
  virtual HRESULT get_Value(VARIANT* value) = 0;
};

class Parameters : public IUnknown {
 public:
  static constexpr IID kIid = AdoGuid(0x0000050D);
  // `object` must be a Parameter.
  virtual HRESULT raw_Append(IUnknown* object) = 0;

  void Append(IUnknown* object) {
    const HRESULT result = raw_Append(object);
    if (Failed(result)) IssueErrorEx(result, this, kIid);
  }
};

class Command : public IUnknown {
 public:
  static constexpr IID kIid = AdoGuid(0x0000054E);
  // `connection` must be a Connection.
  virtual HRESULT putref_ActiveConnection(IUnknown* connection) = 0;
  virtual HRESULT put_CommandText(BSTR text) = 0;
  virtual HRESULT raw_CreateParameter(BSTR name, DataTypeEnum type,
                                      ParameterDirectionEnum direction, std::int32_t size,
                                      const VARIANT& value, Parameter** parameter) = 0;
  virtual HRESULT get_Parameters(Parameters** parameters) = 0;

  void PutRefActiveConnection(IUnknown* connection) { Check(putref_ActiveConnection(connection)); }
  void PutCommandText(BSTR text) { Check(put_CommandText(text)); }
  ComPtr<Parameter> CreateParameter(BSTR name, DataTypeEnum type,
                                    ParameterDirectionEnum direction, std::int32_t size,
                                    const VARIANT& value) {
    ComPtr<Parameter> parameter;
    Check(raw_CreateParameter(name, type, direction, size, value,
                              parameter.ReleaseAndGetAddressOf()));
    return parameter;
  }
  ComPtr<Parameters> GetParameters() {
    ComPtr<Parameters> parameters;
    Check(get_Parameters(parameters.ReleaseAndGetAddressOf()));
    return parameters;
  }

 private:
  void Check(HRESULT result) {
    if (Failed(result)) IssueErrorEx(result, this, kIid);
  }
};

class Recordset : public IUnknown {
 public:
  static constexpr IID kIid = AdoGuid(0x00000555);
  // `command` must be a Command.
  virtual HRESULT putref_Source(IUnknown* command) = 0;
  virtual HRESULT raw_Open(const VARIANT& source, const VARIANT& active_connection,
                           CursorTypeEnum cursor_type, LockTypeEnum lock_type,
                           std::int32_t options) = 0;
  virtual HRESULT get_EOF(VARIANT_BOOL* at_end) = 0;
  virtual HRESULT get_Collect(const VARIANT& index, VARIANT* value) = 0;
  virtual HRESULT raw_MoveNext() = 0;
  virtual HRESULT raw_Close() = 0;

  void PutRefSource(IUnknown* command) { Check(putref_Source(command)); }
  void Open(const VARIANT& source, const VARIANT& active_connection, CursorTypeEnum cursor_type,
            LockTypeEnum lock_type, std::int32_t options) {
    Check(raw_Open(source, active_connection, cursor_type, lock_type, options));
  }
  VARIANT_BOOL GetEOF() {
    VARIANT_BOOL at_end = VARIANT_TRUE;
    Check(get_EOF(&at_end));
    return at_end;
  }
  Variant GetCollect(const VARIANT& index) {
    Variant value;
    Check(get_Collect(index, &value));
    return value;
  }
  void MoveNext() { Check(raw_MoveNext()); }
  void Close() { Check(raw_Close()); }

 private:
  void Check(HRESULT result) {
    if (Failed(result)) IssueErrorEx(result, this, kIid);
  }
};

}  // namespace platform::ado
