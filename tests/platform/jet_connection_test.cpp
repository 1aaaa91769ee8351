// A Jet 3 file through the whole stand-in, as the system uses it: a
// Connection with the durable commit mode, a Command with its parameters,
// the update inside BeginTrans/CommitTrans, and the value read back through
// a new connection and through mdbtools.
#include <gtest/gtest.h>

#include <string>

#include "ado_fixture.h"
#include "support/jet_file.h"
#include "support/sqlite_file.h"
#include "support/temp_dir.h"

namespace {

using namespace platform_testing;
using testing_support::TempDir;

class JetConnection : public testing_support::ComTest {};

TEST_F(JetConnection, AnUpdateOfALongColumnInAJet3FileReadsBackRight) {
  TempDir dir;
  const std::string path = dir.File("types.mdb");
  testing_support::CopyFile(testing_support::FixturePath("third-party/jet3-types.mdb"), path);
  {
    const ComPtr<ado::Connection> connection = OpenConnection(path);
    const ComPtr<ado::Properties> properties = connection->GetProperties();
    properties->GetItem(Variant("Jet OLEDB:Transaction Commit Mode"))->PutValue(Variant(1));
    EXPECT_EQ(connection->BeginTrans(), 1);
    ExecuteStatement(connection, "update Table1 set E = ? where A = ?",
                     {IntegerParameter(-123456789), TextParameter("ABCDEFG")});
    connection->CommitTrans();
    connection->Close();
  }
  const ComPtr<ado::Connection> reopened = OpenConnection(path);
  Statement select(reopened, "select E from Table1 order by A");
  EXPECT_EQ(ReadColumn(select.Open(), "E"), (std::vector<std::string>{"0", "-123456789"}));
  bool found = false;
  for (const auto& row : testing_support::DumpJetDatabase(path)) {
    if (row[0] == "Table1" && row[1] == "abcdefg") {
      found = true;
      EXPECT_EQ(row[5], "-123456789");
    }
  }
  EXPECT_TRUE(found);
}

}  // namespace
