// Statement texts for a PostgreSQL server: the platform's "?" placeholders
// become the server's numbered ones ($1, $2, ...), and a text that holds
// more than one statement, or none, is told apart before anything is sent.
//
// The scan follows the server's lexical rules for everything that can hide a
// "?" or a ";": quoted literals ('...' with '' inside; with backslash escapes
// as well in E'...' strings, and in every '...' while the server does not
// keep standard conforming strings), quoted identifiers ("..." with ""
// inside), dollar-quoted strings ($tag$...$tag$, tag possibly empty), line
// comments (-- to the end of the line) and block comments (/* ... */, which
// nest). Outside those, every "?" is a placeholder and every ";" ends a
// statement. A literal or comment left open runs to the end of the text; the
// server then reports the error.
//
// Invariants: the rewritten text differs from the original only where a "?"
// stood outside quoted text and comments; placeholders are numbered from 1 in
// the order they appear; a number never runs into a neighbouring digit or
// identifier character (a space is put between), so "?1" cannot become "$11"
// and "a?" cannot become the identifier "a$1".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform::provider::pg {

struct RewrittenStatement {
  std::string text;
  std::size_t placeholders = 0;
  // Nothing but white space, comments and ";" (no statement at all).
  bool empty = true;
  // Something other than white space, comments and ";" follows the first
  // statement's ";".
  bool several = false;
};

RewrittenStatement RewritePlaceholders(std::string_view statement, bool standard_conforming_strings);

}  // namespace platform::provider::pg
