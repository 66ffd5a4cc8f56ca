#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

namespace tunnel::data {

class ImportRow;

// A device's values in some register columns as one MD5 digest (32 hexadecimal digits), made
// the same way by PostgreSQL from the stored row and here from a file's row: the check learns
// which devices a file leaves as they are without reading every stored value into the client.
// Each value is written unambiguously (a number in decimal, a text behind its length in
// characters, a null as \N) in the columns' order.
QString storedDigestExpression(const QVector<int>& columns);
QByteArray rowDigest(const ImportRow& row, const QVector<int>& columns);

}  // namespace tunnel::data
