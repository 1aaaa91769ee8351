// The scanner behind RewritePlaceholders: one pass over the text, copying it
// to the result as it goes; only a placeholder's "?" is replaced. The pass
// never reads past the end of the text, however the text ends.
#include "provider/pg/pg_statement_text.h"

#include <algorithm>

namespace platform::provider::pg {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHighByte(char c) { return static_cast<unsigned char>(c) >= 0x80; }
// What may start an identifier or key word; the server takes every byte of a
// multi-byte character as a letter.
bool IsIdentifierStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || IsHighByte(c);
}
// What may follow inside one; "$" included, so "a$1" is one identifier.
bool IsIdentifierPart(char c) { return IsIdentifierStart(c) || IsDigit(c) || c == '$'; }

class Scanner {
 public:
  Scanner(std::string_view text, bool standard_conforming_strings)
      : text_(text), standard_conforming_strings_(standard_conforming_strings) {}

  RewrittenStatement Run() {
    out_.text.reserve(text_.size() + 16);
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (IsSpace(c)) {
        Copy(1);
      } else if (c == '-' && Next(1) == '-') {
        LineComment();
      } else if (c == '/' && Next(1) == '*') {
        BlockComment();
      } else if (c == ';') {
        ended_ = true;
        Copy(1);
      } else {
        Token();
      }
    }
    return std::move(out_);
  }

 private:
  char Next(std::size_t ahead) const {
    return at_ + ahead < text_.size() ? text_[at_ + ahead] : '\0';
  }

  void Copy(std::size_t count) {
    out_.text.append(text_.substr(at_, count));
    at_ += count;
  }

  // Something that is part of a statement starts here.
  void Token() {
    if (ended_) out_.several = true;
    out_.empty = false;
    const char c = text_[at_];
    if (c == '\'') {
      QuotedLiteral(!standard_conforming_strings_);
    } else if (c == '"') {
      QuotedIdentifier();
    } else if (c == '$') {
      Dollar();
    } else if (c == '?') {
      Placeholder();
    } else if (IsIdentifierStart(c) || IsDigit(c)) {
      Word();
    } else {
      Copy(1);
    }
  }

  void LineComment() {
    const std::size_t end = text_.find('\n', at_);
    Copy(end == std::string_view::npos ? text_.size() - at_ : end - at_);
  }

  void BlockComment() {
    std::size_t depth = 0;
    std::size_t i = at_;
    while (i < text_.size()) {
      if (text_[i] == '/' && i + 1 < text_.size() && text_[i + 1] == '*') {
        ++depth;
        i += 2;
      } else if (text_[i] == '*' && i + 1 < text_.size() && text_[i + 1] == '/') {
        i += 2;
        if (--depth == 0) break;
      } else {
        ++i;
      }
    }
    Copy(i - at_);
  }

  // '...' with '' for a quote, and \' and \\ too when `backslash_escapes`.
  void QuotedLiteral(bool backslash_escapes) {
    std::size_t i = at_ + 1;
    while (i < text_.size()) {
      const char c = text_[i];
      if (backslash_escapes && c == '\\') {
        i += 2;
      } else if (c == '\'') {
        if (i + 1 < text_.size() && text_[i + 1] == '\'') {
          i += 2;
        } else {
          ++i;
          break;
        }
      } else {
        ++i;
      }
    }
    Copy(std::min(i, text_.size()) - at_);
  }

  void QuotedIdentifier() {
    std::size_t i = at_ + 1;
    while (i < text_.size()) {
      if (text_[i] == '"') {
        if (i + 1 < text_.size() && text_[i + 1] == '"') {
          i += 2;
          continue;
        }
        ++i;
        break;
      }
      ++i;
    }
    Copy(i - at_);
  }

  // "$n" (a numbered parameter written into the text), "$tag$...$tag$", or a
  // lone "$".
  void Dollar() {
    std::size_t i = at_ + 1;
    if (i < text_.size() && IsDigit(text_[i])) {
      while (i < text_.size() && IsDigit(text_[i])) ++i;
      Copy(i - at_);
      return;
    }
    if (i < text_.size() && IsIdentifierStart(text_[i])) {
      while (i < text_.size() && (IsIdentifierStart(text_[i]) || IsDigit(text_[i]))) ++i;
    }
    if (i >= text_.size() || text_[i] != '$') {
      Copy(1);
      return;
    }
    const std::string_view delimiter = text_.substr(at_, i + 1 - at_);
    const std::size_t close = text_.find(delimiter, i + 1);
    Copy(close == std::string_view::npos ? text_.size() - at_ : close + delimiter.size() - at_);
  }

  // A key word, an identifier or a number; E'...' is the one word that opens
  // an escape string.
  void Word() {
    std::size_t i = at_ + 1;
    while (i < text_.size() && IsIdentifierPart(text_[i])) ++i;
    const bool escape_string = i == at_ + 1 && (text_[at_] == 'E' || text_[at_] == 'e') &&
                               i < text_.size() && text_[i] == '\'';
    if (escape_string) {
      Copy(1);
      QuotedLiteral(true);
      return;
    }
    Copy(i - at_);
  }

  void Placeholder() {
    ++out_.placeholders;
    if (!out_.text.empty() && IsIdentifierPart(out_.text.back())) out_.text += ' ';
    out_.text += '$';
    out_.text += std::to_string(out_.placeholders);
    ++at_;
    if (at_ < text_.size() && IsIdentifierPart(text_[at_])) out_.text += ' ';
  }

  std::string_view text_;
  bool standard_conforming_strings_;
  std::size_t at_ = 0;
  bool ended_ = false;
  RewrittenStatement out_;
};

}  // namespace

RewrittenStatement RewritePlaceholders(std::string_view statement, bool standard_conforming_strings) {
  return Scanner(statement, standard_conforming_strings).Run();
}

}  // namespace platform::provider::pg
