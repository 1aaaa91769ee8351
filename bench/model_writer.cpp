// The model's rows, one table at a time, each from its own random stream.
// Every text a row needs is written into a buffer that lives as long as the
// table's loop, and bound without copying, so rows cost no allocations.
#include "model_writer.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "element_kinds.h"
#include "package_tree.h"
#include "random_stream.h"
#include "text_fields.h"

namespace bench {
namespace {

constexpr std::string_view kMarkerName = "##MorlaneInfo##";
constexpr std::string_view kRootPackageProperty = "RootPackageID";
constexpr std::string_view kReconsiderProperty = "IsReconsider";
constexpr std::string_view kFlaggedValue = "True";
// A tenth of the requirements are flagged for reconsideration.
constexpr std::uint64_t kFlaggedRequirementsPerTen = 1;
// A third of the elements carry notes.
constexpr std::uint64_t kNotedElementsPerThree = 1;
// Nine in ten elements carry one further tagged value, one of these.
constexpr std::uint64_t kFurtherTaggedValuesPerTen = 9;
struct TaggedValueText {
  std::string_view property;
  std::string_view value;  // empty: "Team <word>"
};
constexpr std::array<TaggedValueText, 4> kFurtherTaggedValues = {{
    {"Priority", "High"}, {"Priority", "Low"}, {"IsReconsider", "False"}, {"Owner", ""}}};
constexpr std::string_view kTeamPrefix = "Team ";
constexpr std::size_t kLongestOwner = 32;

constexpr std::uint64_t kTen = 10;
constexpr std::uint64_t kThree = 3;

// An element starts 0, 1, 1 or 2 connectors: one on average.
constexpr std::array<int, 4> kConnectorsPerElement = {0, 1, 1, 2};
// Two in three connectors realise a requirement.
constexpr std::uint64_t kRealisationsPerThree = 2;
constexpr std::string_view kRealisation = "Realisation";
constexpr std::string_view kSourceToDestination = "Source -> Destination";
constexpr std::array<std::string_view, 4> kOtherConnectorTypes = {"Dependency", "Association", "Generalization",
                                                                   "Aggregation"};
constexpr std::array<std::string_view, 3> kOtherDirections = {"Source -> Destination", "Unspecified",
                                                               "Bi-Directional"};

// Statement parameters, numbered as in the statements below.
enum PackageParameter : int {
  kPackageId = 1,
  kPackageName,
  kParentId,
  kPackageCreated,
  kPackageModified,
  kPackageGuid
};
constexpr const char* kInsertPackage =
    "insert into t_package (package_id, name, parent_id, createddate, modifieddate, ov_guid) "
    "values (?1, ?2, ?3, ?4, ?5, ?6)";

enum ElementParameter : int {
  kObjectId = 1,
  kObjectType,
  kObjectName,
  kObjectNote,
  kObjectPackage,
  kObjectCreated,
  kObjectModified,
  kObjectGuid
};
constexpr const char* kInsertElement =
    "insert into t_object (object_id, object_type, name, note, package_id, createddate, modifieddate, tagged, "
    "ov_guid) values (?1, ?2, ?3, ?4, ?5, ?6, ?7, 0, ?8)";

enum TaggedValueParameter : int { kPropertyId = 1, kPropertyObject, kPropertyName, kPropertyValue, kPropertyGuid };
constexpr const char* kInsertTaggedValue =
    "insert into t_objectproperties (propertyid, object_id, property, value, ov_guid) values (?1, ?2, ?3, ?4, ?5)";

enum ConnectorParameter : int {
  kConnectorId = 1,
  kDirection,
  kConnectorType,
  kStartObject,
  kEndObject,
  kConnectorGuid,
  kConnectorCreated
};
constexpr const char* kInsertConnector =
    "insert into t_connector (connector_id, direction, connector_type, start_object_id, end_object_id, ov_guid, "
    "createddate) values (?1, ?2, ?3, ?4, ?5, ?6, ?7)";

class ModelWriter {
 public:
  ModelWriter(Database& database, std::int64_t element_count, std::uint64_t seed)
      : database_(database),
        element_count_(element_count),
        package_count_(std::max(kFewestPackages, element_count / kElementsPerPackage)),
        seed_(seed) {}

  void Write() {
    const std::string root_guid = WritePackages();
    RandomStream kinds_random(seed_, Stream::kElementKinds);
    const ElementKinds kinds = DrawElementKinds(element_count_, kinds_random);
    WriteElements(kinds);
    WriteTaggedValues(kinds, root_guid);
    WriteConnectors(kinds);
  }

 private:
  // Returns the root package's GUID, which the marker element names.
  std::string WritePackages() {
    RandomStream random(seed_, Stream::kPackages);
    const std::vector<PackageNode> tree = BuildPackageTree(package_count_, random);
    Statement insert(database_, kInsertPackage);
    GuidText guid;
    DateTimeText created;
    DateTimeText modified;
    NumberedName name;
    std::string root_guid;
    for (const PackageNode& package : tree) {
      const Timestamps times = DrawTimestamps(random);
      insert.Bind(kPackageId, package.id);
      insert.Bind(kPackageName, PackageName(package.id, name));
      insert.Bind(kParentId, package.parent_id);
      insert.Bind(kPackageCreated, created.Format(times.created));
      insert.Bind(kPackageModified, modified.Format(times.modified));
      const std::string_view package_guid = guid.Draw(random);
      if (package.id == kRootPackageId) root_guid = package_guid;
      insert.Bind(kPackageGuid, package_guid);
      insert.Run();
    }
    return root_guid;
  }

  static std::string_view PackageName(std::int64_t id, NumberedName& name) {
    switch (id) {
      case kModelPackageId:
        return "Model";
      case kRootPackageId:
        return "System";
      case kLegacyPackageId:
        return "Legacy";
      default:
        return name.Format("Package", id);
    }
  }

  void WriteElements(const ElementKinds& kinds) {
    RandomStream random(seed_, Stream::kElements);
    Statement insert(database_, kInsertElement);
    GuidText guid;
    DateTimeText created;
    DateTimeText modified;
    NumberedName name;
    NoteText note;
    const auto package_count = static_cast<std::uint64_t>(package_count_);
    for (std::int64_t id = kMarkerElementId; id <= element_count_; ++id) {
      const bool is_marker = id == kMarkerElementId;
      insert.Bind(kObjectId, id);
      const std::string_view type = kinds.TypeName(id);
      insert.Bind(kObjectType, type);
      if (is_marker) {
        insert.Bind(kObjectName, kMarkerName);
        insert.Bind(kObjectPackage, kModelPackageId);
        insert.BindNull(kObjectNote);
      } else {
        insert.Bind(kObjectName, name.Format(type, id));
        insert.Bind(kObjectPackage, static_cast<std::int64_t>(random.Below(package_count)) + kModelPackageId);
        if (random.Chance(kNotedElementsPerThree, kThree)) {
          insert.Bind(kObjectNote, note.Draw(random));
        } else {
          insert.BindNull(kObjectNote);
        }
      }
      const Timestamps times = DrawTimestamps(random);
      insert.Bind(kObjectCreated, created.Format(times.created));
      insert.Bind(kObjectModified, modified.Format(times.modified));
      insert.Bind(kObjectGuid, guid.Draw(random));
      insert.Run();
    }
  }

  void WriteTaggedValues(const ElementKinds& kinds, const std::string& root_guid) {
    RandomStream random(seed_, Stream::kTaggedValues);
    Statement insert(database_, kInsertTaggedValue);
    GuidText guid;
    std::string owner;
    owner.reserve(kLongestOwner);
    std::int64_t property_id = 0;
    const auto add = [&](std::int64_t object_id, std::string_view property, std::string_view value) {
      insert.Bind(kPropertyId, ++property_id);
      insert.Bind(kPropertyObject, object_id);
      insert.Bind(kPropertyName, property);
      insert.Bind(kPropertyValue, value);
      insert.Bind(kPropertyGuid, guid.Draw(random));
      insert.Run();
    };
    add(kMarkerElementId, kRootPackageProperty, root_guid);
    for (std::int64_t id = kFirstModelElementId; id <= element_count_; ++id) {
      if (kinds.IsRequirement(id) && random.Chance(kFlaggedRequirementsPerTen, kTen)) {
        add(id, kReconsiderProperty, kFlaggedValue);
      }
      if (random.Chance(kFurtherTaggedValuesPerTen, kTen)) {
        const TaggedValueText& further = kFurtherTaggedValues[random.Below(kFurtherTaggedValues.size())];
        std::string_view value = further.value;
        if (value.empty()) {
          owner.assign(kTeamPrefix).append(DrawWord(random));
          value = owner;
        }
        add(id, further.property, value);
      }
    }
  }

  void WriteConnectors(const ElementKinds& kinds) {
    RandomStream random(seed_, Stream::kConnectors);
    Statement insert(database_, kInsertConnector);
    GuidText guid;
    DateTimeText created;
    const std::vector<std::int64_t>& requirements = kinds.requirement_ids;
    const auto model_elements = static_cast<std::uint64_t>(element_count_ - kFirstModelElementId + 1);
    std::int64_t connector_id = 0;
    for (std::int64_t id = kFirstModelElementId; id <= element_count_; ++id) {
      const int count = kConnectorsPerElement[random.Below(kConnectorsPerElement.size())];
      for (int connector = 0; connector < count; ++connector) {
        insert.Bind(kConnectorId, ++connector_id);
        insert.Bind(kStartObject, id);
        // A model without requirements (a very small one) gets other kinds only.
        if (!requirements.empty() && random.Chance(kRealisationsPerThree, kThree)) {
          insert.Bind(kConnectorType, kRealisation);
          insert.Bind(kDirection, kSourceToDestination);
          insert.Bind(kEndObject, requirements[random.Below(requirements.size())]);
        } else {
          insert.Bind(kConnectorType, kOtherConnectorTypes[random.Below(kOtherConnectorTypes.size())]);
          insert.Bind(kDirection, kOtherDirections[random.Below(kOtherDirections.size())]);
          insert.Bind(kEndObject, static_cast<std::int64_t>(random.Below(model_elements)) + kFirstModelElementId);
        }
        insert.Bind(kConnectorGuid, guid.Draw(random));
        insert.Bind(kConnectorCreated, created.Format(DrawTimestamps(random).created));
        insert.Run();
      }
    }
  }

  Database& database_;
  const std::int64_t element_count_;
  const std::int64_t package_count_;
  const std::uint64_t seed_;
};

}  // namespace

void WriteModel(Database& database, std::int64_t element_count, std::uint64_t seed) {
  if (element_count < kFewestElements) throw std::invalid_argument("too few elements");
  ModelWriter(database, element_count, seed).Write();
}

}  // namespace bench
