// The Connection's Properties: the provider's one property, the commit mode,
// found by name or position, taking 0 and 1 only, and reaching the engine.
#include <gtest/gtest.h>

#include <string>

#include "ado_fixture.h"
#include "support/sqlite_file.h"
#include "support/temp_dir.h"

namespace {

using namespace platform_testing;
using platform::S_OK;
using testing_support::TempDir;

constexpr char kCommitMode[] = "Jet OLEDB:Transaction Commit Mode";

class ConnectionProperties : public testing_support::ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    path_ = dir_.File("repo.sqlite");
    testing_support::ExecuteSql(path_, "create table t (x integer);");
    connection_ = OpenConnection(path_);
  }

  ComPtr<ado::Property> CommitMode() { return connection_->GetProperties()->GetItem(Variant(kCommitMode)); }

  // The engine's synchronous setting: 1 normal, 3 extra.
  std::string Synchronous() { return QueryColumn(connection_, "pragma synchronous", "synchronous").at(0); }

  TempDir dir_;
  std::string path_;
  ComPtr<ado::Connection> connection_;
};

TEST_F(ConnectionProperties, CommitModeIsFoundWhateverTheCase) {
  const ComPtr<ado::Properties> properties = connection_->GetProperties();
  for (const char* name : {kCommitMode, "jet oledb:transaction commit mode", "JET OLEDB:TRANSACTION COMMIT MODE"}) {
    SCOPED_TRACE(name);
    ComPtr<ado::Property> property;
    EXPECT_EQ(properties->get_Item(Variant(name), property.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_TRUE(property);
  }
}

TEST_F(ConnectionProperties, CommitModeStartsAtZero) {
  const Variant value = CommitMode()->GetValue();
  ASSERT_EQ(value.vt, platform::VT_I4);
  EXPECT_EQ(value.lVal, 0);
  EXPECT_EQ(Synchronous(), "1");
}

TEST_F(ConnectionProperties, CommitModeTakesOneAndZeroAndSetsTheEngine) {
  const ComPtr<ado::Property> property = CommitMode();
  property->PutValue(Variant(1));
  EXPECT_EQ(property->GetValue().lVal, 1);
  EXPECT_EQ(Synchronous(), "3");
  // A second Property object for the same name sees the same value.
  EXPECT_EQ(CommitMode()->GetValue().lVal, 1);

  property->PutValue(Variant(0));
  EXPECT_EQ(property->GetValue().lVal, 0);
  EXPECT_EQ(Synchronous(), "1");

  // Values that convert to 1 count as 1.
  property->PutValue(Variant("1"));
  EXPECT_EQ(property->GetValue().lVal, 1);
  property->PutValue(Variant::Double(0.2));
  EXPECT_EQ(property->GetValue().lVal, 0);
}

struct RefusedValue {
  const char* name;
  Variant value;
};

void PrintTo(const RefusedValue& printed, std::ostream* out) { *out << printed.name; }

class CommitModeValue : public ConnectionProperties, public ::testing::WithParamInterface<RefusedValue> {};

TEST_P(CommitModeValue, IsRefusedAndTheModeStays) {
  const ComPtr<ado::Property> property = CommitMode();
  property->PutValue(Variant(1));
  EXPECT_EQ(Hex(ErrorOf([&] { property->PutValue(GetParam().value); })), Hex(platform::DB_E_ERRORSOCCURRED));
  EXPECT_EQ(property->GetValue().lVal, 1);
  EXPECT_EQ(Synchronous(), "3");
}

INSTANTIATE_TEST_SUITE_P(Refused, CommitModeValue,
                         ::testing::Values(RefusedValue{"Two", Variant(2)}, RefusedValue{"MinusOne", Variant(-1)},
                                           RefusedValue{"True", Variant::Boolean(true)},
                                           RefusedValue{"Text", Variant("durable")},
                                           RefusedValue{"EmptyText", Variant("")},
                                           RefusedValue{"Null", Variant::Null()},
                                           RefusedValue{"Missing", Variant::Missing()},
                                           RefusedValue{"Huge", Variant::Int64(4294967297LL)}),
                         [](const ::testing::TestParamInfo<RefusedValue>& case_info) {
                           return std::string(case_info.param.name);
                         });

TEST_F(ConnectionProperties, OtherNamesAreNotFound) {
  const ComPtr<ado::Properties> properties = connection_->GetProperties();
  for (const char* name : {"Jet OLEDB:Database Password", "Transaction Commit Mode", "", "Jet OLEDB:Transaction Commit Mode ",
                           "Jet OLEDB:Transaction Commit Mod"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Hex(ErrorOf([&] { properties->GetItem(Variant(name)); })), Hex(platform::adErrItemNotFound));
  }
}

TEST_F(ConnectionProperties, PositionsCountFromZero) {
  const ComPtr<ado::Properties> properties = connection_->GetProperties();
  const ComPtr<ado::Property> first = properties->GetItem(Variant(0));
  first->PutValue(Variant(1));
  EXPECT_EQ(CommitMode()->GetValue().lVal, 1);
  EXPECT_EQ(ErrorOf([&] { properties->GetItem(Variant(1)); }), platform::adErrItemNotFound);
  EXPECT_EQ(ErrorOf([&] { properties->GetItem(Variant(-1)); }), platform::adErrItemNotFound);
  EXPECT_EQ(ErrorOf([&] { properties->GetItem(Variant::Null()); }), platform::adErrInvalidArgument);
}

TEST_F(ConnectionProperties, FollowTheConnectionThroughCloseAndOpen) {
  const ComPtr<ado::Properties> properties = connection_->GetProperties();
  const ComPtr<ado::Property> property = CommitMode();
  connection_->Close();
  EXPECT_EQ(ErrorOf([&] { property->GetValue(); }), platform::adErrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { property->PutValue(Variant(1)); }), platform::adErrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { properties->GetItem(Variant(kCommitMode)); }), platform::adErrItemNotFound);

  const BString text{std::string_view(JetConnectionText(path_))};
  connection_->Open(text.Get(), nullptr, nullptr, ado::adConnectUnspecified);
  property->PutValue(Variant(1));
  EXPECT_EQ(Synchronous(), "3");
}

TEST_F(ConnectionProperties, NeverOpenedConnectionHasNone) {
  const ComPtr<ado::Connection> fresh = MakeConnection();
  EXPECT_EQ(ErrorOf([&] { fresh->GetProperties()->GetItem(Variant(kCommitMode)); }), platform::adErrItemNotFound);
}

TEST_F(ConnectionProperties, KeepTheirConnectionAlive) {
  const ComPtr<ado::Property> property = CommitMode();
  connection_.Reset();
  // The connection lives on through the property (the sanitizer build sees a
  // use after free if it did not).
  property->PutValue(Variant(1));
  EXPECT_EQ(property->GetValue().lVal, 1);
}

}  // namespace
