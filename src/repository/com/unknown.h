// Objects of the data-access platform: identity, interfaces, reference counts.
//
// An object is reached only through interfaces. Every interface derives from
// IUnknown and carries its identifier as `kIid`; QueryInterface hands out a
// pointer for any identifier the object implements and counts a reference for
// it. An object lives while it holds references and deletes itself at the
// release of the last one. Objects are made, used and released on the one
// thread of the run, so the counts need no atomics.
#pragma once

#include <cstdint>

#include "com/hresult.h"

namespace platform {

struct GUID {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];
};
using IID = GUID;
using CLSID = GUID;

constexpr bool operator==(const GUID& a, const GUID& b) {
  if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
  for (int i = 0; i < 8; ++i) {
    if (a.data4[i] != b.data4[i]) return false;
  }
  return true;
}
constexpr bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }

class IUnknown {
 public:
  static constexpr IID kIid = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

  virtual HRESULT QueryInterface(const IID& iid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

// Implements IUnknown for an object that offers `Primary` and `Others...`.
// The object starts with one reference, owned by whoever made it.
template <class Primary, class... Others>
class ComObject : public Primary, public Others... {
 public:
  ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  HRESULT QueryInterface(const IID& iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid == IUnknown::kIid || iid == Primary::kIid) {
      *object = static_cast<Primary*>(this);
    } else {
      ((*object == nullptr && iid == Others::kIid ? (*object = static_cast<Others*>(this)) : nullptr),
       ...);
    }
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    const ULONG remaining = --references_;
    if (remaining == 0) delete this;
    return remaining;
  }

 protected:
  ~ComObject() override = default;

 private:
  ULONG references_ = 1;
};

// Implemented by objects that must be put into their running state before
// use; OleRun asks for it. Objects without it are running as soon as made.
class IRunnableObject : public IUnknown {
 public:
  static constexpr IID kIid = {0x00000126, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  virtual HRESULT Run() = 0;
};

}  // namespace platform
