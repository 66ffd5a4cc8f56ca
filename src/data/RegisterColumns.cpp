#include "data/RegisterColumns.h"
#include "data/DeviceRegister.h"
#include "platform/db/ValueText.h"
#include "platform/text/TextRules.h"

namespace tunnel::data {

const QVector<ColumnRule>& registerRules() {
    static const QVector<ColumnRule> all = {
        {u"DEVICETYPE", true, {}, true},
        {u"DEVICECODE", true, {}, true},
        {u"POSITION", true, 1, true},
        {u"MILIMETER", true, 1},
        {u"METER", true, 1},
        {u"STATUS", true, 1, true},
        {u"CYCLE", true, 60},
        {u"AREACODE", true, 0},
        {u"VIDEO", true, 1},
        {u"PHYSICS", false, QString(), false, 20, 0, {}, false, true},
        {u"BEGINPOS", false, QString(), false, 10, 0, {}, false, true},
        {u"ENDPOS", false, QString(), false, 10, 0, {}, false, true},
        {u"SIDE", true, 0, true, 0, 0, {0, 1, 2}},
        {u"COMMTYPE", true, 0, false, 0, 0, {0, 1, 2, 3, 4}},
        {u"COMMDATA", false, QString(), false, 30, 0, {}, false, true},
        {u"PROTOCOL", true, 0, false, 0, 0, {-1, 0, 1, 2}},
        {u"int1", true, {}, false, 0, 0, {}, true},
        {u"int2", true, {}, false, 0, 0, {}, true},
        {u"int3", true, {}, false, 0, 0, {}, true},
        {u"int4", true, {}, false, 0, 0, {}, true},
        {u"char1", false, {}, false, 0, 15, {}, true},
        {u"char2", false, {}, false, 0, 9, {}, true},
        {u"char3", false, {}, false, 0, 11, {}, true},
    };
    return all;
}

QString registerColumnName(int column) {
    return QString::fromUtf16(registerRules()[column].name);
}

namespace {

// A text column's place among a row's texts.
int textSlot(int column) {
    static const QVector<int> places = [] {
        QVector<int> all;
        int next = 0;
        for (const ColumnRule& rule : registerRules()) {
            all.append(rule.number ? -1 : next++);
        }
        Q_ASSERT(all.size() == ImportRow::kColumns && next == ImportRow::kTexts);
        return all;
    }();
    return places[column];
}

}  // namespace

const QString& ImportRow::text(int column) const {
    return texts_[textSlot(column)];
}

QVariant ImportRow::value(int column) const {
    if (isNull(column)) {
        return {};
    }
    return registerRules()[column].number ? QVariant(number(column)) : QVariant(text(column));
}

void ImportRow::setNull(int column) {
    nulls_ |= 1U << column;
    numbers_[column] = 0;
    if (!registerRules()[column].number) {
        texts_[textSlot(column)].clear();
    }
}

void ImportRow::setNumber(int column, qint32 value) {
    nulls_ &= ~(1U << column);
    numbers_[column] = value;
}

void ImportRow::setText(int column, const QString& text) {
    nulls_ &= ~(1U << column);
    texts_[textSlot(column)] = text;
}

const QStringList& registerColumns() {
    static const QStringList names = [] {
        QStringList all;
        for (int column = 0; column < registerRules().size(); ++column) {
            all.append(registerColumnName(column));
        }
        return all;
    }();
    return names;
}

QVector<int> changeableColumns(const QVector<bool>& present) {
    QVector<int> columns;
    for (int column = kCode + 1; column < registerRules().size(); ++column) {
        if (present[column]) {
            columns.append(column);
        }
    }
    return columns;
}

QString registerText(const QVariant& stored, int column, db::Engine engine) {
    QString text = db::storedTextOf(stored);
    if (registerRules()[column].fixedWidth && engine != db::Engine::SQLite) {
        text = text::withoutPadding(std::move(text));
    }
    return text.isNull() ? QStringLiteral("") : text;
}

}  // namespace tunnel::data
