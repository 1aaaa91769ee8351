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


def _plan(values, where):
    """The tool's reading statements, run through VALUES(sql, parameters),
    which answers the first column of every row in the engine's order."""
    found = values(ROOT_GUID_QUERY, ())
    if not found or not isinstance(found[0], str):
        raise PlanError("no root package GUID in %s" % where)
    guid = found[0]
    found = values(PACKAGE_LOOKUP, (guid,))
    if not found:
        raise PlanError("no package with the root GUID %s in %s" % (guid, where))
    packages = _id_text(found[0])
    passes = []
    while True:
        statement = subtree_pass(packages)
        passes.append(statement)
        ids = [_id_text(v) for v in values(statement, ())]
        if not ids:
            break
        packages += "".join("," + i for i in ids)
    flagged = ",".join(_id_text(v) for v in values(reconsider_query(packages), ()))
    if not flagged:
        raise PlanError("no flagged element in %s: the tool would stop before tagging" % where)
    realising = ",".join(_id_text(v) for v in values(realising_query(flagged), ()))
    if not realising:
        raise PlanError("no realising element in %s: the tool would stop before tagging" % where)
    return Plan(guid, packages, flagged, realising, passes)


def compute_plan(path):
    """Runs the tool's reading statements on PATH (opened read-only) and
    returns what the tool must print for it."""
    uri = "file:" + urllib.parse.quote(path) + "?mode=ro"
    connection = sqlite3.connect(uri, uri=True, isolation_level=None)
    try:
        return _plan(lambda sql, parameters: [row[0] for row in connection.execute(sql, parameters)], path)
    finally:
        connection.close()


def compute_server_plan(run_psql, where):
    """The same on a PostgreSQL database, through RUN_PSQL(script), which
    answers psql's unaligned output lines. The server's row order decides
    the lists, as it does for the tool; the parameter of the package lookup
    goes in as a quoted literal here, which selects the same rows."""
    def values(sql, parameters):
        if parameters:
            sql = sql.replace("?", _sql_text_literal(parameters[0]))
        lines = run_psql(sql + ";\n")
        return [int(line) if line.lstrip("-").isdigit() else line for line in lines]
    return _plan(values, where)


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


# What the tool adds on a server when the commit mode is 1, inside the
# transaction it begins for the update.
SERVER_DURABLE_COMMIT = "set local synchronous_commit to on"


def psql_script(plan):
    """The psql script doing the tool's work on a server in one
    transaction. The package lookup is prepared with its parameter, as the
    tool's provider sends it, and executed with the GUID as a value."""
    lines = ["begin;", SERVER_DURABLE_COMMIT + ";", ROOT_GUID_QUERY + ";"]
    lines.append("prepare package_lookup(text) as " + PACKAGE_LOOKUP.replace("?", "$1") + ";")
    lines.append("execute package_lookup(" + _sql_text_literal(plan.guid) + ");")
    lines.extend(statement + ";" for statement in plan.passes)
    lines.append(reconsider_query(plan.packages) + ";")
    lines.append(realising_query(plan.flagged) + ";")
    lines.append(tag_update(plan.realising) + ";")
    lines.append("commit;")
    return "\n".join(lines) + "\n"
