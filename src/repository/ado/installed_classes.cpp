// The classes installed on the platform from the start: the three ADO
// objects the system makes by class identifier.
#include "ado/ado.h"
#include "ado/ado_internals.h"
#include "com/com_runtime.h"

namespace platform {

void RegisterInstalledClasses(void (*add)(const CLSID&, ClassFactory)) {
  add(ado::CLSID_Connection, &ado::CreateConnectionObject);
  add(ado::CLSID_Command, &ado::CreateCommandObject);
  add(ado::CLSID_Recordset, &ado::CreateRecordsetObject);
}

}  // namespace platform
