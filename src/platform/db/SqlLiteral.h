#pragma once

#include <QString>

namespace tunnel::db {

// The text as an SQL string literal: between single quotes, every quote inside doubled, so that
// what the user typed is stored exactly and can never end the literal early.
QString sqlQuote(const QString& text);

// The right side of `UPPER(column) LIKE ...` that finds the text anywhere, in any (ASCII) case:
// the upper-cased text between %, its LIKE wildcards taken literally, with its ESCAPE clause.
QString likeContaining(const QString& text);

}  // namespace tunnel::db
