// ReconsiderTagger::TagObjects: the one write of the system.
//
// One update statement, run inside one transaction that this operation
// begins and commits. On a failure it prints the error and returns without
// rolling back: the transaction stays open on the connection until the run
// closes it, and closing a connection inside a transaction rolls it back, so
// nothing of a failed update is ever committed.
#include <string_view>

#include "oleaut/variant.h"
#include "reconsider/reconsider_tagger.h"
#include "repository/error_lines.h"
#include "repository/id_list.h"
#include "repository/statement.h"

namespace reconsider {
namespace {

using platform::ComError;
using platform::ComPtr;
using platform::Variant;
namespace ado = platform::ado;

constexpr std::string_view kTagUpdateHead = "update t_object set tagged = 1 where object_id in (";
constexpr std::string_view kTagUpdateTail = ")";

static_assert(kTagUpdateHead.size() == 51);

}  // namespace

int ReconsiderTagger::TagObjects(const char* object_ids) {
  ComPtr<ado::Command> command;
  ComPtr<ado::Recordset> recordset;
  try {
    HeapText update = ConcatenateText({kTagUpdateHead, object_ids, kTagUpdateTail});
    if (!update) platform::IssueError(platform::E_OUTOFMEMORY);
    PrepareStatement(connection, update.get(), command, recordset);
    Variant missing = Variant::Missing();
    connection->BeginTrans();
    recordset->Open(missing, missing, ado::adOpenDynamic, ado::adLockPessimistic,
                    ado::adCmdUnknown);
    connection->CommitTrans();
    recordset.Reset();
    update.reset();
    command.Reset();
    missing.Clear();
    return kTagged;
  } catch (const ComError& error) {
    PrintErrorLine(error);
    return kTagFailed;
  }
}

}  // namespace reconsider
