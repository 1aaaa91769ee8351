// Activation: CoInitialize, the class registry, the ComPtr activation pattern
// (CoCreateInstance, OleRun, QueryInterface) and the error information a
// failure carries, with fake classes that count their objects.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>

#include "ado/ado.h"
#include "com/com_error.h"
#include "com/com_ptr.h"
#include "com/com_runtime.h"
#include "com/error_info.h"
#include "com/unknown.h"
#include "support/com_test.h"

namespace {

using namespace platform;
using testing_support::ComTest;

constexpr CLSID kFakeClass = {0x7E57C1A5, 0x0001, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x01}};
constexpr CLSID kNeverRegistered = {0x7E57C1A5, 0x0002, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x02}};

// An interface only the fakes offer.
class IFake : public IUnknown {
 public:
  static constexpr IID kIid = {0x7E57C1A5, 0x0100, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x10}};
  virtual int Tag() = 0;
};

// What the fakes of one test did: objects alive, runs asked for.
struct Tally {
  int alive = 0;
  int made = 0;
  int runs = 0;
};

// A runnable fake whose Run answers with a given code.
class RunnableFake final : public ComObject<IFake, IRunnableObject> {
 public:
  RunnableFake(Tally* tally, HRESULT run_result, int tag) : tally_(tally), run_result_(run_result), tag_(tag) {
    ++tally_->alive;
    ++tally_->made;
  }
  HRESULT Run() override {
    ++tally_->runs;
    return run_result_;
  }
  int Tag() override { return tag_; }

 private:
  ~RunnableFake() override { --tally_->alive; }
  Tally* tally_;
  HRESULT run_result_;
  int tag_;
};

// A fake without IRunnableObject: running as soon as made.
class PlainFake final : public ComObject<IFake> {
 public:
  explicit PlainFake(Tally* tally) : tally_(tally) {
    ++tally_->alive;
    ++tally_->made;
  }
  int Tag() override { return 7; }

 private:
  ~PlainFake() override { --tally_->alive; }
  Tally* tally_;
};

// A fake offering IUnknown alone.
class BareFake final : public ComObject<IRunnableObject> {
 public:
  explicit BareFake(Tally* tally) : tally_(tally) { ++tally_->alive; }
  HRESULT Run() override { return S_OK; }

 private:
  ~BareFake() override { --tally_->alive; }
  Tally* tally_;
};

ClassFactory RunnableFactory(Tally* tally, HRESULT run_result, int tag = 1) {
  return [=](const IID& iid, void** object) {
    return CreateObject<RunnableFake>([=] { return new RunnableFake(tally, run_result, tag); }, iid, object);
  };
}

TEST(Initialisation, ActivationFailsBeforeCoInitialize) {
  void* object = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(CoCreateInstance(ado::CLSID_Connection, nullptr, CLSCTX_INPROC_SERVER, IUnknown::kIid, &object),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(object, nullptr);

  ComPtr<ado::Connection> connection;
  EXPECT_EQ(connection.CreateInstance(ado::CLSID_Connection), CO_E_NOTINITIALIZED);
  EXPECT_FALSE(connection);
}

TEST(Initialisation, NestsAndEndsWithTheLastCoUninitialize) {
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  CoUninitialize();
  ComPtr<ado::Connection> connection;
  EXPECT_EQ(connection.CreateInstance(ado::CLSID_Connection), S_OK);
  connection.Reset();
  CoUninitialize();
  EXPECT_EQ(connection.CreateInstance(ado::CLSID_Connection), CO_E_NOTINITIALIZED);
  // More CoUninitialize calls than CoInitialize ones do not go below zero.
  CoUninitialize();
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  CoUninitialize();
}

TEST(Initialisation, RefusesAReservedArgumentAndDoesNotCountIt) {
  int reserved = 0;
  EXPECT_EQ(CoInitialize(&reserved), E_INVALIDARG);
  ComPtr<ado::Connection> connection;
  EXPECT_EQ(connection.CreateInstance(ado::CLSID_Connection), CO_E_NOTINITIALIZED);
}

using Activation = ComTest;

TEST_F(Activation, InstalledClassesHandOutTheirInterfaces) {
  ComPtr<ado::Connection> connection;
  ComPtr<ado::Command> command;
  ComPtr<ado::Recordset> recordset;
  EXPECT_EQ(connection.CreateInstance(ado::CLSID_Connection), S_OK);
  EXPECT_EQ(command.CreateInstance(ado::CLSID_Command), S_OK);
  EXPECT_EQ(recordset.CreateInstance(ado::CLSID_Recordset), S_OK);
  EXPECT_TRUE(connection && command && recordset);
}

TEST_F(Activation, UnregisteredClassFailsWithClassNotRegistered) {
  const ClassRegistration removed(ado::CLSID_Connection, ClassFactory());
  ComPtr<ado::Connection> connection;
  EXPECT_EQ(connection.CreateInstance(ado::CLSID_Connection), REGDB_E_CLASSNOTREG);
  EXPECT_FALSE(connection);
  try {
    MakeObject(connection, ado::CLSID_Connection);
    FAIL() << "MakeObject raised nothing";
  } catch (const ComError& error) {
    EXPECT_EQ(error.Error(), REGDB_E_CLASSNOTREG);
  }
  ComPtr<IFake> never;
  EXPECT_EQ(never.CreateInstance(kNeverRegistered), REGDB_E_CLASSNOTREG);
}

TEST_F(Activation, CreateInstanceReleasesTheObjectHeldBefore) {
  Tally tally;
  const ClassRegistration fake(kFakeClass, RunnableFactory(&tally, S_OK));
  ComPtr<IFake> object;
  ASSERT_EQ(object.CreateInstance(kFakeClass), S_OK);
  EXPECT_EQ(tally.alive, 1);
  ASSERT_EQ(object.CreateInstance(kFakeClass), S_OK);
  EXPECT_EQ(tally.made, 2);
  EXPECT_EQ(tally.alive, 1);
  // Also when the new activation fails.
  const ClassRegistration removed(kFakeClass, ClassFactory());
  EXPECT_EQ(object.CreateInstance(kFakeClass), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(tally.alive, 0);
  EXPECT_FALSE(object);
}

TEST_F(Activation, RunsTheObjectOnceAndLeavesOneReference) {
  Tally tally;
  const ClassRegistration fake(kFakeClass, RunnableFactory(&tally, S_OK, 42));
  {
    ComPtr<IFake> object;
    ASSERT_EQ(object.CreateInstance(kFakeClass), S_OK);
    EXPECT_EQ(tally.runs, 1);
    EXPECT_EQ(object->Tag(), 42);
    EXPECT_EQ(tally.alive, 1);
  }
  EXPECT_EQ(tally.alive, 0);
}

TEST_F(Activation, ObjectsWithoutRunningStateNeedNoRun) {
  Tally tally;
  const ClassRegistration fake(kFakeClass, [&tally](const IID& iid, void** object) {
    return CreateObject<PlainFake>([&tally] { return new PlainFake(&tally); }, iid, object);
  });
  {
    ComPtr<IFake> object;
    ASSERT_EQ(object.CreateInstance(kFakeClass), S_OK);
    EXPECT_EQ(object->Tag(), 7);
  }
  EXPECT_EQ(tally.alive, 0);
}

struct FailedActivation {
  const char* name;
  HRESULT run_result;       // what Run answers
  bool lacks_interface;     // the object has no IFake
  HRESULT expected;
};

void PrintTo(const FailedActivation& printed, std::ostream* out) { *out << printed.name; }

class ActivationFailure : public ComTest, public ::testing::WithParamInterface<FailedActivation> {};

TEST_P(ActivationFailure, AnswersTheFirstFailureAndReleasesTheObject) {
  const FailedActivation& failure = GetParam();
  Tally tally;
  ClassFactory factory = RunnableFactory(&tally, failure.run_result);
  if (failure.lacks_interface) {
    factory = [&tally](const IID& iid, void** object) {
      return CreateObject<BareFake>([&tally] { return new BareFake(&tally); }, iid, object);
    };
  }
  const ClassRegistration fake(kFakeClass, factory);
  ComPtr<IFake> object;
  EXPECT_EQ(object.CreateInstance(kFakeClass), failure.expected);
  EXPECT_FALSE(object);
  EXPECT_EQ(tally.alive, 0) << "the object made was not released";
  try {
    MakeObject(object, kFakeClass);
    FAIL() << "MakeObject raised nothing";
  } catch (const ComError& error) {
    EXPECT_EQ(error.Error(), failure.expected);
  }
  EXPECT_EQ(tally.alive, 0);
}

INSTANTIATE_TEST_SUITE_P(Causes, ActivationFailure,
                         ::testing::Values(FailedActivation{"RunFails", E_FAIL, false, E_FAIL},
                                           FailedActivation{"RunDeniesAccess", E_ACCESSDENIED, false, E_ACCESSDENIED},
                                           FailedActivation{"NoSuchInterface", S_OK, true, E_NOINTERFACE}),
                         [](const ::testing::TestParamInfo<FailedActivation>& case_info) {
                           return std::string(case_info.param.name);
                         });

TEST_F(Activation, RunSucceedingWithSFalseCounts) {
  Tally tally;
  const ClassRegistration fake(kFakeClass, RunnableFactory(&tally, S_FALSE));
  ComPtr<IFake> object;
  EXPECT_EQ(object.CreateInstance(kFakeClass), S_OK);
  EXPECT_TRUE(object);
}

TEST_F(Activation, FactoryThatHandsBackNoObjectIsAPointerFailure) {
  const ClassRegistration empty(kFakeClass, [](const IID&, void** object) {
    *object = nullptr;
    return S_OK;
  });
  ComPtr<IFake> object;
  EXPECT_EQ(object.CreateInstance(kFakeClass), E_POINTER);
  EXPECT_FALSE(object);
}

TEST_F(Activation, FactoryFailureIsPassedOn) {
  const ClassRegistration failing(kFakeClass, [](const IID&, void**) { return E_OUTOFMEMORY; });
  ComPtr<IFake> object;
  EXPECT_EQ(object.CreateInstance(kFakeClass), E_OUTOFMEMORY);
}

TEST_F(Activation, ObjectThatCannotBeMadeIsOutOfMemory) {
  const ClassRegistration throwing(kFakeClass, [](const IID& iid, void** object) {
    return CreateObject<PlainFake>([]() -> PlainFake* { throw std::bad_alloc(); }, iid, object);
  });
  ComPtr<IFake> object;
  EXPECT_EQ(object.CreateInstance(kFakeClass), E_OUTOFMEMORY);
}

TEST_F(Activation, InstalledClassLacksAnotherClassesInterface) {
  ComPtr<ado::Recordset> recordset;
  EXPECT_EQ(recordset.CreateInstance(ado::CLSID_Connection), E_NOINTERFACE);
  EXPECT_FALSE(recordset);
}

TEST_F(Activation, CoCreateInstanceChecksItsArguments) {
  void* object = nullptr;
  EXPECT_EQ(CoCreateInstance(ado::CLSID_Connection, nullptr, CLSCTX_INPROC_SERVER, IUnknown::kIid, nullptr),
            E_POINTER);
  ComPtr<ado::Connection> outer;
  ASSERT_EQ(outer.CreateInstance(ado::CLSID_Connection), S_OK);
  EXPECT_EQ(CoCreateInstance(ado::CLSID_Connection, outer.Get(), CLSCTX_INPROC_SERVER, IUnknown::kIid, &object),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(CoCreateInstance(ado::CLSID_Connection, nullptr, CLSCTX_LOCAL_SERVER, IUnknown::kIid, &object),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);
}

TEST_F(Activation, OleRunChecksItsArgument) { EXPECT_EQ(OleRun(nullptr), E_INVALIDARG); }

TEST_F(Activation, RegistrationRestoresTheInstalledClassWhenItEnds) {
  Tally tally;
  {
    const ClassRegistration replaced(ado::CLSID_Connection, RunnableFactory(&tally, S_OK));
    ComPtr<IFake> fake;
    ASSERT_EQ(fake.CreateInstance(ado::CLSID_Connection), S_OK);
    ComPtr<ado::Connection> connection;
    EXPECT_EQ(connection.CreateInstance(ado::CLSID_Connection), E_NOINTERFACE);
  }
  EXPECT_EQ(tally.alive, 0);
  ComPtr<ado::Connection> connection;
  EXPECT_EQ(connection.CreateInstance(ado::CLSID_Connection), S_OK);
  EXPECT_EQ(tally.made, 2);
}

TEST_F(Activation, NestedRegistrationsRestoreInTurn) {
  Tally outer_tally;
  Tally inner_tally;
  {
    const ClassRegistration outer(kFakeClass, RunnableFactory(&outer_tally, S_OK, 1));
    {
      const ClassRegistration inner(kFakeClass, RunnableFactory(&inner_tally, S_OK, 2));
      ComPtr<IFake> object;
      ASSERT_EQ(object.CreateInstance(kFakeClass), S_OK);
      EXPECT_EQ(object->Tag(), 2);
    }
    ComPtr<IFake> object;
    ASSERT_EQ(object.CreateInstance(kFakeClass), S_OK);
    EXPECT_EQ(object->Tag(), 1);
  }
  // The class did not exist before the outer registration.
  ComPtr<IFake> object;
  EXPECT_EQ(object.CreateInstance(kFakeClass), REGDB_E_CLASSNOTREG);
}

TEST(ComPtrUse, ArrowOnAnEmptyPointerRaisesPointerError) {
  const ComPtr<ado::Connection> empty;
  try {
    empty->Close();
    FAIL() << "no error raised";
  } catch (const ComError& error) {
    EXPECT_EQ(error.Error(), E_POINTER);
  }
  const ComPtr<ado::Recordset> null_pointer(nullptr);
  EXPECT_THROW(null_pointer->MoveNext(), ComError);
}

TEST(ComPtrUse, CountsReferencesThroughCopiesMovesAndAdoption) {
  Tally tally;
  IFake* raw = nullptr;
  {
    void* made = nullptr;
    ASSERT_EQ(CreateObject<PlainFake>([&tally] { return new PlainFake(&tally); }, IFake::kIid, &made), S_OK);
    raw = static_cast<IFake*>(made);
    ComPtr<IFake> adopted = ComPtr<IFake>::Adopt(raw);  // takes the one reference
    {
      const ComPtr<IFake> shared(raw);  // counts its own
      const ComPtr<IFake> copy = shared;
      ComPtr<IFake> assigned;
      assigned = copy;
      EXPECT_EQ(raw->AddRef(), 5u);
      raw->Release();
    }
    const ComPtr<IFake> moved(std::move(adopted));
    EXPECT_FALSE(adopted);  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(tally.alive, 1);
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(moved.QueryInterface(&unknown), S_OK);
    EXPECT_EQ(raw->AddRef(), 3u);
    raw->Release();
  }
  EXPECT_EQ(tally.alive, 0);
}

TEST(ComPtrUse, QueryInterfaceOfAnEmptyPointerIsAPointerFailure) {
  const ComPtr<IFake> empty;
  ComPtr<IUnknown> unknown;
  EXPECT_EQ(empty.QueryInterface(&unknown), E_POINTER);
}

// An object that tells whether it records error information for IFake.
class ReportingFake final : public ComObject<IFake, ISupportErrorInfo> {
 public:
  explicit ReportingFake(bool reports) : reports_(reports) {}
  int Tag() override { return 0; }
  HRESULT InterfaceSupportsErrorInfo(const IID& iid) override {
    return reports_ && iid == IFake::kIid ? S_OK : S_FALSE;
  }

 private:
  bool reports_;
};

class ErrorInformation : public ::testing::Test {
 protected:
  void TearDown() override {
    std::string left;
    GetErrorInfo(&left);
  }

  static ComError Raise(HRESULT code, IUnknown* object, const IID& iid) {
    try {
      IssueErrorEx(code, object, iid);
    } catch (const ComError& error) {
      return error;
    }
    return ComError(S_OK);
  }
};

TEST_F(ErrorInformation, IsAttachedWhenTheObjectRecordsItForTheInterface) {
  const ComPtr<ReportingFake> object = ComPtr<ReportingFake>::Adopt(new ReportingFake(true));
  SetErrorInfo("SQLite: no such table: t_missing");
  const ComError error = Raise(DB_E_NOTABLE, static_cast<IFake*>(object.Get()), IFake::kIid);
  EXPECT_EQ(error.Error(), DB_E_NOTABLE);
  EXPECT_EQ(error.Description(), "SQLite: no such table: t_missing");
  EXPECT_STREQ(error.ErrorMessage(), ComError(DB_E_NOTABLE).ErrorMessage());
  std::string left;
  EXPECT_FALSE(GetErrorInfo(&left)) << "the description was not taken: " << left;
}

TEST_F(ErrorInformation, IsLeftOutWhenTheObjectDoesNotRecordIt) {
  const ComPtr<ReportingFake> silent = ComPtr<ReportingFake>::Adopt(new ReportingFake(false));
  const ComPtr<ReportingFake> reporting = ComPtr<ReportingFake>::Adopt(new ReportingFake(true));
  SetErrorInfo("stale");
  EXPECT_EQ(Raise(E_FAIL, static_cast<IFake*>(silent.Get()), IFake::kIid).Description(), "");
  EXPECT_EQ(Raise(E_FAIL, static_cast<IFake*>(reporting.Get()), IUnknown::kIid).Description(), "");
  EXPECT_EQ(Raise(E_FAIL, nullptr, IFake::kIid).Description(), "");
  Tally tally;
  const ComPtr<IFake> plain = ComPtr<IFake>::Adopt(new PlainFake(&tally));
  EXPECT_EQ(Raise(E_FAIL, plain.Get(), IFake::kIid).Description(), "");
}

TEST_F(ErrorInformation, IsEmptyWhenNothingWasRecorded) {
  const ComPtr<ReportingFake> object = ComPtr<ReportingFake>::Adopt(new ReportingFake(true));
  const ComError error = Raise(E_FAIL, static_cast<IFake*>(object.Get()), IFake::kIid);
  EXPECT_EQ(error.Error(), E_FAIL);
  EXPECT_EQ(error.Description(), "");
}

}  // namespace
