// RepositoryDatabase: opening and closing the repository connection.
#include "repository_database.h"

#include <cstdio>
#include <string_view>

#include "error_lines.h"
#include "id_list.h"
#include "oleaut/bstr.h"
#include "oleaut/variant.h"

namespace reconsider {
namespace {

using platform::BString;
using platform::ComError;
using platform::Variant;
namespace ado = platform::ado;

constexpr std::string_view kConnectionTextHead = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";
constexpr char kCommitModeProperty[] = "Jet OLEDB:Transaction Commit Mode";
constexpr std::int32_t kCommitModeDurable = 1;

}  // namespace

RepositoryDatabase::~RepositoryDatabase() {
  Close();
  connection.Reset();
}

int RepositoryDatabase::Open(const char* path) {
  try {
    const HeapText connection_text = ConcatenateText({kConnectionTextHead, path});
    if (!connection_text) platform::IssueError(platform::E_OUTOFMEMORY);
    platform::MakeObject(connection, ado::CLSID_Connection);
    const BString connection_string(connection_text.get());
    const BString user_id("");
    const BString password("");
    connection->Open(connection_string.Get(), user_id.Get(), password.Get(),
                     ado::adConnectUnspecified);

    const platform::ComPtr<ado::Properties> properties = connection->GetProperties();
    const Variant property_name(kCommitModeProperty);
    const platform::ComPtr<ado::Property> property = properties->GetItem(property_name);
    const Variant commit_mode(kCommitModeDurable);
    property->PutValue(commit_mode);
    return kOpenSucceeded;
  } catch (const ComError& error) {
    std::printf("%s\n", error.ErrorMessage());
    connection.Reset();
    return kOpenFailed;
  }
}

void RepositoryDatabase::Close() {
  if (!connection) return;
  try {
    connection->Close();
  } catch (const ComError& error) {
    PrintErrorLine(error);
  }
  connection.Reset();
}

}  // namespace reconsider
