#include "support/jet_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "support/process.h"

namespace testing_support {
namespace {

// mdb-export without quotes, with separators no repository text holds.
const std::string kFieldSeparator = "\x1f";
const std::string kRecordSeparator = "\x1e";

std::vector<std::string> SplitOn(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + separator.size();
  }
}

std::vector<std::vector<std::string>> ExportTable(const std::string& path, const std::string& table) {
  const ProcessResult result = RunProcess(
      "mdb-export", {"-Q", "-d", kFieldSeparator, "-R", kRecordSeparator, "-D", "%Y-%m-%d %H:%M:%S", "-T",
                     "%Y-%m-%d %H:%M:%S", path, table});
  EXPECT_EQ(result.exit_status, 0) << "mdb-export " << path << " " << table << ": " << result.standard_error;
  std::vector<std::vector<std::string>> records;
  for (const std::string& record : SplitOn(result.standard_output, kRecordSeparator)) {
    if (!record.empty()) records.push_back(SplitOn(record, kFieldSeparator));
  }
  return records;
}

}  // namespace

const char* FormatName(RepositoryFormat format) {
  switch (format) {
    case RepositoryFormat::kSqlite:
      return "Sqlite";
    case RepositoryFormat::kJet4:
      return "Jet4";
    case RepositoryFormat::kJet3:
      return "Jet3";
  }
  return "";
}

const char* FormatExtension(RepositoryFormat format) {
  return format == RepositoryFormat::kSqlite ? ".sqlite" : ".mdb";
}

bool IsJetFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::string head(20, '\0');
  file.read(head.data(), static_cast<std::streamsize>(head.size()));
  return file && head.compare(4, 15, "Standard Jet DB") == 0;
}

void ConvertToJet(const std::string& sqlite_path, const std::string& jet_path, RepositoryFormat format,
                  const std::vector<std::string>& options) {
  std::vector<std::string> arguments = {std::string(RECONSIDER_SHARED_DIR) + "/tools/sqlite2jet", "-q"};
  if (format == RepositoryFormat::kJet3) arguments.push_back("--jet3");
  arguments.insert(arguments.end(), options.begin(), options.end());
  arguments.push_back(sqlite_path);
  arguments.push_back(jet_path);
  const ProcessResult result = RunProcess("python3", arguments);
  ASSERT_EQ(result.exit_status, 0) << "sqlite2jet: " << result.standard_error;
}

std::vector<std::string> JetTables(const std::string& path) {
  const ProcessResult result = RunProcess("mdb-tables", {"-1", path});
  EXPECT_EQ(result.exit_status, 0) << "mdb-tables " << path << ": " << result.standard_error;
  return result.Lines();
}

std::vector<std::string> JetColumns(const std::string& path, const std::string& table) {
  const ProcessResult result =
      RunProcess("mdb-export", {"-Q", "-d", kFieldSeparator, "-R", kRecordSeparator, path, table});
  return SplitOn(SplitOn(result.standard_output, kRecordSeparator).front(), kFieldSeparator);
}

Rows DumpJetDatabase(const std::string& path) {
  Rows dump;
  for (const std::string& table : JetTables(path)) {
    std::vector<std::vector<std::string>> records = ExportTable(path, table);
    if (records.empty()) continue;
    records.erase(records.begin());  // the header
    std::sort(records.begin(), records.end());
    for (std::vector<std::string>& record : records) {
      record.insert(record.begin(), table);
      dump.push_back(std::move(record));
    }
  }
  return dump;
}

}  // namespace testing_support
