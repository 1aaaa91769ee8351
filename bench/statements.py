"""The statements the tool runs on a SQLite repository, and the sqlite3 shell
script that repeats them.

The texts here must stay byte for byte those of src/repository and
src/reconsider: the shell baseline is only a fair comparison while it parses
and plans the very statements the tool does.
"""

import sqlite3
import urllib.parse

PRAGMAS = ("pragma cache_size = -16384", "pragma synchronous = normal", "pragma synchronous = extra")

ROOT_GUID_QUERY = (
    "select value from t_objectproperties, t_object where t_object.object_id = "
    "t_objectproperties.object_id and property = 'RootPackageID' and name = '##MorlaneInfo##'"
)

PACKAGE_LOOKUP = "select package_id from t_package where ov_guid = ?"


def subtree_pass(ids):
    return ("select package_id from t_package where parent_id in (" + ids
            + ") and not package_id in (" + ids + ")")


def reconsider_query(ids):
    return ("select t_object.object_id from t_object, t_objectproperties where t_object.object_id = "
            "t_objectproperties.object_id and property = 'IsReconsider' and value = 'True' and "
            "package_id in (" + ids + ")")


def realising_query(ids):
    return ("select t_object.object_id from t_object, t_connector where t_object.object_id = "
            "t_connector.start_object_id and direction = 'Source -> Destination' and connector_type = "
            "'Realisation' and not object_type = 'Requirement' and end_object_id in (" + ids + ")")


def tag_update(ids):
    return "update t_object set tagged = 1 where object_id in (" + ids + ")"


class PlanError(Exception):
    pass


class Plan:
    """What one run of the tool does on one file: its four output lines and
    every statement text it sends, in order."""

    def __init__(self, guid, packages, flagged, realising, passes):
        self.guid = guid
        self.packages = packages
        self.flagged = flagged
        self.realising = realising
        self.passes = passes

    def lines(self):
        return [self.guid, self.packages, self.flagged, self.realising]


def _id_text(value):
    # The tool prints ids through a decimal text conversion; anything but an
    # integer would make its lines and ours disagree in ways not worth guessing.
    if isinstance(value, int) and not isinstance(value, bool):
        return str(value)
    raise PlanError("an id that is not an integer: %r" % (value,))


def _id_list(connection, sql):
    return ",".join(_id_text(row[0]) for row in connection.execute(sql))


def compute_plan(path):
    """Runs the tool's reading statements on PATH (opened read-only) and
    returns what the tool must print for it."""
    uri = "file:" + urllib.parse.quote(path) + "?mode=ro"
    connection = sqlite3.connect(uri, uri=True, isolation_level=None)
    try:
        row = connection.execute(ROOT_GUID_QUERY).fetchone()
        if row is None or not isinstance(row[0], str):
            raise PlanError("no root package GUID in %s" % path)
        guid = row[0]
        row = connection.execute(PACKAGE_LOOKUP, (guid,)).fetchone()
        if row is None:
            raise PlanError("no package with the root GUID %s in %s" % (guid, path))
        packages = _id_text(row[0])
        passes = []
        while True:
            statement = subtree_pass(packages)
            passes.append(statement)
            found = [_id_text(r[0]) for r in connection.execute(statement)]
            if not found:
                break
            packages += "".join("," + i for i in found)
        flagged = _id_list(connection, reconsider_query(packages))
        if not flagged:
            raise PlanError("no flagged element in %s: the tool would stop before tagging" % path)
        realising = _id_list(connection, realising_query(flagged))
        if not realising:
            raise PlanError("no realising element in %s: the tool would stop before tagging" % path)
        return Plan(guid, packages, flagged, realising, passes)
    finally:
        connection.close()


def _dot_command_argument(text):
    # A double-quoted argument of a dot-command is the only form in which the
    # shell resolves backslash escapes, so any character can pass through.
    if "\0" in text:
        raise PlanError("a GUID with a NUL character cannot be bound in the shell")
    escaped = (text.replace("\\", "\\\\").replace('"', '\\"')
               .replace("\n", "\\n").replace("\r", "\\r"))
    return '"' + escaped + '"'


def _sql_text_literal(text):
    return "'" + text.replace("'", "''") + "'"


def shell_script(plan):
    """The sqlite3 shell script doing the tool's work in one transaction.

    The pragmas come first because synchronous cannot change inside a
    transaction; the tool's own begin and commit around the update fold into
    the one transaction around everything.
    """
    lines = [p + ";" for p in PRAGMAS]
    lines.append("begin;")
    lines.append(ROOT_GUID_QUERY + ";")
    # The value is given as an SQL literal so that it binds as text whatever
    # it looks like (a GUID of digits alone would otherwise bind as a number).
    lines.append(".parameter set ?1 " + _dot_command_argument(_sql_text_literal(plan.guid)))
    lines.append(PACKAGE_LOOKUP + ";")
    lines.extend(statement + ";" for statement in plan.passes)
    lines.append(reconsider_query(plan.packages) + ";")
    lines.append(realising_query(plan.flagged) + ";")
    lines.append(tag_update(plan.realising) + ";")
    lines.append("commit;")
    return "\n".join(lines) + "\n"


def shell_output(plan):
    """The lines the shell prints for shell_script(plan) in its default
    list mode: one value per row."""
    out = [plan.guid]
    out.extend(plan.packages.split(","))
    out.extend(plan.flagged.split(","))
    out.extend(plan.realising.split(","))
    return out
