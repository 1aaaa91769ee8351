// Package navigation: from the marker element to the root package's GUID, and
// from that GUID to the list of the root package and every package below it.
//
// The GUID is the one value the system binds as a parameter; every other
// statement is complete text. The subtree is gathered one level per
// statement: each pass asks for the packages whose parent is listed and which
// are not listed themselves, so the list comes out breadth-first, every
// package at most once, and a cycle of parents ends the loop like a leaf.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "error_lines.h"
#include "id_list.h"
#include "oleaut/bstr.h"
#include "oleaut/variant.h"
#include "repository_database.h"
#include "statement.h"

namespace reconsider {
namespace {

using platform::BString;
using platform::ComError;
using platform::ComPtr;
using platform::Variant;
namespace ado = platform::ado;

constexpr char kRootPackageGuidQuery[] =
    "select value from t_objectproperties, t_object where t_object.object_id = "
    "t_objectproperties.object_id and property = 'RootPackageID' and name = '##MorlaneInfo##'";
constexpr char kPackageLookup[] = "select package_id from t_package where ov_guid = ?";
constexpr char kGuidParameterName[] = "param1";
constexpr std::int32_t kGuidParameterSize = 40;
constexpr std::string_view kSubtreePassHead = "select package_id from t_package where parent_id in (";
constexpr std::string_view kSubtreePassMiddle = ") and not package_id in (";
constexpr std::string_view kSubtreePassTail = ")";

}  // namespace

char* RepositoryDatabase::GetRootPackageGuid() {
  return QueryFirstValue(kRootPackageGuidQuery, "value");
}

char* RepositoryDatabase::GetPackageIdList(const char* guid) {
  char* result = nullptr;
  ComPtr<ado::Parameter> parameter;
  {
    ComPtr<ado::Command> command;
    ComPtr<ado::Recordset> recordset;
    try {
      PrepareStatement(connection, kPackageLookup, command, recordset);
      Variant guid_value(guid);
      const BString parameter_name(kGuidParameterName);
      parameter = command->CreateParameter(parameter_name.Get(), ado::adVarChar, ado::adParamInput,
                                           kGuidParameterSize, guid_value);
      command->GetParameters()->Append(parameter.Get());
      Variant missing = Variant::Missing();
      recordset->Open(missing, missing, ado::adOpenForwardOnly, ado::adLockReadOnly,
                      ado::adCmdUnknown);
      Variant package_id;
      if (!recordset->GetEOF()) {
        const Variant column_name("package_id");
        package_id = recordset->GetCollect(column_name);
        package_id.ChangeType(platform::VT_BSTR);
        const HeapText narrowed(platform::ConvertBSTRToString(package_id.bstrVal));
        // An exhausted heap here leaves the result null, without a line.
        result = strdup(narrowed.get());
      }
      recordset->Close();
      guid_value.Clear();
      missing.Clear();
      package_id.Clear();
    } catch (const ComError& error) {
      PrintErrorLine(error);
      if (result == nullptr) return nullptr;
      // The id was read whole before the failure: the expansion goes on.
    }
  }
  if (result == nullptr) return nullptr;
  return ExpandPackageSubtree(result);
}

// Grows `list`, which holds the root package's id, into the whole subtree.
// Returns the grown list, or null after a failed pass: a partial subtree is
// never handed on, since the run would then tag part of it and report
// success.
char* RepositoryDatabase::ExpandPackageSubtree(char* list) {
  for (;;) {
    HeapText statement = ConcatenateText(
        {kSubtreePassHead, list, kSubtreePassMiddle, list, kSubtreePassTail});
    if (!statement) {
      PrintOutOfMemoryLine();
      std::free(list);
      return nullptr;
    }
    const int count = QueryIdList(statement.get(), "package_id", &list);
    statement.reset();
    if (count == kQueryFailed) {
      std::free(list);
      return nullptr;
    }
    if (count <= 0) return list;
  }
}

}  // namespace reconsider
