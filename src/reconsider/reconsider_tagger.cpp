// ReconsiderTagger: the two selections.
#include "reconsider/reconsider_tagger.h"

#include <cstdlib>

#include "repository/error_lines.h"
#include "repository/id_list.h"

namespace reconsider {
namespace {

constexpr std::string_view kReconsiderQueryHead =
    "select t_object.object_id from t_object, t_objectproperties where t_object.object_id = "
    "t_objectproperties.object_id and property = 'IsReconsider' and value = 'True' and "
    "package_id in (";
constexpr std::string_view kRealisingQueryHead =
    "select t_object.object_id from t_object, t_connector where t_object.object_id = "
    "t_connector.start_object_id and direction = 'Source -> Destination' and connector_type = "
    "'Realisation' and not object_type = 'Requirement' and end_object_id in (";
constexpr std::string_view kQueryTail = ")";

static_assert(kReconsiderQueryHead.size() == 184);
static_assert(kRealisingQueryHead.size() == 241);

}  // namespace

ReconsiderTagger::~ReconsiderTagger() = default;

char* ReconsiderTagger::GetReconsiderObjectIds(const char* package_ids) {
  return SelectObjectIds(kReconsiderQueryHead, package_ids);
}

char* ReconsiderTagger::GetRealisingObjectIds(const char* object_ids) {
  return SelectObjectIds(kRealisingQueryHead, object_ids);
}

char* ReconsiderTagger::SelectObjectIds(std::string_view query_head, const char* ids) {
  HeapText query = ConcatenateText({query_head, ids, kQueryTail});
  if (!query) {
    PrintOutOfMemoryLine();
    return nullptr;
  }
  char* result = nullptr;
  const int count = QueryIdList(query.get(), "object_id", &result);
  query.reset();
  if (count < 0) {
    std::free(result);
    return nullptr;
  }
  return result;
}

}  // namespace reconsider
