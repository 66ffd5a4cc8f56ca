#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace tunnel::db {

enum class TokenKind {
    Space,        // blanks and line breaks
    Comment,      // -- to the end of the line, or /* ... */
    String,       // '...' with '' inside (also N'...')
    QuotedName,   // "..."
    BracketName,  // [...]
    Word,         // identifiers and keywords
    Number,
    Symbol,  // one operator or punctuation mark; <= >= <> != are one token
};

struct Token {
    TokenKind kind;
    QString text;
    // A string, name or block comment that the text ends inside of.
    bool unterminated = false;

    bool isWord(QStringView word) const {
        return kind == TokenKind::Word && text.compare(word, Qt::CaseInsensitive) == 0;
    }
    bool isSymbol(QStringView symbol) const { return kind == TokenKind::Symbol && text == symbol; }
    bool isBlank() const { return kind == TokenKind::Space || kind == TokenKind::Comment; }
};

// Splits a statement into tokens whose texts, joined, give the statement back unchanged. An
// unterminated string, name or comment runs to the end of the text.
std::vector<Token> tokenize(const QString& sql);

// The statements of a script, split at the ";" that end them (not those inside literals or
// comments); blank statements are dropped.
QStringList splitStatements(const QString& script);

}  // namespace tunnel::db
