// A fake Connection class for the tests: it opens nothing, answers each call
// as the test's script says, and records what was done to every object made
// of it. Registering it puts it in place of the installed Connection class
// while the FakeConnectionClass lives.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ado/ado.h"
#include "com/com_runtime.h"
#include "com/unknown.h"
#include "oleaut/variant.h"

namespace system_testing {

namespace ado = platform::ado;

struct FakeConnectionScript {
  // How the objects answer.
  bool class_hands_out_nothing = false;  // activation succeeds with no object
  platform::HRESULT open_result = platform::S_OK;
  platform::HRESULT close_result = platform::S_OK;
  bool properties_hands_out_nothing = false;  // get_Properties: S_OK, no object
  bool knows_commit_mode = true;              // the collection holds the property
  bool item_hands_out_nothing = false;        // get_Item: S_OK, no object
  platform::HRESULT put_value_result = platform::S_OK;

  // What was done to each Connection made, in the order they were made.
  struct Record {
    bool alive = true;
    int open_calls = 0;
    int close_calls = 0;
    int begin_calls = 0;
    int commit_calls = 0;
    int rollback_calls = 0;
  };
  std::vector<Record> connections;
  // Values put into the commit mode property, as VT_I4 numbers (-1 for any
  // other type).
  std::vector<int> commit_modes_put;

  int Alive() const {
    int alive = 0;
    for (const Record& record : connections) alive += record.alive ? 1 : 0;
    return alive;
  }
};

inline constexpr char kCommitModeName[] = "Jet OLEDB:Transaction Commit Mode";

class FakeProperty final : public platform::ComObject<ado::Property> {
 public:
  explicit FakeProperty(std::shared_ptr<FakeConnectionScript> script) : script_(std::move(script)) {}
  platform::HRESULT get_Value(platform::VARIANT* value) override {
    platform::VariantInit(value);
    return platform::S_OK;
  }
  platform::HRESULT put_Value(const platform::VARIANT& value) override {
    script_->commit_modes_put.push_back(value.vt == platform::VT_I4 ? value.lVal : -1);
    return script_->put_value_result;
  }

 private:
  std::shared_ptr<FakeConnectionScript> script_;
};

class FakeProperties final : public platform::ComObject<ado::Properties> {
 public:
  explicit FakeProperties(std::shared_ptr<FakeConnectionScript> script) : script_(std::move(script)) {}
  platform::HRESULT get_Item(const platform::VARIANT& index, ado::Property** item) override {
    *item = nullptr;
    if (script_->item_hands_out_nothing) return platform::S_OK;
    const bool named = index.vt == platform::VT_BSTR &&
                       platform::BstrView(index.bstrVal) == std::string_view(kCommitModeName);
    if (!named || !script_->knows_commit_mode) return platform::adErrItemNotFound;
    *item = new FakeProperty(script_);
    return platform::S_OK;
  }

 private:
  std::shared_ptr<FakeConnectionScript> script_;
};

class FakeConnection final : public platform::ComObject<ado::Connection> {
 public:
  explicit FakeConnection(std::shared_ptr<FakeConnectionScript> script)
      : script_(std::move(script)), index_(script_->connections.size()) {
    script_->connections.emplace_back();
  }

  platform::HRESULT get_Properties(ado::Properties** properties) override {
    *properties = script_->properties_hands_out_nothing ? nullptr : new FakeProperties(script_);
    return platform::S_OK;
  }
  platform::HRESULT raw_Open(platform::BSTR, platform::BSTR, platform::BSTR, std::int32_t) override {
    ++Log().open_calls;
    return script_->open_result;
  }
  platform::HRESULT raw_BeginTrans(std::int32_t* level) override {
    ++Log().begin_calls;
    if (level != nullptr) *level = 1;
    return platform::S_OK;
  }
  platform::HRESULT raw_CommitTrans() override {
    ++Log().commit_calls;
    return platform::S_OK;
  }
  platform::HRESULT raw_RollbackTrans() override {
    ++Log().rollback_calls;
    return platform::S_OK;
  }
  platform::HRESULT raw_Close() override {
    ++Log().close_calls;
    return script_->close_result;
  }

 private:
  ~FakeConnection() override { Log().alive = false; }
  FakeConnectionScript::Record& Log() { return script_->connections[index_]; }

  std::shared_ptr<FakeConnectionScript> script_;
  std::size_t index_;
};

// Puts the fake in place of the installed Connection class while it lives.
class FakeConnectionClass {
 public:
  FakeConnectionClass()
      : script_(std::make_shared<FakeConnectionScript>()),
        registration_(ado::CLSID_Connection, [script = script_](const platform::IID& iid, void** object) {
          if (script->class_hands_out_nothing) {
            *object = nullptr;
            return platform::S_OK;
          }
          return platform::CreateObject<FakeConnection>([&] { return new FakeConnection(script); }, iid,
                                                        object);
        }) {}

  FakeConnectionScript& Script() { return *script_; }

 private:
  std::shared_ptr<FakeConnectionScript> script_;
  platform::ClassRegistration registration_;
};

// Takes `clsid` out of the registry while it lives, so that making an object
// of it fails as for a class that is not installed.
class UnregisteredClass {
 public:
  explicit UnregisteredClass(const platform::CLSID& clsid) : registration_(clsid, platform::ClassFactory()) {}

 private:
  platform::ClassRegistration registration_;
};

}  // namespace system_testing
