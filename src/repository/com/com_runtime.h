// The COM runtime: initialisation, the class registry and activation.
//
// Classes are found by their class identifier in a registry that holds the
// platform's installed classes (the ADO objects) from the start. Tests may
// put a class of their own in place of an installed one, or take one away,
// for the lifetime of a ClassRegistration; the registry is restored when it
// ends. Activation is allowed only between CoInitialize and CoUninitialize.
#pragma once

#include <cstdint>
#include <functional>

#include "com/hresult.h"
#include "com/unknown.h"

namespace platform {

// Class contexts: where an object may be activated.
inline constexpr std::uint32_t CLSCTX_INPROC_SERVER = 0x1;
inline constexpr std::uint32_t CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr std::uint32_t CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr std::uint32_t CLSCTX_SERVER_AND_HANDLER =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

// Makes a new object of a class and hands out the interface `iid` of it.
using ClassFactory = std::function<HRESULT(const IID& iid, void** object)>;

// S_OK on the first call, S_FALSE on nested ones; `reserved` must be null.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();

HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, std::uint32_t context,
                         const IID& iid, void** object);

// Puts an object into its running state (IRunnableObject), S_OK for objects
// that have none.
HRESULT OleRun(IUnknown* object);

// Replaces the class `clsid` in the registry while it lives; an empty factory
// removes the class, so that activating it fails as for an unregistered one.
class ClassRegistration {
 public:
  ClassRegistration(const CLSID& clsid, ClassFactory factory);
  ~ClassRegistration();
  ClassRegistration(const ClassRegistration&) = delete;
  ClassRegistration& operator=(const ClassRegistration&) = delete;

 private:
  CLSID clsid_;
  ClassFactory previous_;
};

// Makes an object of type `Object` with `make` and hands out `iid` of it; the
// factories of installed and test classes share it.
template <class Object, class Make>
HRESULT CreateObject(Make make, const IID& iid, void** object) {
  Object* created = nullptr;
  try {
    created = make();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  const HRESULT result = created->QueryInterface(iid, object);
  created->Release();
  return result;
}

}  // namespace platform
