// ComPtr: an owned reference to an interface.
//
// Holds at most one counted reference and releases it when reset or
// destroyed. Reaching through an empty ComPtr raises a ComError with
// E_POINTER, as reaching a data-access object that is not there does on the
// platform. CreateInstance is the activation pattern every data-access object
// is made by:
//  1. the reference held so far is released;
//  2. CoCreateInstance for the class, asking for IUnknown;
//  3. on success OleRun, on its success QueryInterface for the wanted
//     interface; the IUnknown is released in either case.
// It answers with the first failing result; a call that succeeds but hands
// back no object counts as E_POINTER.
#pragma once

#include <cstddef>
#include <utility>

#include "com/com_error.h"
#include "com/com_runtime.h"
#include "com/unknown.h"

namespace platform {

template <class Interface>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}  // NOLINT(google-explicit-constructor)
  // Shares `object`: counts a reference of its own.
  explicit ComPtr(Interface* object) noexcept : object_(object) {
    if (object_ != nullptr) object_->AddRef();
  }
  ComPtr(const ComPtr& other) noexcept : ComPtr(other.object_) {}
  ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  // Takes over a reference that was already counted for the caller.
  static ComPtr Adopt(Interface* object) noexcept {
    ComPtr adopted;
    adopted.object_ = object;
    return adopted;
  }

  void Reset() noexcept {
    if (object_ != nullptr) std::exchange(object_, nullptr)->Release();
  }

  Interface* Get() const noexcept { return object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }

  Interface* operator->() const {
    if (object_ == nullptr) IssueError(E_POINTER);
    return object_;
  }

  // For calls that hand out a counted reference through an out-argument.
  Interface** ReleaseAndGetAddressOf() noexcept {
    Reset();
    return &object_;
  }

  HRESULT CreateInstance(const CLSID& clsid) {
    Reset();
    void* unknown_raw = nullptr;
    HRESULT result = CoCreateInstance(clsid, nullptr, CLSCTX_SERVER_AND_HANDLER, IUnknown::kIid,
                                      &unknown_raw);
    if (Failed(result)) return result;
    if (unknown_raw == nullptr) return E_POINTER;
    auto* unknown = static_cast<IUnknown*>(unknown_raw);
    result = OleRun(unknown);
    if (Succeeded(result)) {
      void* raw = nullptr;
      result = unknown->QueryInterface(Interface::kIid, &raw);
      if (Succeeded(result) && raw == nullptr) result = E_POINTER;
      if (Succeeded(result)) object_ = static_cast<Interface*>(raw);
    }
    unknown->Release();
    return result;
  }

  template <class Other>
  HRESULT QueryInterface(ComPtr<Other>* other) const {
    if (object_ == nullptr) return E_POINTER;
    void* raw = nullptr;
    const HRESULT result = object_->QueryInterface(Other::kIid, &raw);
    if (Failed(result)) return result;
    if (raw == nullptr) return E_POINTER;
    *other = ComPtr<Other>::Adopt(static_cast<Other*>(raw));
    return result;
  }

 private:
  Interface* object_ = nullptr;
};

// Makes `object` by the activation pattern and raises the first failure.
template <class Interface>
void MakeObject(ComPtr<Interface>& object, const CLSID& clsid) {
  CheckResult(object.CreateInstance(clsid));
}

}  // namespace platform
