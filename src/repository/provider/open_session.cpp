// OpenSession: from a connection text to an open session.
//
// The Jet provider opens repository files. It tells their format from their
// content and hands each to the session that reads it; a format it cannot
// open fails here, before any statement runs. A data source that is a
// postgresql:// (or postgres://) address names a database server instead,
// and goes to the PostgreSQL session whole; everything else is a file path,
// taken as it is.
#include "com/ascii.h"
#include "com/error_info.h"
#include "provider/connection_text.h"
#include "provider/file_format.h"
#include "provider/jet/jet_file_session.h"
#include "provider/pg/pg_connection.h"
#include "provider/pg/pg_session.h"
#include "provider/property_names.h"
#include "provider/provider.h"
#include "provider/sqlite_file_session.h"

namespace platform::provider {

HRESULT OpenSession(std::string_view connection_text, std::unique_ptr<Session>* session) {
  ConnectionText parsed;
  const HRESULT read = ParseConnectionText(connection_text, &parsed);
  if (Failed(read)) return read;
  if (!EqualsIgnoringCase(parsed.provider, kJetProviderName)) {
    return ReportError(adErrProviderNotFound, "no provider named " + parsed.provider);
  }

  if (pg::IsServerAddress(parsed.data_source)) return pg::PgSession::Open(parsed.data_source, session);

  FileFormat format = FileFormat::kUnknown;
  const HRESULT probed = ProbeFileFormat(parsed.data_source, &format);
  if (Failed(probed)) return probed;
  switch (format) {
    case FileFormat::kSqlite:
      return SqliteFileSession::Open(parsed.data_source, session);
    case FileFormat::kJet3:
    case FileFormat::kJet4:
      return jet::JetFileSession::Open(parsed.data_source, session);
    case FileFormat::kAce:
    case FileFormat::kUnknown:
      break;
  }
  return ReportError(E_BAD_FORMAT, parsed.data_source + " is in no format the provider reads");
}

}  // namespace platform::provider
