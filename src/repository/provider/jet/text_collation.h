// The JETTEXT collation: texts compare as Jet compares them, without regard
// to case ("True" equals "true", "Ärger" equals "ärger").
//
// Letters fold to lower case over Latin-1, Latin Extended-A (which cover
// the code pages Jet 3 files are written in), Greek and Cyrillic; other
// characters compare by code point. Bytes that are not UTF-8 compare as
// themselves, so every text has a place in the order.
#pragma once

#include <cstdint>

struct sqlite3;

namespace platform::provider::jet {

inline constexpr char kJetTextCollation[] = "JETTEXT";

// The lower-case form of `code_point` under the folding above.
std::uint32_t FoldCase(std::uint32_t code_point);

// Registers the collation on `handle`; returns the SQLite result code.
int RegisterJetTextCollation(sqlite3* handle);

}  // namespace platform::provider::jet
