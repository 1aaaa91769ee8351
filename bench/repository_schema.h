// The repository schema the generated files carry: the team's shared schema
// (the four tables and their seven indexes), kept here so the generator
// stands alone. The statements must stay as the shared schema words them; a
// test compares the two. The tables are made before the rows are loaded and
// the indexes after, which builds each index in one sorted pass.
#pragma once

namespace bench {

inline constexpr const char* kCreateTables = R"sql(
CREATE TABLE t_package (
  package_id    INTEGER PRIMARY KEY,
  name          VARCHAR(255),
  parent_id     INTEGER NOT NULL DEFAULT 0,
  createddate   DATETIME,
  modifieddate  DATETIME,
  notes         TEXT,
  ov_guid       VARCHAR(40),
  version       VARCHAR(50),
  owner         VARCHAR(255),
  sortorder     INTEGER DEFAULT 0,
  islocked      BOOLEAN NOT NULL DEFAULT 0,
  isshared      BOOLEAN NOT NULL DEFAULT 0,
  exportpath    VARCHAR(255),
  flags         VARCHAR(255)
);

CREATE TABLE t_object (
  object_id     INTEGER PRIMARY KEY,
  object_type   VARCHAR(255),
  name          VARCHAR(255),
  alias         VARCHAR(255),
  author        VARCHAR(255),
  version       VARCHAR(50),
  note          TEXT,
  package_id    INTEGER NOT NULL DEFAULT 0,
  stereotype    VARCHAR(255),
  status        VARCHAR(50),
  priority      SMALLINT DEFAULT 0,
  effort        DOUBLE DEFAULT 0,
  risk          TINYINT DEFAULT 0,
  createddate   DATETIME,
  modifieddate  DATETIME,
  visibility    VARCHAR(50),
  multiplicity  VARCHAR(50),
  tagged        INTEGER DEFAULT 0,
  ov_guid       VARCHAR(40),
  owner_id      INTEGER,
  sortorder     INTEGER DEFAULT 0,
  isabstract    BOOLEAN NOT NULL DEFAULT 0,
  isroot        BOOLEAN NOT NULL DEFAULT 0,
  isleaf        BOOLEAN NOT NULL DEFAULT 0,
  isactive      BOOLEAN NOT NULL DEFAULT 0,
  color         INTEGER DEFAULT -1,
  keywords      VARCHAR(255),
  rationale     TEXT,
  layout        TEXT
);

CREATE TABLE t_objectproperties (
  propertyid  INTEGER PRIMARY KEY,
  object_id   INTEGER NOT NULL DEFAULT 0,
  property    VARCHAR(255),
  value       VARCHAR(255),
  notes       TEXT,
  ov_guid     VARCHAR(40)
);

CREATE TABLE t_connector (
  connector_id     INTEGER PRIMARY KEY,
  name             VARCHAR(255),
  direction        VARCHAR(50),
  notes            TEXT,
  connector_type   VARCHAR(50),
  subtype          VARCHAR(50),
  source_role      VARCHAR(255),
  source_card      VARCHAR(50),
  target_role      VARCHAR(255),
  target_card      VARCHAR(50),
  start_object_id  INTEGER NOT NULL DEFAULT 0,
  end_object_id    INTEGER NOT NULL DEFAULT 0,
  stereotype       VARCHAR(50),
  weight           DOUBLE DEFAULT 1,
  linestyle        SMALLINT DEFAULT 0,
  linecolor        INTEGER DEFAULT -1,
  diagram_id       INTEGER DEFAULT 0,
  ov_guid          VARCHAR(40),
  isnavigable      BOOLEAN NOT NULL DEFAULT 0,
  isderived        BOOLEAN NOT NULL DEFAULT 0,
  createddate      DATETIME,
  constraints      TEXT
);
)sql";

inline constexpr const char* kCreateIndexes = R"sql(
CREATE INDEX ix_package_parent      ON t_package (parent_id);
CREATE INDEX ix_package_guid        ON t_package (ov_guid);
CREATE INDEX ix_object_package      ON t_object (package_id);
CREATE INDEX ix_object_type         ON t_object (object_type);
CREATE INDEX ix_property_object     ON t_objectproperties (object_id);
CREATE INDEX ix_connector_start     ON t_connector (start_object_id);
CREATE INDEX ix_connector_end       ON t_connector (end_object_id);
)sql";

}  // namespace bench
