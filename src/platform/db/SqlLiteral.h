#pragma once

#include <QString>

namespace tunnel::db {

// The text as an SQL string literal: between single quotes, every quote inside doubled, so that
// what the user typed is stored exactly and can never end the literal early.
QString sqlQuote(const QString& text);

}  // namespace tunnel::db
