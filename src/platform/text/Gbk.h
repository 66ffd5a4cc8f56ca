#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace tunnel::text {

// GBK (code page 936) exists only at the module's edges: texts from and to the host, and the
// byte lengths that the database columns are measured in. None of these functions throws.

// Characters that GBK cannot hold become '?', one byte each.
QByteArray toGbk(const QString& text);

// Bytes that are not valid GBK (including a lead byte cut off at the end) become U+FFFD.
QString fromGbk(const QByteArray& bytes);
QString fromGbk(const char* zeroTerminated);

// A text column's bytes as another program of the installation stored them: UTF-8 when they
// are valid UTF-8, else GBK when they are valid GBK (what those programs meant), else UTF-8
// with U+FFFD for what does not decode.
QString fromStoredText(const QByteArray& bytes);

// The length of the text once encoded to GBK: a Chinese character counts 2.
qsizetype gbkByteLength(QStringView text);

// The characters of `text` that have no GBK form (each once, in order of appearance): they
// would reach the other side of a GBK interface as "?".
QString charactersWithoutGbk(const QString& text);

}  // namespace tunnel::text
