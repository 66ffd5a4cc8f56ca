#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace tunnel::text {

// Removes leading and trailing characters whose code is 32 or less, and nothing else: an
// ideographic space (U+3000) is part of the text.
QString trimmed(const QString& text);
// Without the blanks (spaces only) a fixed-width column pads a text with.
QString withoutPadding(QString text);
QStringView trimmed(QStringView text);

// Whether the text holds a C0 control character (code below 32), tab and line breaks included.
bool hasControlCharacter(const QString& text);

// Whether every letter of the text that has a case is an ASCII letter: a database's own case
// folding (SQLite's, an index's, a server's upper()) agrees with this program's on such a text.
bool casedOnlyInAscii(const QString& text);

// A whole decimal integer with an optional sign, as a number of 64 bits; nothing for any other
// text (blanks included) or one beyond 64 bits. Many times cheaper than the locale's parse,
// which a file of millions of numbers notices.
std::optional<qint64> integerOf(QStringView text);

// The code of a coded list item such as "12-情报板": the text before the first "-"; the empty
// text when the item holds no "-".
QString codeBeforeDash(const QString& item);

// Takes the first piece off `rest` at `separator`. Both the piece and the new rest are trimmed;
// without a separator the piece is the whole (trimmed) rest and the rest becomes empty.
QString splitFirst(QString& rest, QChar separator);

// Splits a list such as "1,3, 8" into its entries; commas and blanks both separate, and empty
// entries are dropped.
QStringList splitEntries(const QString& list);

}  // namespace tunnel::text
