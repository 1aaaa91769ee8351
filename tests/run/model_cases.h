// Small models built row by row on the shared schema, each with the lines
// and exit status a run on it gives: the shape of the package tree, which
// tagged values flag an element, which connectors make a realiser, and where
// a run stops when a step finds nothing. Every repository format runs them.
#pragma once

#include <ostream>
#include <string>

#include "run/run_checks.h"

namespace model_cases {

using namespace run_checks;

inline const std::string kRoot = "{5B0C2D8E-1F3A-4E6B-9C7D-0A1B2C3D4E5F}";
inline const std::string kOther = "{0E1D2C3B-4A59-4687-9564-738291A0B1C2}";

struct ModelCase {
  std::string name;
  std::string rows;
  Expectation expected;
  bool sqlite_only = false;  // rows a Jet file cannot hold (a text in a number column)
  friend void PrintTo(const ModelCase& value, std::ostream* out) { *out << value.name; }
};

// A root package 10 holding flagged requirement 100, realised by class 200.
inline std::string SmallModel() {
  return Marker(kRoot) + Package(10, 0, kRoot) + Requirement(100, 10) + Flag(100) + Class(200, 10) +
         Realises(200, 100);
}

inline const ModelCase kTreeCases[] = {
    {"RootWithoutChildren", SmallModel(), {{kRoot, "10", "100", "200"}, 0}},
    {"DeepChain",
     Marker(kRoot) + Package(10, 0, kRoot) + Package(11, 10) + Package(12, 11) + Package(13, 12) +
         Package(14, 13) + Package(15, 14) + Requirement(100, 15) + Flag(100) + Requirement(101, 12) +
         Flag(101) + Class(200, 15) + Realises(200, 100) + Class(201, 10) + Realises(201, 101),
     {{kRoot, "10|11|12|13|14|15", "100,101", "200,201"}, 0}},
    {"WideLevels",
     Marker(kRoot) + Package(10, 0, kRoot) + Package(11, 10) + Package(12, 10) + Package(13, 10) +
         Package(21, 11) + Package(22, 12) + Package(23, 13) + Package(24, 11) + Package(31, 24) +
         Requirement(100, 31) + Flag(100) + Requirement(101, 22) + Flag(101) + Class(200, 23) +
         Realises(200, 100) + Realises(200, 101),
     {{kRoot, "10|11,12,13|21,22,23,24|31", "100,101", "200,200"}, 0}},
    {"RootBelowTheTopOfTheModel",
     // Packages above the root and beside it are outside the subtree.
     Marker(kRoot) + Package(10, 0) + Package(11, 10, kRoot) + Package(12, 11) + Package(13, 12) +
         Package(20, 10) + Package(21, 20) + Requirement(100, 10) + Flag(100) + Requirement(101, 20) +
         Flag(101) + Requirement(102, 13) + Flag(102) + Requirement(103, 11) + Flag(103) + Requirement(104, 21) +
         Flag(104) + Class(200, 10) + Realises(200, 100) + Class(201, 12) + Realises(201, 101) +
         Class(202, 12) + Realises(202, 102) + Class(203, 20) + Realises(203, 103) + Class(204, 11) +
         Realises(204, 104),
     {{kRoot, "11|12|13", "102,103", "202,203"}, 0}},
    {"ParentCycleThroughTheRoot",
     Marker(kRoot) + Package(10, 11, kRoot) + Package(11, 10) + Package(12, 11) + Requirement(100, 12) +
         Flag(100) + Class(200, 10) + Realises(200, 100),
     {{kRoot, "10|11|12", "100", "200"}, 0}},
    {"RootIsItsOwnParent",
     Marker(kRoot) + Package(10, 10, kRoot) + Package(11, 10) + Requirement(100, 11) + Flag(100) +
         Class(200, 10) + Realises(200, 100),
     {{kRoot, "10|11", "100", "200"}, 0}},
    {"NegativeAndExtremeIds",
     Marker(kRoot) + Package(-5, 0, kRoot) + Package(-6, -5) + Package(2147483647, -6) +
         Requirement(-100, 2147483647) + Flag(-100) + Class(2147483647, -5) + Realises(2147483647, -100) +
         Class(-200, 2147483647) + Realises(-200, -100) + Class(-2147483647 - 1, -6) +
         Realises(-2147483647 - 1, -100),
     {{kRoot, "-5|-6|2147483647", "-100", "2147483647,-200,-2147483648"}, 0}},
    {"NonAsciiGuid",
     Marker("{Ünïcode-€-ü}") + Package(10, 0, "{Ünïcode-€-ü}") + Requirement(100, 10) + Flag(100) +
         Class(200, 10) + Realises(200, 100),
     {{"{Ünïcode-€-ü}", "10", "100", "200"}, 0}},
    {"PackageIdZeroBelowTheRoot",
     // 0 is also the parent_id of the model's top packages.
     Marker(kRoot) + Package(10, 0, kRoot) + Package(0, 10) + Package(20, 0) + Requirement(100, 20) +
         Flag(100) + Class(200, 10) + Realises(200, 100),
     {{kRoot, "10|0|20", "100", "200"}, 0}},
};

inline const ModelCase kSelectionCases[] = {
    {"SeveralFlaggedAndRealisers",
     Marker(kRoot) + Package(10, 0, kRoot) + Package(11, 10) + Package(12, 10) + Requirement(100, 10) +
         Flag(100) + Requirement(101, 11) + Flag(101) + Requirement(102, 12) + Flag(102) + Class(200, 10) +
         Realises(200, 100) + Class(201, 11) + Realises(201, 101) + Class(202, 12) + Realises(202, 102) +
         Class(203, 12) + Realises(203, 100) + Realises(203, 101) + Element(204, "Component", 11) +
         Realises(204, 102),
     {{kRoot, "10|11,12", "100,101,102", "200,201,202,203,203,204"}, 0}},
    {"DuplicateConnectors",
     SmallModel() + Realises(200, 100) + Class(201, 10) + Realises(201, 100),
     {{kRoot, "10", "100", "200,200,201"}, 0}},
    {"ElementFlaggedTwice",
     // Listed once per flag; its realiser still once per connector.
     SmallModel() + Flag(100),
     {{kRoot, "10", "100,100", "200"}, 0}},
    {"RealisersAnywhereInTheModel",
     SmallModel() + Package(50, 0) + Class(201, 50) + Realises(201, 100) + Class(202, 999) +
         Realises(202, 100),
     {{kRoot, "10", "100", "200,201,202"}, 0}},
    {"ConnectorsThatDoNotRealise",
     SmallModel() + Requirement(101, 10) +
         // a requirement, an element without a type, the wrong kind or
         // direction of connector, a connector into an unflagged element,
         // one from the flagged element, one from no element at all
         Requirement(201, 10) + Realises(201, 100) + Element(202, nullptr, 10) + Realises(202, 100) +
         Class(203, 10) + Connector(203, 100, "Dependency") + Class(204, 10) +
         Connector(204, 100, "Realisation", "Destination -> Source") + Class(205, 10) +
         Connector(205, 100, "Realisation", "Bi-Directional") + Class(206, 10) +
         Connector(206, 100, "Realisation", nullptr) + Class(207, 10) + Connector(207, 100, nullptr) +
         Class(208, 10) + Realises(208, 101) + Class(209, 10) + Realises(100, 209) + Realises(999, 100),
     {{kRoot, "10", "100", "200"}, 0}},
    {"FlaggedElementsOfOtherTypes",
     // Any element may be flagged; only requirements are never realisers.
     SmallModel() + Class(101, 10) + Flag(101) + Realises(101, 100) + Element(202, "Component", 10) +
         Realises(202, 101),
     {{kRoot, "10", "100,101", "200,101,202"}, 0}},
    {"TaggedValuesThatDoNotFlag",
     SmallModel() + Requirement(101, 10) + TaggedValue(101, "IsReconsider", "False") + Requirement(102, 10) +
         TaggedValue(102, "IsReconsider", nullptr) + Requirement(103, 10) + TaggedValue(103, "IsReconsider", "") +
         Requirement(104, 10) + TaggedValue(104, "Reconsider", "True") + Requirement(105, 10) +
         TaggedValue(105, "Status", "IsReconsider") + Package(50, 0) + Requirement(106, 50) + Flag(106) +
         Flag(999) + Class(201, 10) + Realises(201, 101) + Realises(201, 102) + Realises(201, 103) +
         Realises(201, 104) + Realises(201, 105) + Realises(201, 106),
     {{kRoot, "10", "100", "200"}, 0}},
    {"TaggedColumnValuesBeforeTheRun",
     // Realisers end at 1 whatever they held; the others keep their value.
     Marker(kRoot) + Package(10, 0, kRoot) + Requirement(100, 10) + Flag(100) +
         Element(200, "Class", 10, "0") + Element(201, "Class", 10, "1") + Element(202, "Class", 10, "NULL") +
         Element(203, "Class", 10, "7") + Element(204, "Class", 10, "-1") + Element(300, "Class", 10, "1") +
         Element(301, "Class", 10, "NULL") + Element(302, "Class", 10, "7") + Element(303, "Class", 10, "'yes'") +
         Realises(200, 100) + Realises(201, 100) + Realises(202, 100) + Realises(203, 100) + Realises(204, 100),
     {{kRoot, "10", "100", "200,201,202,203,204"}, 0},
     true},
};

inline const ModelCase kStopCases[] = {
    {"NoMarkerElement",
     Package(10, 0, kRoot) + Requirement(100, 10) + Flag(100) + Class(200, 10) + Realises(200, 100),
     {{}, 1}},
    {"MarkerWithoutRootPackageId",
     Element(1, "Text", 0, "0", "##MorlaneInfo##") + TaggedValue(1, "RootPackage", kRoot.c_str()) +
         Package(10, 0, kRoot) + Requirement(100, 10) + Flag(100) + Class(200, 10) + Realises(200, 100),
     {{}, 1}},
    {"RootPackageIdOnAnotherElement",
     Element(1, "Text", 0, "0", "Info") + TaggedValue(1, "RootPackageID", kRoot.c_str()) + Package(10, 0, kRoot) +
         Requirement(100, 10) + Flag(100) + Class(200, 10) + Realises(200, 100),
     {{}, 1}},
    {"GuidNoPackageCarries",
     Marker(kOther) + Package(10, 0, kRoot) + Requirement(100, 10) + Flag(100) + Class(200, 10) +
         Realises(200, 100),
     {{kOther}, 1}},
    {"GuidHoldingSqlText",
     // The GUID is a value to look up, never part of a statement.
     Marker("x' or 1=1 or ov_guid='") + Package(10, 0, kRoot) + Requirement(100, 10) + Flag(100) +
         Class(200, 10) + Realises(200, 100),
     {{"x' or 1=1 or ov_guid='"}, 1}},
    {"EmptyGuid",
     Element(1, "Text", 0, "0", "##MorlaneInfo##") + TaggedValue(1, "RootPackageID", "") + Package(10, 0) +
         Requirement(100, 10) + Flag(100) + Class(200, 10) + Realises(200, 100),
     {{""}, 1}},
    {"NothingFlaggedInTheSubtree",
     Marker(kRoot) + Package(10, 0, kRoot) + Package(11, 10) + Package(50, 0) + Requirement(100, 50) +
         Flag(100) + Requirement(101, 11) + TaggedValue(101, "IsReconsider", "False") + Class(200, 10) +
         Realises(200, 100) + Realises(200, 101),
     {{kRoot, "10|11"}, 1}},
    {"FlaggedButNotRealised",
     Marker(kRoot) + Package(10, 0, kRoot) + Requirement(100, 10) + Flag(100) + Requirement(101, 10) +
         Realises(101, 100) + Class(200, 10) + Connector(200, 100, "Dependency") + Class(201, 10) +
         Connector(201, 100, "Realisation", "Destination -> Source") + Realises(100, 201),
     {{kRoot, "10", "100"}, 1}},
};

}  // namespace model_cases
