// Statement texts for PostgreSQL servers: "?" placeholders become $1, $2, ...
// only outside quoted text and comments, and a text's statements are
// counted, without a server.
#include <gtest/gtest.h>

#include <string>

#include "provider/pg/pg_statement_text.h"

namespace {

using platform::provider::pg::RewritePlaceholders;
using platform::provider::pg::RewrittenStatement;

struct RewriteCase {
  const char* name;
  std::string statement;
  std::string expected;
  std::size_t placeholders;
  bool standard_conforming_strings = true;
};

void PrintTo(const RewriteCase& printed, std::ostream* out) { *out << printed.name; }

class Placeholders : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(Placeholders, AreNumberedOutsideQuotedTextAndComments) {
  const RewriteCase& c = GetParam();
  const RewrittenStatement rewritten = RewritePlaceholders(c.statement, c.standard_conforming_strings);
  EXPECT_EQ(rewritten.text, c.expected);
  EXPECT_EQ(rewritten.placeholders, c.placeholders);
  EXPECT_FALSE(rewritten.several);
  EXPECT_FALSE(rewritten.empty);
}

INSTANTIATE_TEST_SUITE_P(
    PgTexts, Placeholders,
    ::testing::Values(
        RewriteCase{"InOrder", "select a from t where b = ? and c in (?, ?)",
                    "select a from t where b = $1 and c in ($2, $3)", 3},
        RewriteCase{"None", "select 1", "select 1", 0},
        RewriteCase{"InStringLiteral", "select '?' as q, ? as p", "select '?' as q, $1 as p", 1},
        RewriteCase{"AfterDoubledQuote", "select 'it''s ?', ?", "select 'it''s ?', $1", 1},
        RewriteCase{"InQuotedIdentifier", "select 1 as \"a?\"\"?\", ?", "select 1 as \"a?\"\"?\", $1", 1},
        RewriteCase{"InEscapeString", "select E'\\'?', e'\\\\', ?", "select E'\\'?', e'\\\\', $1", 1},
        // An identifier ending in e is no escape-string prefix: the backslash
        // stays a character and the literal ends at the next quote.
        RewriteCase{"WordEndingInE", "select some'\\', ?", "select some'\\', $1", 1},
        RewriteCase{"BackslashWithoutConformingStrings", "select '\\'?', ?", "select '\\'?', $1", 1, false},
        RewriteCase{"BackslashWithConformingStrings", "select '\\', ?", "select '\\', $1", 1, true},
        RewriteCase{"InDollarQuote", "select $$?'$$, ?", "select $$?'$$, $1", 1},
        RewriteCase{"InTaggedDollarQuote", "select $fn$ ? $$ ? $fn$, ?", "select $fn$ ? $$ ? $fn$, $1", 1},
        RewriteCase{"DollarInsideIdentifier", "select a$b$ , ?", "select a$b$ , $1", 1},
        RewriteCase{"InLineComment", "select ? -- why ?\n, ?", "select $1 -- why ?\n, $2", 2},
        RewriteCase{"InNestedBlockComment", "select /* a /* ? */ ? */ ?", "select /* a /* ? */ ? */ $1", 1},
        RewriteCase{"BeforeCast", "select ?::int", "select $1::int", 1},
        RewriteCase{"NeverGluedToADigit", "select ?1", "select $1 1", 1},
        RewriteCase{"NeverGluedToAnIdentifier", "select a?b", "select a $1 b", 1},
        RewriteCase{"TwelfthPlaceholder", "select ?,?,?,?,?,?,?,?,?,?,?,?",
                    "select $1,$2,$3,$4,$5,$6,$7,$8,$9,$10,$11,$12", 12},
        RewriteCase{"UnterminatedLiteralRunsToTheEnd", "select ?, 'open ?", "select $1, 'open ?", 1},
        RewriteCase{"SemicolonInLiteral", "select ';', ?", "select ';', $1", 1},
        RewriteCase{"TrailingSemicolonAndComment", "select ?; -- done?", "select $1; -- done?", 1}));

struct CountCase {
  const char* name;
  const char* statement;
  bool empty;
  bool several;
};

void PrintTo(const CountCase& printed, std::ostream* out) { *out << printed.name; }

class Statements : public ::testing::TestWithParam<CountCase> {};

TEST_P(Statements, AreCountedOutsideQuotedTextAndComments) {
  const RewrittenStatement rewritten = RewritePlaceholders(GetParam().statement, true);
  EXPECT_EQ(rewritten.empty, GetParam().empty);
  EXPECT_EQ(rewritten.several, GetParam().several);
}

INSTANTIATE_TEST_SUITE_P(
    PgTexts, Statements,
    ::testing::Values(CountCase{"One", "select 1", false, false},
                      CountCase{"OneWithSemicolons", "select 1;;  ; ", false, false},
                      CountCase{"OneWithCommentsAfter", "select 1; -- x\n/* y; z */", false, false},
                      CountCase{"Two", "select 1; select 2", false, true},
                      CountCase{"SecondAfterComment", "select 1; /* c */ delete from t", false, true},
                      CountCase{"InjectedAfterLiteral", "select 'x'; drop table t_package; --'", false, true},
                      CountCase{"SemicolonInIdentifier", "select 1 as \";\", 2", false, false},
                      CountCase{"SemicolonInDollarQuote", "do $$ begin null; end $$", false, false},
                      CountCase{"SemicolonInComment", "select 1 /* ; select 2 */", false, false},
                      CountCase{"Empty", "", true, false},
                      CountCase{"OnlyCommentsAndSemicolons", " ; -- nothing\n /* */ ;", true, false}));

}  // namespace
