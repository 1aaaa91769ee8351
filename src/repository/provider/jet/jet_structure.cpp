// Table definitions and rows: the definition is collected from its page
// chain and parsed field by field with every count, number and offset
// checked against the bytes that are really there; rows are parsed from the
// end of the row backwards (null mask, then the variable-column trailer) and
// every offset is checked to lie inside the row in order.
#include "provider/jet/jet_structure.h"

#include <algorithm>
#include <array>

#include "com/error_info.h"
#include "provider/jet/jet_layout.h"
#include "provider/jet/jet_row_parser.h"
#include "provider/jet/jet_text.h"

namespace platform::provider::jet {
namespace detail {
namespace {

constexpr FormatLayout kJet3Layout = {
    /*page_size=*/kJet3PageSize,
    /*tdef_max_columns=*/21,
    /*tdef_variable_columns=*/23,
    /*tdef_column_count=*/25,
    /*tdef_logical_indexes=*/27,
    /*tdef_real_indexes=*/31,
    /*tdef_owned_map=*/35,
    /*tdef_header_size=*/43,
    /*tdef_vc_marker=*/true,
    /*real_index_count_entry=*/8,
    /*column_entry=*/18,
    /*column_number=*/1,
    /*column_variable_index=*/3,
    /*column_flags=*/13,
    /*column_fixed_offset=*/14,
    /*column_length=*/16,
    /*name_length_bytes=*/1,
    /*real_index_block=*/39,
    /*real_index_slots=*/0,
    /*logical_entry=*/20,
    /*logical_real_index=*/4,
    /*data_row_count=*/8,
    /*data_offset_table=*/10,
    /*row_count_bytes=*/1,
    /*long_value_piece=*/2032,
};

constexpr FormatLayout kJet4Layout = {
    /*page_size=*/kJet4PageSize,
    /*tdef_max_columns=*/41,
    /*tdef_variable_columns=*/43,
    /*tdef_column_count=*/45,
    /*tdef_logical_indexes=*/47,
    /*tdef_real_indexes=*/51,
    /*tdef_owned_map=*/55,
    /*tdef_header_size=*/63,
    /*tdef_vc_marker=*/false,
    /*real_index_count_entry=*/12,
    /*column_entry=*/25,
    /*column_number=*/5,
    /*column_variable_index=*/7,
    /*column_flags=*/15,
    /*column_fixed_offset=*/21,
    /*column_length=*/23,
    /*name_length_bytes=*/2,
    /*real_index_block=*/52,
    /*real_index_slots=*/4,
    /*logical_entry=*/28,
    /*logical_real_index=*/8,
    /*data_row_count=*/12,
    /*data_offset_table=*/14,
    /*row_count_bytes=*/2,
    /*long_value_piece=*/4072,
};

}  // namespace

const FormatLayout& LayoutOf(JetVersion version) {
  return version == JetVersion::kJet3 ? kJet3Layout : kJet4Layout;
}

HRESULT Damaged(const JetFile& file, const std::string& what) {
  return ReportError(E_FILE_CORRUPT, file.Path() + " is damaged: " + what);
}

std::string Place::Describe() const {
  std::string text = "table at page " + std::to_string(table) + ", " + kind;
  if (page != kUnknownPage) text += " " + std::to_string(page);
  return text;
}

std::string Place::Describe(std::uint16_t slot) const { return Describe() + " slot " + std::to_string(slot); }

HRESULT FindSlot(const JetFile& file, const std::uint8_t* page, std::uint16_t slot, const Place& place,
                 SlotRange* range) {
  const FormatLayout& layout = LayoutOf(file.Version());
  const std::uint16_t rows = ReadU16(page + layout.data_row_count);
  if (rows > kMaxSlots) {
    return Damaged(file, place.Describe() + " claims " + std::to_string(rows) + " rows; a page holds at most " +
                             std::to_string(kMaxSlots));
  }
  if (slot >= rows) {
    return Damaged(file, place.Describe() + " has no slot " + std::to_string(slot) + " (it holds " +
                             std::to_string(rows) + " rows)");
  }
  const std::size_t table_end = layout.data_offset_table + kSlotEntryBytes * rows;
  const std::size_t entry_at = layout.data_offset_table + kSlotEntryBytes * slot;
  const std::uint16_t entry = ReadU16(page + entry_at);
  const std::uint16_t start = entry & kSlotOffsetMask;
  const std::uint32_t end =
      slot == 0 ? layout.page_size : (ReadU16(page + entry_at - kSlotEntryBytes) & kSlotOffsetMask);
  if (start < table_end || start > end || end > layout.page_size) {
    return Damaged(file, place.Describe(slot) + ": row offset " + std::to_string(start) +
                             " lies outside " + std::to_string(table_end) + ".." + std::to_string(end));
  }
  range->flags = entry & kSlotFlagsMask;
  range->start = start;
  range->end = static_cast<std::uint16_t>(end);
  return S_OK;
}

std::uint16_t FixedSize(const ColumnDefinition& column) {
  switch (column.type) {
    case kTypeBoolean: return 0;
    case kTypeByte: return 1;
    case kTypeInteger: return 2;
    case kTypeLong:
    case kTypeSingle: return 4;
    case kTypeCurrency:
    case kTypeDouble:
    case kTypeDateTime: return 8;
    case kTypeGuid: return 16;
    case kTypeNumeric: return 17;
    default: return column.length;  // fixed binary or text: the definition's length
  }
}

ValueSpan LocateValue(const RowLayout& row, const std::uint8_t* page, const ColumnDefinition& column) {
  constexpr unsigned kBitsPerByte = 8;
  ValueSpan span;
  if (column.number >= row.stored_columns) return span;
  const std::uint8_t mask = page[row.null_mask + column.number / kBitsPerByte];
  if ((mask & (1U << (column.number % kBitsPerByte))) == 0) return span;
  if (column.IsFixed()) {
    span.begin = static_cast<std::uint16_t>(row.fixed_area + column.fixed_offset);
    span.end = static_cast<std::uint16_t>(span.begin + FixedSize(column));
  } else {
    if (static_cast<std::size_t>(column.variable_index) + 1 >= row.variable_offsets.size()) return span;
    span.begin = row.variable_offsets[column.variable_index];
    span.end = row.variable_offsets[column.variable_index + 1U];
  }
  span.present = true;
  return span;
}

// ---------------------------------------------------------------------------
// Rows

namespace {

constexpr unsigned kBitsPerByte = 8;
constexpr std::uint32_t kJumpSpan = 256;  // Jet 3 offsets are one byte; the jump table adds the 256s

std::uint16_t MaskBytes(std::uint16_t stored_columns) {
  return static_cast<std::uint16_t>((stored_columns + kBitsPerByte - 1) / kBitsPerByte);
}

std::uint16_t ReadCount(const FormatLayout& layout, const std::uint8_t* at) {
  return layout.row_count_bytes == 1 ? at[0] : ReadU16(at);
}

}  // namespace

RowParser::RowParser(const JetFile& file, const TableDefinition& table)
    : file_(file), layout_(LayoutOf(file.Version())), table_(table),
      fixed_end_(static_cast<std::size_t>(table.max_columns) + 1, 0) {
  for (const ColumnDefinition& column : table.columns) {
    if (!column.IsFixed() || column.number >= table.max_columns) continue;
    const auto end = static_cast<std::uint16_t>(column.fixed_offset + FixedSize(column));
    std::uint16_t& slot = fixed_end_[column.number + 1U];
    slot = std::max(slot, end);
  }
  for (std::size_t n = 1; n < fixed_end_.size(); ++n) fixed_end_[n] = std::max(fixed_end_[n], fixed_end_[n - 1]);
}

HRESULT RowParser::Fail(const Place& place, std::uint16_t slot, const std::string& what) const {
  return Damaged(file_, place.Describe(slot) + ": " + what);
}

HRESULT RowParser::Parse(const std::uint8_t* page, const SlotRange& range, const Place& place, std::uint16_t slot,
                         RowLayout* row) const {
  const std::uint16_t length = static_cast<std::uint16_t>(range.end - range.start);
  if (length < layout_.row_count_bytes) {
    return Fail(place, slot, "the row is " + std::to_string(length) + " bytes long, too short for a row");
  }
  const std::uint16_t stored = ReadCount(layout_, page + range.start);
  if (stored == 0 || stored > table_.max_columns) {
    return Fail(place, slot, "the row stores " + std::to_string(stored) +
                              " columns; the table has at most " + std::to_string(table_.max_columns));
  }
  const std::uint16_t mask_bytes = MaskBytes(stored);
  if (layout_.row_count_bytes + mask_bytes > length) {
    return Fail(place, slot, "the row of " + std::to_string(length) + " bytes cannot hold the null mask of " +
                              std::to_string(stored) + " columns");
  }
  row->start = range.start;
  row->end = range.end;
  row->stored_columns = stored;
  row->fixed_area = static_cast<std::uint16_t>(range.start + layout_.row_count_bytes);
  row->null_mask = static_cast<std::uint16_t>(range.end - mask_bytes);
  if (table_.variable_columns == 0) {
    // A table without variable columns writes no trailer at all.
    row->variable_offsets.assign(1, row->null_mask);
  } else {
    const HRESULT parsed = ParseVariableOffsets(page, row->null_mask, place, slot, row);
    if (Failed(parsed)) return parsed;
  }
  const std::uint32_t fixed_needed = row->fixed_area + fixed_end_[stored];
  if (fixed_needed > row->variable_offsets.front()) {
    return Fail(place, slot, "the fixed columns end at " + std::to_string(fixed_needed) +
                              ", past the start of the variable data at " +
                              std::to_string(row->variable_offsets.front()));
  }
  return S_OK;
}

HRESULT RowParser::ParseVariableOffsets(const std::uint8_t* page, std::uint16_t trailer_end, const Place& place,
                                        std::uint16_t slot, RowLayout* row) const {
  const std::size_t width = layout_.row_count_bytes;
  const std::size_t room = trailer_end - row->fixed_area;  // bytes between the column count and the mask
  if (room < width) return Fail(place, slot, "the row has no room for its variable-column count");
  const std::uint16_t variable_count = ReadCount(layout_, page + trailer_end - width);
  if (variable_count > table_.variable_columns) {
    return Fail(place, slot, "the row stores " + std::to_string(variable_count) +
                              " variable columns; the table has " + std::to_string(table_.variable_columns));
  }
  if (file_.Version() == JetVersion::kJet3) return ParseJet3Offsets(page, trailer_end, variable_count, place, slot, row);

  const std::size_t entries = static_cast<std::size_t>(variable_count) + 1;  // offsets, then eod
  if (room < width * (entries + 1)) {
    return Fail(place, slot, "the row is too short for its " + std::to_string(variable_count) +
                              " variable-column offsets");
  }
  row->variable_offsets.resize(entries);
  const std::uint8_t* first_entry = page + trailer_end - 2 * width;
  for (std::size_t i = 0; i < entries; ++i) {
    row->variable_offsets[i] = static_cast<std::uint16_t>(row->start + ReadU16(first_entry - width * i));
  }
  const auto trailer_start = static_cast<std::uint16_t>(trailer_end - width * (entries + 1));
  std::uint16_t previous = row->fixed_area;
  for (std::size_t i = 0; i < entries; ++i) {
    const std::uint16_t offset = row->variable_offsets[i];
    if (offset < previous || offset > trailer_start) {
      return Fail(place, slot, "variable-column offset " + std::to_string(i) + " (" +
                                std::to_string(offset - row->start) + ") lies outside " +
                                std::to_string(previous - row->start) + ".." +
                                std::to_string(trailer_start - row->start) + " of the row");
    }
    previous = offset;
  }
  return S_OK;
}

HRESULT RowParser::ParseJet3Offsets(const std::uint8_t* page, std::uint16_t trailer_end, std::uint16_t variable_count,
                                    const Place& place, std::uint16_t slot, RowLayout* row) const {
  // Jet 3 keeps only the low byte of each offset; a jump table right after
  // the count says at which offset entries the high byte steps up. Its size
  // is counted from the whole row length, so its last entry may be a dummy.
  const std::size_t room = trailer_end - row->fixed_area;
  const std::size_t jumps = static_cast<std::size_t>(row->end - row->start - 1) / kJumpSpan;
  const std::size_t entries = static_cast<std::size_t>(variable_count) + 1;
  if (room < 1 + jumps + entries) {
    return Fail(place, slot, "the row is too short for its " + std::to_string(variable_count) +
                              " variable-column offsets");
  }
  const std::size_t jump_start = trailer_end - 2U;         // jump entry k at jump_start - k
  const std::size_t entry_start = jump_start - jumps;      // offset entry i at entry_start - i
  const std::size_t eod_at = entry_start - variable_count;  // also the first byte of the trailer
  std::size_t real_jumps = jumps;
  if (jumps > 0 && (eod_at - row->start) / kJumpSpan < jumps) --real_jumps;
  std::size_t previous_jump = 0;
  for (std::size_t k = 0; k < real_jumps; ++k) {
    const std::uint8_t jump = page[jump_start - k];
    if (jump < previous_jump || jump > variable_count) {
      return Fail(place, slot, "jump table entry " + std::to_string(k) + " (" + std::to_string(jump) +
                                ") is out of order or past the offsets");
    }
    previous_jump = jump;
  }
  row->variable_offsets.resize(entries);
  std::size_t jumps_used = 0;
  std::uint16_t previous = row->fixed_area;
  for (std::size_t i = 0; i < entries; ++i) {
    while (jumps_used < real_jumps && page[jump_start - jumps_used] == i) ++jumps_used;
    const std::size_t relative = page[entry_start - i] + kJumpSpan * jumps_used;
    const std::size_t offset = row->start + relative;
    if (offset < previous || offset > eod_at) {
      return Fail(place, slot, "variable-column offset " + std::to_string(i) + " (" +
                                std::to_string(relative) + ") lies outside " +
                                std::to_string(previous - row->start) + ".." + std::to_string(eod_at - row->start) +
                                " of the row");
    }
    row->variable_offsets[i] = static_cast<std::uint16_t>(offset);
    previous = row->variable_offsets[i];
  }
  return S_OK;
}

// ---------------------------------------------------------------------------
// Table definitions

namespace {

constexpr std::size_t kTdefNextOffset = 4;
constexpr std::size_t kTdefLengthOffset = 8;
constexpr std::size_t kContinuationHeader = 8;  // each continuation page repeats the 8-byte page header
constexpr std::size_t kVcMarkerOffset = 2;
constexpr std::array<std::uint8_t, 2> kVcMarker = {'V', 'C'};
constexpr std::uint16_t kMaxColumns = 255;
constexpr std::uint32_t kMaxIndexes = 32;
constexpr std::uint16_t kNoColumn = 0xFFFF;  // unused index slot; end of the long-value column list
constexpr std::size_t kIndexSlots = 10;
constexpr std::size_t kIndexSlotBytes = 3;  // column number, then the order byte
constexpr std::size_t kColumnNumberBytes = 2;
constexpr std::size_t kLongValueEntryRest = 8;  // the two usage maps after the column number
constexpr std::size_t kTerminatorBytes = 2;
constexpr int kNoLiveColumn = -1;

bool KnownType(std::uint8_t type) {
  constexpr std::uint8_t kTypeUnknown0D = 0x0D;  // seen in system tables; never read here
  constexpr std::uint8_t kTypeFixedBinary = 0x11;  // fixed binary block of system tables
  return (type >= kTypeBoolean && type <= kTypeMemo) || type == kTypeUnknown0D || type == kTypeGuid ||
         type == kTypeNumeric || type == kTypeFixedBinary;
}

// Types whose value always takes the same number of bytes, which the
// definition's length field must then agree with.
bool SizedType(std::uint8_t type) {
  return type == kTypeByte || type == kTypeInteger || type == kTypeLong || type == kTypeCurrency ||
         type == kTypeSingle || type == kTypeDouble || type == kTypeDateTime || type == kTypeGuid ||
         type == kTypeNumeric;
}

// Hands out the bytes of a definition in order, refusing to run past its end.
class DefinitionCursor {
 public:
  explicit DefinitionCursor(const std::vector<std::uint8_t>& bytes, std::size_t start)
      : bytes_(bytes), position_(start) {}
  const std::uint8_t* Take(std::size_t size) {
    if (size > bytes_.size() - position_) return nullptr;
    const std::uint8_t* at = bytes_.data() + position_;
    position_ += size;
    return at;
  }
  std::size_t Position() const { return position_; }

 private:
  const std::vector<std::uint8_t>& bytes_;
  std::size_t position_;
};

class DefinitionReader {
 public:
  DefinitionReader(const JetFile& file, std::uint32_t first_page, TableDefinition* table)
      : file_(file), layout_(LayoutOf(file.Version())), first_page_(first_page), table_(table),
        where_("table definition on page " + std::to_string(first_page)) {}

  HRESULT Read() {
    HRESULT result = Collect();
    if (Succeeded(result)) result = ReadHeader();
    if (Failed(result)) return result;
    DefinitionCursor cursor(bytes_, layout_.tdef_header_size);
    if (Succeeded(result)) result = SkipRealIndexCounts(&cursor);
    if (Succeeded(result)) result = ReadColumns(&cursor);
    if (Succeeded(result)) result = ReadRealIndexes(&cursor);
    if (Succeeded(result)) result = ReadLogicalIndexes(&cursor);
    if (Succeeded(result)) result = ReadLongValueColumns(&cursor);
    return result;
  }

 private:
  HRESULT Fail(const std::string& what) const { return Damaged(file_, where_ + ": " + what); }

  HRESULT CheckPage(std::uint32_t number, const std::vector<std::uint8_t>& page) const {
    const bool marked = !layout_.tdef_vc_marker ||
                        std::equal(kVcMarker.begin(), kVcMarker.end(), page.begin() + kVcMarkerOffset);
    if (page[kPageTypeOffset] != kPageTypeTableDefinition || page[kPageMarkerOffset] != kPageMarker || !marked) {
      return Fail("page " + std::to_string(number) + " is not a table definition page");
    }
    return S_OK;
  }

  HRESULT ReadDefinitionPage(std::uint32_t number, std::vector<std::uint8_t>* page) const {
    if (number == 0 || number >= file_.PageCount()) {
      return Fail("page " + std::to_string(number) + " lies outside the file's " +
                  std::to_string(file_.PageCount()) + " pages");
    }
    const HRESULT read = file_.ReadPage(number, page->data());
    if (Failed(read)) return read;
    return CheckPage(number, *page);
  }

  // The whole first page, then bytes 8.. of each continuation page, for
  // exactly as many pages as the length needs and no more.
  HRESULT Collect() {
    const std::uint32_t page_size = layout_.page_size;
    std::vector<std::uint8_t> page(page_size);
    HRESULT result = ReadDefinitionPage(first_page_, &page);
    if (Failed(result)) return result;
    const std::uint32_t length = ReadU32(page.data() + kTdefLengthOffset);
    if (length < layout_.tdef_header_size + kTerminatorBytes) {
      return Fail("its length " + std::to_string(length) + " is too short for a table definition");
    }
    const std::uint64_t pages_needed =
        length <= page_size ? 1 : 1 + (length - page_size + (page_size - kContinuationHeader) - 1) /
                                          (page_size - kContinuationHeader);
    if (pages_needed > file_.PageCount()) {
      return Fail("its length " + std::to_string(length) + " needs more pages than the file has");
    }
    bytes_.assign(page.begin(), page.begin() + std::min<std::uint32_t>(length, page_size));
    std::vector<std::uint32_t> visited{first_page_};
    std::uint32_t current = first_page_;
    std::uint32_t next = ReadU32(page.data() + kTdefNextOffset);
    for (std::uint64_t k = 1; k < pages_needed; ++k) {
      if (next == 0) {
        return Fail("the chain ends after page " + std::to_string(current) + ", but its length " +
                    std::to_string(length) + " needs " + std::to_string(pages_needed) + " pages");
      }
      if (std::find(visited.begin(), visited.end(), next) != visited.end()) {
        return Fail("page " + std::to_string(current) + " leads back to page " + std::to_string(next));
      }
      result = ReadDefinitionPage(next, &page);
      if (Failed(result)) return result;
      const std::size_t take = std::min<std::size_t>(length - bytes_.size(), page_size - kContinuationHeader);
      bytes_.insert(bytes_.end(), page.begin() + kContinuationHeader,
                    page.begin() + static_cast<std::ptrdiff_t>(kContinuationHeader + take));
      visited.push_back(next);
      current = next;
      next = ReadU32(page.data() + kTdefNextOffset);
    }
    if (next != 0) {
      return Fail("page " + std::to_string(current) + " names a next page " + std::to_string(next) +
                  ", but the length " + std::to_string(length) + " fits in " + std::to_string(pages_needed) +
                  (pages_needed == 1 ? " page" : " pages"));
    }
    return S_OK;
  }

  HRESULT ReadHeader() {
    const std::uint8_t* bytes = bytes_.data();
    table_->first_page = first_page_;
    table_->max_columns = ReadU16(bytes + layout_.tdef_max_columns);
    table_->variable_columns = ReadU16(bytes + layout_.tdef_variable_columns);
    table_->owned_pages_map = ReadU32(bytes + layout_.tdef_owned_map);
    column_count_ = ReadU16(bytes + layout_.tdef_column_count);
    logical_indexes_ = ReadU32(bytes + layout_.tdef_logical_indexes);
    real_indexes_ = ReadU32(bytes + layout_.tdef_real_indexes);
    if (column_count_ == 0 || column_count_ > table_->max_columns || table_->max_columns > kMaxColumns) {
      return Fail("column count " + std::to_string(column_count_) + " and columns ever allocated " +
                  std::to_string(table_->max_columns) + " do not fit 1 <= count <= allocated <= " +
                  std::to_string(kMaxColumns));
    }
    if (table_->variable_columns > table_->max_columns) {
      return Fail("variable column count " + std::to_string(table_->variable_columns) + " exceeds the " +
                  std::to_string(table_->max_columns) + " columns ever allocated");
    }
    if (real_indexes_ > logical_indexes_ || logical_indexes_ > kMaxIndexes) {
      return Fail("index counts (" + std::to_string(real_indexes_) + " real, " + std::to_string(logical_indexes_) +
                  " logical) do not fit real <= logical <= " + std::to_string(kMaxIndexes));
    }
    return S_OK;
  }

  HRESULT RanOut(const std::string& part) const {
    return Fail("its " + part + " run past its length " + std::to_string(bytes_.size()));
  }

  HRESULT SkipRealIndexCounts(DefinitionCursor* cursor) const {
    if (cursor->Take(layout_.real_index_count_entry * real_indexes_) == nullptr) return RanOut("index row counts");
    return S_OK;
  }

  HRESULT ReadColumns(DefinitionCursor* cursor) {
    table_->columns.assign(column_count_, ColumnDefinition{});
    for (ColumnDefinition& column : table_->columns) {
      const std::uint8_t* entry = cursor->Take(layout_.column_entry);
      if (entry == nullptr) return RanOut("column entries");
      column.type = entry[0];
      column.number = ReadU16(entry + layout_.column_number);
      column.variable_index = ReadU16(entry + layout_.column_variable_index);
      column.flags = entry[layout_.column_flags];
      column.fixed_offset = ReadU16(entry + layout_.column_fixed_offset);
      column.length = ReadU16(entry + layout_.column_length);
    }
    for (ColumnDefinition& column : table_->columns) {
      const HRESULT named = ReadName(cursor, &column.name);
      if (Failed(named)) return named;
    }
    return CheckColumns();
  }

  HRESULT ReadName(DefinitionCursor* cursor, std::string* name) const {
    const std::uint8_t* size_at = cursor->Take(layout_.name_length_bytes);
    if (size_at == nullptr) return RanOut("names");
    const std::size_t size = layout_.name_length_bytes == 1 ? size_at[0] : ReadU16(size_at);
    const std::uint8_t* text = cursor->Take(size);
    if (text == nullptr) return RanOut("names");
    if (name == nullptr) return S_OK;
    const TextDecoding decoded = file_.Version() == JetVersion::kJet3
                                     ? DecodeCodePageText(text, size, file_.CodePage(), name)
                                     : DecodeUcs2Text(text, size, name);
    if (decoded == TextDecoding::kUnsupportedCodePage) {
      return ReportError(E_BAD_FORMAT, file_.Path() + " keeps its names in code page " +
                                           std::to_string(file_.CodePage()) + ", which this provider does not read");
    }
    if (decoded != TextDecoding::kDecoded) {
      return Fail("a name at byte " + std::to_string(cursor->Position() - size) + " is not UCS-2 text");
    }
    return S_OK;
  }

  HRESULT CheckColumns() {
    const std::uint16_t max_columns = table_->max_columns;
    const std::size_t max_row = layout_.page_size - layout_.data_offset_table - kSlotEntryBytes;
    live_by_number_.assign(max_columns, kNoLiveColumn);
    std::vector<bool> variable_taken(table_->variable_columns, false);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> fixed_spans;
    for (std::size_t i = 0; i < table_->columns.size(); ++i) {
      const ColumnDefinition& column = table_->columns[i];
      const std::string name = "column '" + column.name + "'";
      if (!KnownType(column.type)) return Fail(name + " has unknown type " + std::to_string(column.type));
      if (column.number >= max_columns || live_by_number_[column.number] != kNoLiveColumn) {
        return Fail(name + " has number " + std::to_string(column.number) + ", which is taken or not below " +
                    std::to_string(max_columns));
      }
      live_by_number_[column.number] = static_cast<int>(i);
      if (column.IsFixed()) {
        if (SizedType(column.type) && column.length != FixedSize(column)) {
          return Fail(name + " has length " + std::to_string(column.length) + " for a type of " +
                      std::to_string(FixedSize(column)) + " bytes");
        }
        const std::uint32_t end = static_cast<std::uint32_t>(column.fixed_offset) + FixedSize(column);
        if (layout_.row_count_bytes + end > max_row) {
          return Fail(name + " ends at fixed offset " + std::to_string(end) + ", past the largest row");
        }
        if (end > column.fixed_offset) fixed_spans.emplace_back(column.fixed_offset, end);
      } else {
        if (column.variable_index >= table_->variable_columns || variable_taken[column.variable_index]) {
          return Fail(name + " has variable index " + std::to_string(column.variable_index) +
                      ", which is taken or not below " + std::to_string(table_->variable_columns));
        }
        variable_taken[column.variable_index] = true;
      }
    }
    std::sort(fixed_spans.begin(), fixed_spans.end());
    for (std::size_t i = 1; i < fixed_spans.size(); ++i) {
      if (fixed_spans[i].first < fixed_spans[i - 1].second) {
        return Fail("two fixed columns overlap at fixed offset " + std::to_string(fixed_spans[i].first));
      }
    }
    return S_OK;
  }

  HRESULT ReadRealIndexes(DefinitionCursor* cursor) {
    for (std::uint32_t index = 0; index < real_indexes_; ++index) {
      const std::uint8_t* block = cursor->Take(layout_.real_index_block);
      if (block == nullptr) return RanOut("index blocks");
      for (std::size_t slot = 0; slot < kIndexSlots; ++slot) {
        const std::uint16_t number = ReadU16(block + layout_.real_index_slots + kIndexSlotBytes * slot);
        if (number == kNoColumn) continue;
        if (number >= live_by_number_.size() || live_by_number_[number] == kNoLiveColumn) {
          return Fail("index " + std::to_string(index) + " names column number " + std::to_string(number) +
                      ", which the table does not have");
        }
        table_->columns[static_cast<std::size_t>(live_by_number_[number])].indexed = true;
      }
    }
    return S_OK;
  }

  HRESULT ReadLogicalIndexes(DefinitionCursor* cursor) const {
    for (std::uint32_t index = 0; index < logical_indexes_; ++index) {
      const std::uint8_t* entry = cursor->Take(layout_.logical_entry);
      if (entry == nullptr) return RanOut("index entries");
      const std::uint32_t real = ReadU32(entry + layout_.logical_real_index);
      if (real >= real_indexes_) {
        return Fail("index entry " + std::to_string(index) + " names real index " + std::to_string(real) +
                    " of " + std::to_string(real_indexes_));
      }
    }
    for (std::uint32_t index = 0; index < logical_indexes_; ++index) {
      const HRESULT named = ReadName(cursor, nullptr);
      if (Failed(named)) return named;
    }
    return S_OK;
  }

  HRESULT ReadLongValueColumns(DefinitionCursor* cursor) const {
    for (;;) {
      const std::uint8_t* number_at = cursor->Take(kColumnNumberBytes);
      if (number_at == nullptr) return RanOut("long-value columns");
      const std::uint16_t number = ReadU16(number_at);
      if (number == kNoColumn) break;
      if (number >= table_->max_columns) {
        return Fail("its long-value column list names column number " + std::to_string(number));
      }
      if (cursor->Take(kLongValueEntryRest) == nullptr) return RanOut("long-value columns");
    }
    if (cursor->Position() != bytes_.size()) {
      return Fail("its parts end at byte " + std::to_string(cursor->Position()) + ", not at its length " +
                  std::to_string(bytes_.size()));
    }
    return S_OK;
  }

  const JetFile& file_;
  const FormatLayout& layout_;
  const std::uint32_t first_page_;
  TableDefinition* table_;
  const std::string where_;
  std::vector<std::uint8_t> bytes_;
  std::uint16_t column_count_ = 0;
  std::uint32_t logical_indexes_ = 0;
  std::uint32_t real_indexes_ = 0;
  std::vector<int> live_by_number_;  // index into columns by column number
};

}  // namespace
}  // namespace detail

HRESULT ReadTableDefinition(const JetFile& file, std::uint32_t first_page, TableDefinition* table) {
  TableDefinition read;
  const HRESULT result = detail::DefinitionReader(file, first_page, &read).Read();
  if (Failed(result)) return result;
  *table = std::move(read);
  return S_OK;
}

HRESULT ParseRow(const JetFile& file, const std::uint8_t* page, std::uint16_t slot, const TableDefinition& table,
                 RowLayout* row) {
  detail::Place place;
  place.table = table.first_page;
  detail::SlotRange range;
  const HRESULT found = detail::FindSlot(file, page, slot, place, &range);
  if (Failed(found)) return found;
  if (range.flags != 0 && range.flags != kSlotMoved) {
    return detail::Damaged(file, place.Describe(slot) + " is a " +
                                     (range.flags == kSlotPointer ? "moved-row pointer" : "deleted row") +
                                     ", not a row");
  }
  return detail::RowParser(file, table).Parse(page, range, place, slot, row);
}

}  // namespace platform::provider::jet
