#include "com/com_runtime.h"

#include <utility>
#include <vector>

namespace platform {

// Defined with the installed classes (the ADO objects).
void RegisterInstalledClasses(void (*add)(const CLSID&, ClassFactory));

namespace {

struct RegistryEntry {
  CLSID clsid;
  ClassFactory factory;
};

struct Runtime {
  int initialisations = 0;
  std::vector<RegistryEntry> classes;
  bool installed = false;
};

Runtime& TheRuntime() {
  static Runtime runtime;
  return runtime;
}

ClassFactory* FindFactory(const CLSID& clsid) {
  for (RegistryEntry& entry : TheRuntime().classes) {
    if (entry.clsid == clsid) return &entry.factory;
  }
  return nullptr;
}

void SetFactory(const CLSID& clsid, ClassFactory factory) {
  if (ClassFactory* existing = FindFactory(clsid)) {
    *existing = std::move(factory);
  } else {
    TheRuntime().classes.push_back({clsid, std::move(factory)});
  }
}

void EnsureInstalledClasses() {
  Runtime& runtime = TheRuntime();
  if (runtime.installed) return;
  runtime.installed = true;
  RegisterInstalledClasses(&SetFactory);
}

}  // namespace

HRESULT CoInitialize(void* reserved) {
  if (reserved != nullptr) return E_INVALIDARG;
  return TheRuntime().initialisations++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
  Runtime& runtime = TheRuntime();
  if (runtime.initialisations > 0) --runtime.initialisations;
}

HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, std::uint32_t context,
                         const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (TheRuntime().initialisations == 0) return CO_E_NOTINITIALIZED;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  if ((context & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  EnsureInstalledClasses();
  ClassFactory* factory = FindFactory(clsid);
  if (factory == nullptr || !*factory) return REGDB_E_CLASSNOTREG;
  return (*factory)(iid, object);
}

HRESULT OleRun(IUnknown* object) {
  if (object == nullptr) return E_INVALIDARG;
  void* raw = nullptr;
  if (Failed(object->QueryInterface(IRunnableObject::kIid, &raw)) || raw == nullptr) return S_OK;
  auto* runnable = static_cast<IRunnableObject*>(raw);
  const HRESULT result = runnable->Run();
  runnable->Release();
  return result;
}

ClassRegistration::ClassRegistration(const CLSID& clsid, ClassFactory factory) : clsid_(clsid) {
  EnsureInstalledClasses();
  if (ClassFactory* existing = FindFactory(clsid)) previous_ = *existing;
  SetFactory(clsid, std::move(factory));
}

ClassRegistration::~ClassRegistration() { SetFactory(clsid_, std::move(previous_)); }

}  // namespace platform
