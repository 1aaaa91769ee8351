// The storage of one table as a scan meets it: the owned-pages usage map,
// every data page it names, every row on them, the moved-row pointers
// between them and the long values of the chosen columns.
//
// The scan reads each mapped page once into one buffer and long-value pages
// into a second one; what has to be matched across pages (pointers and the
// moved rows they lead to) is kept as two vectors of page/slot keys and
// compared once, sorted, at the end.
#include <algorithm>

#include "com/error_info.h"
#include "provider/jet/jet_row_parser.h"
#include "provider/jet/jet_scan.h"

namespace platform::provider::jet {
namespace detail {
namespace {

constexpr std::uint8_t kMapInline = 0x00;
constexpr std::uint8_t kMapReference = 0x01;
constexpr std::size_t kMapTypeBytes = 1;
constexpr std::size_t kInlineMapHeader = kMapTypeBytes + 4;  // type, then the first page it covers
constexpr std::size_t kBitmapPageHeader = 4;                 // 05 01 00 00
constexpr unsigned kBitsPerByte = 8;

constexpr std::size_t kLongValueHeader = 12;
constexpr std::size_t kLongValueFlagOffset = 3;
constexpr std::size_t kLongValuePageRowOffset = 4;
constexpr std::uint8_t kLongValueInline = 0x80;
constexpr std::uint8_t kLongValueSingleRow = 0x40;
constexpr std::uint8_t kLongValueChain = 0x00;
constexpr std::size_t kChainLinkBytes = 4;  // each chain row starts with the pg_row of the next

using RowKey = std::uint64_t;  // page << 8 | slot

RowKey KeyOf(std::uint32_t page, std::uint16_t slot) {
  return (static_cast<RowKey>(page) << kPageRowPageShift) | slot;
}
std::string DescribeKey(RowKey key) {
  return "page " + std::to_string(key >> kPageRowPageShift) + " slot " + std::to_string(key & kPageRowSlotMask);
}

struct Pointer {
  RowKey target;
  RowKey source;
  bool operator<(const Pointer& other) const { return target < other.target; }
};

class TableScanner {
 public:
  TableScanner(const JetFile& file, const TableDefinition& table, TableStorage* storage, RowVisitor* visitor)
      : file_(file), layout_(LayoutOf(file.Version())), table_(table), parser_(file, table), storage_(storage),
        visitor_(visitor), page_(layout_.page_size), long_value_page_(layout_.page_size) {
    place_.table = table.first_page;
  }

  HRESULT Run(const std::vector<std::uint16_t>& long_value_columns) {
    HRESULT result = ResolveLongValueColumns(long_value_columns);
    std::vector<std::uint32_t> mapped;
    if (Succeeded(result)) result = ReadUsageMap(&mapped);
    for (std::size_t i = 0; i < mapped.size() && Succeeded(result); ++i) result = ScanPage(mapped[i]);
    if (Succeeded(result)) result = MatchPointers();
    return result;
  }

 private:
  HRESULT Fail(const std::string& what) const {
    return Damaged(file_, "table at page " + std::to_string(table_.first_page) + ": " + what);
  }

  HRESULT ResolveLongValueColumns(const std::vector<std::uint16_t>& numbers) {
    for (const std::uint16_t number : numbers) {
      const auto found = std::find_if(table_.columns.begin(), table_.columns.end(),
                                      [number](const ColumnDefinition& c) { return c.number == number; });
      if (found == table_.columns.end() || (found->type != kTypeMemo && found->type != kTypeOle)) {
        return ReportError(E_INVALIDARG, "column number " + std::to_string(number) +
                                             " is no long-value column of the table at page " +
                                             std::to_string(table_.first_page));
      }
      long_value_columns_.push_back(&*found);
    }
    return S_OK;
  }

  // --- usage map ----------------------------------------------------------

  HRESULT CheckPageNumber(std::uint64_t page, const std::string& named_by) const {
    if (page == 0 || page >= file_.PageCount()) {
      return Fail(named_by + " names page " + std::to_string(page) + ", outside the file's " +
                  std::to_string(file_.PageCount()) + " pages");
    }
    return S_OK;
  }

  HRESULT AddBitmap(const std::uint8_t* bitmap, std::size_t bytes, std::uint64_t first_page,
                    std::vector<std::uint32_t>* pages) const {
    for (std::size_t i = 0; i < bytes; ++i) {
      if (bitmap[i] == 0) continue;
      for (unsigned bit = 0; bit < kBitsPerByte; ++bit) {
        if ((bitmap[i] & (1U << bit)) == 0) continue;
        const std::uint64_t page = first_page + i * kBitsPerByte + bit;
        const HRESULT checked = CheckPageNumber(page, "its usage map");
        if (Failed(checked)) return checked;
        pages->push_back(static_cast<std::uint32_t>(page));
      }
    }
    return S_OK;
  }

  HRESULT ReadUsageMap(std::vector<std::uint32_t>* pages) {
    const std::uint32_t map_page = PageOf(table_.owned_pages_map);
    HRESULT result = CheckPageNumber(map_page, "its definition's usage map pointer");
    if (Succeeded(result)) result = file_.ReadPage(map_page, page_.data());
    if (Failed(result)) return result;
    const Place place{"usage map page", table_.first_page, map_page};
    if (page_[kPageTypeOffset] != kPageTypeData) return Fail("usage map page " + std::to_string(map_page) + " is not a data page");
    SlotRange range;
    result = FindSlot(file_, page_.data(), SlotOf(table_.owned_pages_map), place, &range);
    if (Failed(result)) return result;
    if (range.flags != 0 || range.end == range.start) {
      return Damaged(file_, place.Describe(SlotOf(table_.owned_pages_map)) + " holds no usage map");
    }
    // The map row is copied: reference maps reuse the page buffer for their bitmap pages.
    const std::vector<std::uint8_t> map(page_.begin() + range.start, page_.begin() + range.end);
    if (map[0] == kMapInline) {
      if (map.size() < kInlineMapHeader) return Fail("its inline usage map is cut short");
      return AddBitmap(map.data() + kInlineMapHeader, map.size() - kInlineMapHeader,
                       ReadU32(map.data() + kMapTypeBytes), pages);
    }
    if (map[0] != kMapReference) return Fail("its usage map has unknown type " + std::to_string(map[0]));
    const std::uint64_t pages_per_bitmap = static_cast<std::uint64_t>(layout_.page_size - kBitmapPageHeader) * kBitsPerByte;
    const std::size_t references = (map.size() - kMapTypeBytes) / sizeof(std::uint32_t);
    for (std::size_t k = 0; k < references; ++k) {
      const std::uint32_t bitmap_page = ReadU32(map.data() + kMapTypeBytes + k * sizeof(std::uint32_t));
      if (bitmap_page == 0) continue;
      result = CheckPageNumber(bitmap_page, "its usage map");
      if (Succeeded(result)) result = file_.ReadPage(bitmap_page, page_.data());
      if (Failed(result)) return result;
      if (page_[kPageTypeOffset] != kPageTypeUsageBitmap) {
        return Fail("usage map page " + std::to_string(bitmap_page) + " is not a bitmap page");
      }
      result = AddBitmap(page_.data() + kBitmapPageHeader, layout_.page_size - kBitmapPageHeader,
                         k * pages_per_bitmap, pages);
      if (Failed(result)) return result;
    }
    return S_OK;
  }

  // --- data pages ---------------------------------------------------------

  HRESULT ScanPage(std::uint32_t number) {
    HRESULT result = file_.ReadPage(number, page_.data());
    if (Failed(result)) return result;
    // A mapped page that is not this table's data page is skipped, as
    // every reader skips it.
    if (page_[kPageTypeOffset] != kPageTypeData || ReadU32(page_.data() + kDataOwnerOffset) != table_.first_page) {
      return S_OK;
    }
    storage_->data_pages.push_back(number);
    place_.page = number;
    std::uint16_t rows = 0;
    result = CheckOffsetTable(&rows);
    for (std::uint16_t slot = 0; slot < rows && Succeeded(result); ++slot) result = ScanSlot(number, slot);
    return result;
  }

  std::uint16_t SlotOffset(std::uint16_t slot) const {
    return ReadU16(page_.data() + layout_.data_offset_table + kSlotEntryBytes * slot) & kSlotOffsetMask;
  }

  // Row count, offsets in order between the offset table and the page end,
  // and the free-space field equal to the room the rows leave.
  HRESULT CheckOffsetTable(std::uint16_t* rows) const {
    const std::uint16_t count = ReadU16(page_.data() + layout_.data_row_count);
    if (count > kMaxSlots) {
      return Damaged(file_, place_.Describe() + " claims " + std::to_string(count) + " rows; a page holds at most " +
                                std::to_string(kMaxSlots));
    }
    const std::size_t table_end = layout_.data_offset_table + kSlotEntryBytes * count;
    std::size_t previous = layout_.page_size;
    for (std::uint16_t slot = 0; slot < count; ++slot) {
      const std::uint16_t offset = SlotOffset(slot);
      if (offset < table_end || offset > previous) {
        return Damaged(file_, place_.Describe(slot) + ": row offset " + std::to_string(offset) + " lies outside " +
                                  std::to_string(table_end) + ".." + std::to_string(previous));
      }
      previous = offset;
    }
    const std::size_t free_space = previous - table_end;
    const std::uint16_t recorded = ReadU16(page_.data() + kDataFreeSpaceOffset);
    if (recorded != free_space) {
      return Damaged(file_, place_.Describe() + " records " + std::to_string(recorded) +
                                " free bytes, but its rows leave " + std::to_string(free_space));
    }
    *rows = count;
    return S_OK;
  }

  HRESULT ScanSlot(std::uint32_t number, std::uint16_t slot) {
    const std::uint16_t entry = ReadU16(page_.data() + layout_.data_offset_table + kSlotEntryBytes * slot);
    SlotRange range;
    range.flags = entry & kSlotFlagsMask;
    range.start = entry & kSlotOffsetMask;
    range.end = slot == 0 ? static_cast<std::uint16_t>(layout_.page_size) : SlotOffset(static_cast<std::uint16_t>(slot - 1));
    switch (range.flags) {
      case kSlotDeleted: return S_OK;
      case kSlotPointer: return RecordPointer(number, slot, range);
      case kSlotMoved: moved_.push_back(KeyOf(number, slot)); break;
      default: break;
    }
    HRESULT result = parser_.Parse(page_.data(), range, place_, slot, &row_);
    for (std::size_t i = 0; i < long_value_columns_.size() && Succeeded(result); ++i) {
      result = CheckLongValue(slot, *long_value_columns_[i]);
    }
    if (Succeeded(result) && visitor_ != nullptr) result = visitor_->Visit(page_.data(), place_, slot, row_);
    if (Succeeded(result)) ++storage_->rows;
    return result;
  }

  HRESULT RecordPointer(std::uint32_t number, std::uint16_t slot, const SlotRange& range) {
    if (range.end - range.start < static_cast<int>(kPageRowBytes)) {
      return Damaged(file_, place_.Describe(slot) + ": the moved-row pointer is " +
                                std::to_string(range.end - range.start) + " bytes long");
    }
    const std::uint32_t target = ReadU32(page_.data() + range.start);
    const HRESULT checked = CheckPageNumber(PageOf(target), "the moved-row pointer at " + DescribeKey(KeyOf(number, slot)));
    if (Failed(checked)) return checked;
    pointers_.push_back(Pointer{KeyOf(PageOf(target), SlotOf(target)), KeyOf(number, slot)});
    return S_OK;
  }

  // Every pointer leads to a moved row of this table (0x8000 alone, on a
  // mapped data page), no two pointers to the same one, and no moved row is
  // left without a pointer: otherwise readers that follow pointers and
  // readers that read moved rows where they lie see different rows.
  HRESULT MatchPointers() {
    std::sort(pointers_.begin(), pointers_.end());
    std::sort(moved_.begin(), moved_.end());
    for (std::size_t i = 1; i < pointers_.size(); ++i) {
      if (pointers_[i - 1].target == pointers_[i].target) {
        return Fail(DescribeKey(pointers_[i].target) + " is the target of the moved-row pointers at " +
                    DescribeKey(pointers_[i - 1].source) + " and " + DescribeKey(pointers_[i].source));
      }
    }
    std::size_t next_moved = 0;
    for (const Pointer& pointer : pointers_) {
      if (next_moved < moved_.size() && moved_[next_moved] < pointer.target) return Unreferenced(moved_[next_moved]);
      if (next_moved == moved_.size() || moved_[next_moved] != pointer.target) {
        return Fail("the moved-row pointer at " + DescribeKey(pointer.source) + " leads to " +
                    DescribeKey(pointer.target) + ", which is no moved row of this table");
      }
      ++next_moved;
    }
    if (next_moved < moved_.size()) return Unreferenced(moved_[next_moved]);
    return S_OK;
  }

  HRESULT Unreferenced(RowKey moved) const {
    return Fail("the moved row at " + DescribeKey(moved) + " is the target of no pointer");
  }

  // --- long values --------------------------------------------------------

  HRESULT FailValue(std::uint16_t slot, const ColumnDefinition& column, const std::string& what) const {
    return Damaged(file_, place_.Describe(slot) + ", column '" + column.name + "': " + what);
  }

  HRESULT CheckLongValue(std::uint16_t slot, const ColumnDefinition& column) {
    const ValueSpan span = LocateValue(row_, page_.data(), column);
    const std::size_t size = static_cast<std::size_t>(span.end - span.begin);
    if (!span.present || size == 0) return S_OK;
    if (size < kLongValueHeader) {
      return FailValue(slot, column, "the long-value field holds " + std::to_string(size) +
                                         " bytes, fewer than its header");
    }
    const std::uint8_t* header = page_.data() + span.begin;
    const std::uint32_t length = ReadU24(header);
    const std::uint8_t flag = header[kLongValueFlagOffset];
    const std::uint32_t first_row = ReadU32(header + kLongValuePageRowOffset);
    HRESULT result = S_OK;
    if (flag == kLongValueInline) {
      if (size != kLongValueHeader + length) {
        result = FailValue(slot, column, "an inline long value of " + std::to_string(length) +
                                             " bytes lies in a field of " + std::to_string(size));
      }
    } else if (flag != kLongValueSingleRow && flag != kLongValueChain) {
      result = FailValue(slot, column, "unknown long-value flag " + std::to_string(flag));
    } else if (size != kLongValueHeader) {
      result = FailValue(slot, column, "a long value stored elsewhere has a field of " + std::to_string(size) + " bytes");
    } else if (flag == kLongValueSingleRow) {
      result = CheckSingleRow(slot, column, length, first_row);
    } else {
      result = CheckChain(slot, column, length, first_row);
    }
    if (Succeeded(result)) storage_->longest_long_value = std::max(storage_->longest_long_value, length);
    return result;
  }

  // Finds the row `page_row` names on an LVAL page. The last page read is
  // kept, as consecutive values usually share their LVAL page.
  HRESULT FindLongValueRow(std::uint16_t slot, const ColumnDefinition& column, std::uint32_t page_row,
                           SlotRange* range) {
    const std::uint32_t number = PageOf(page_row);
    if (number == 0 || number >= file_.PageCount()) {
      return FailValue(slot, column, "the long value leads to page " + std::to_string(number) +
                                         ", outside the file's " + std::to_string(file_.PageCount()) + " pages");
    }
    if (number != long_value_page_number_) {
      long_value_page_number_ = 0;
      const HRESULT read = file_.ReadPage(number, long_value_page_.data());
      if (Failed(read)) return read;
      long_value_page_number_ = number;
    }
    if (long_value_page_[kPageTypeOffset] != kPageTypeData ||
        ReadU32(long_value_page_.data() + kDataOwnerOffset) != kLongValueOwner) {
      return FailValue(slot, column, "the long value leads to page " + std::to_string(number) +
                                         ", which is no long-value page");
    }
    const Place place{"long-value page", table_.first_page, number};
    const HRESULT found = FindSlot(file_, long_value_page_.data(), SlotOf(page_row), place, range);
    if (Failed(found)) return found;
    if (range->flags != 0) {
      return FailValue(slot, column, "the long value leads to " + DescribeKey(KeyOf(number, SlotOf(page_row))) +
                                         ", which is no live row");
    }
    return S_OK;
  }

  HRESULT CheckSingleRow(std::uint16_t slot, const ColumnDefinition& column, std::uint32_t length,
                         std::uint32_t page_row) {
    SlotRange range;
    const HRESULT found = FindLongValueRow(slot, column, page_row, &range);
    if (Failed(found)) return found;
    const std::uint32_t stored = static_cast<std::uint32_t>(range.end - range.start);
    if (stored != length) {
      return FailValue(slot, column, "a long value of " + std::to_string(length) + " bytes lies in a row of " +
                                         std::to_string(stored) + " at " + DescribeKey(page_row));
    }
    return S_OK;
  }

  // Follows a chain for no more pieces than its length needs and never onto
  // a page it has already visited, so a damaged link cannot loop.
  HRESULT CheckChain(std::uint16_t slot, const ColumnDefinition& column, std::uint32_t length,
                     std::uint32_t page_row) {
    const std::uint32_t piece = layout_.long_value_piece;
    const std::uint32_t max_hops = std::max<std::uint32_t>(1, (length + piece - 1) / piece);
    if (visited_.empty()) visited_.assign(file_.PageCount(), 0);
    ++chain_;
    std::uint32_t total = 0;
    std::uint32_t hops = 0;
    for (std::uint32_t link = page_row; link != 0; ++hops) {
      if (hops == max_hops) {
        return FailValue(slot, column, "the chain of a " + std::to_string(length) + "-byte long value needs at most " +
                                           std::to_string(max_hops) + " pieces but goes on to " + DescribeKey(link));
      }
      SlotRange range;
      const HRESULT found = FindLongValueRow(slot, column, link, &range);
      if (Failed(found)) return found;
      std::uint32_t& seen = visited_[PageOf(link)];
      if (seen == chain_) {
        return FailValue(slot, column, "the long-value chain returns to page " + std::to_string(PageOf(link)));
      }
      seen = chain_;
      const std::uint32_t stored = static_cast<std::uint32_t>(range.end - range.start);
      if (stored < kChainLinkBytes || stored - kChainLinkBytes > length - total) {
        return FailValue(slot, column, "the pieces of the chain at " + DescribeKey(link) + " exceed its length " +
                                           std::to_string(length));
      }
      total += stored - static_cast<std::uint32_t>(kChainLinkBytes);
      link = ReadU32(long_value_page_.data() + range.start);
    }
    if (total != length) {
      return FailValue(slot, column, "the pieces of the chain add up to " + std::to_string(total) + " of its " +
                                         std::to_string(length) + " bytes");
    }
    return S_OK;
  }

  const JetFile& file_;
  const FormatLayout& layout_;
  const TableDefinition& table_;
  const RowParser parser_;
  TableStorage* storage_;
  RowVisitor* visitor_;
  Place place_;
  std::vector<std::uint8_t> page_;
  std::vector<std::uint8_t> long_value_page_;
  std::uint32_t long_value_page_number_ = 0;  // 0: nothing held
  RowLayout row_;  // reused for every row, so that its offsets are allocated once
  std::vector<const ColumnDefinition*> long_value_columns_;
  std::vector<Pointer> pointers_;
  std::vector<RowKey> moved_;
  std::vector<std::uint32_t> visited_;  // by page: the last chain that visited it
  std::uint32_t chain_ = 0;
};

}  // namespace

HRESULT ScanTable(const JetFile& file, const TableDefinition& table,
                  const std::vector<std::uint16_t>& long_value_columns, TableStorage* storage, RowVisitor* visitor) {
  TableStorage result;
  const HRESULT scanned = TableScanner(file, table, &result, visitor).Run(long_value_columns);
  if (Failed(scanned)) return scanned;
  *storage = std::move(result);
  return S_OK;
}

}  // namespace detail

HRESULT CheckTableStorage(const JetFile& file, const TableDefinition& table,
                          const std::vector<std::uint16_t>& long_value_columns, TableStorage* storage) {
  return detail::ScanTable(file, table, long_value_columns, storage, nullptr);
}

}  // namespace platform::provider::jet
