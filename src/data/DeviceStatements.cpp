#include "data/DeviceStatements.h"

#include "platform/db/SqlLiteral.h"
#include "platform/text/TextRules.h"

namespace tunnel::data {
namespace {

using db::sqlQuote;

QString keyCondition(int keyType, int keyCode) {
    return QStringLiteral(" where DEVICETYPE=%1 and DEVICECODE=%2").arg(keyType).arg(keyCode);
}

QStringList recordValues(const DeviceRecord& d) {
    return {d.deviceType,
            QString::number(d.deviceCode),
            QString::number(d.position),
            QString::number(d.kilometres),
            QString::number(d.metres),
            QString::number(d.status),
            QString::number(d.cycle),
            d.areaCode,
            QString::number(d.video),
            sqlQuote(d.physics),
            sqlQuote(d.beginPos),
            sqlQuote(d.endPos),
            QString::number(d.side),
            QString::number(d.commType),
            sqlQuote(d.commData),
            QString::number(d.protocol)};
}

QString parityLetter(const QString& parity) {
    if (parity == u"奇校验")
        return QStringLiteral("O");
    if (parity == u"偶校验")
        return QStringLiteral("E");
    return QStringLiteral("N");
}

QString parityText(const QString& letter) {
    if (letter == u"O")
        return QStringLiteral("奇校验");
    if (letter == u"E")
        return QStringLiteral("偶校验");
    return QStringLiteral("无");
}

}  // namespace

QString insertDeviceStatement(const DeviceRecord& device) {
    return QStringLiteral("INSERT INTO [DEVICE]([DEVICETYPE], [DEVICECODE], [POSITION],") +
           QStringLiteral("[MILIMETER], [METER], [STATUS], [CYCLE], [AREACODE],") +
           QStringLiteral("[VIDEO], [PHYSICS], [BEGINPOS], [ENDPOS], [SIDE],") +
           QStringLiteral("[COMMTYPE],[COMMDATA],[PROTOCOL]) ") + QStringLiteral(" VALUES(") +
           recordValues(device).join(u',') + u')';
}

QString updateDeviceStatement(const DeviceRecord& device, int keyType, int keyCode) {
    static const QStringList labels = {
        QStringLiteral("[DEVICETYPE]="), QStringLiteral("[DEVICECODE]="),
        QStringLiteral("[POSITION]="),   QStringLiteral("[MILIMETER]="),
        QStringLiteral("[METER]="),      QStringLiteral("[STATUS]="),
        QStringLiteral("[CYCLE]="),      QStringLiteral("[AREACODE]="),
        QStringLiteral("[VIDEO]="),      QStringLiteral("[PHYSICS]="),
        QStringLiteral("[BEGINPOS]="),   QStringLiteral("[ENDPOS]="),
        QStringLiteral("[SIDE]="),       QStringLiteral("[COMMTYPE]="),
        QStringLiteral("[COMMDATA]="),   QStringLiteral("[PROTOCOL]="),
    };
    const QStringList values = recordValues(device);
    QStringList assignments;
    for (int i = 0; i < labels.size(); ++i) {
        assignments.append(labels[i] + values[i]);
    }
    return QStringLiteral("update DEVICE set ") + assignments.join(u',') +
           keyCondition(keyType, keyCode);
}

QString selectDeviceStatement(int keyType, int keyCode) {
    return QStringLiteral("SELECT * FROM DEVICE ") + keyCondition(keyType, keyCode);
}

QString deleteDeviceStatement(int deviceType, int deviceCode) {
    return QStringLiteral("DELETE FROM DEVICE ") + QStringLiteral("WHERE DEVICETYPE = ") +
           QString::number(deviceType) + QStringLiteral(" AND DEVICECODE = ") +
           QString::number(deviceCode);
}

QString selectConnectionStatement(int keyType, int keyCode) {
    return QStringLiteral("SELECT COMMTYPE,COMMDATA,PROTOCOL FROM DEVICE ") +
           keyCondition(keyType, keyCode);
}

QString updateConnectionStatement(const ConnectionSetting& setting, int keyType, int keyCode) {
    QString sql = QStringLiteral("UPDATE DEVICE SET ") + QStringLiteral(" COMMTYPE=") +
                  QString::number(setting.commType);
    if (setting.commType != 3) {
        sql += QStringLiteral(", COMMDATA=") + sqlQuote(setting.commData);
    }
    return sql + QStringLiteral(", PROTOCOL=") + QString::number(setting.protocol) +
           keyCondition(keyType, keyCode);
}

QString serialSettingsText(const SerialSettings& s) {
    return text::trimmed(s.port) + u';' + text::trimmed(s.baud) + u',' + text::trimmed(s.dataBits) +
           u',' + parityLetter(s.parity) + u',' + text::trimmed(s.stopBits);
}

SerialSettings parseSerialSettings(const QString& commData) {
    SerialSettings settings;
    if (commData.isEmpty()) {
        return settings;
    }
    QString rest = commData;
    QString piece = text::splitFirst(rest, u';');
    settings.port = piece;
    for (int count = 1; !piece.isEmpty() && count <= 4; ++count) {
        piece = text::splitFirst(rest, u',');
        switch (count) {
            case 1:
                settings.baud = piece;
                break;
            case 2:
                settings.dataBits = piece;
                break;
            case 3:
                settings.parity = parityText(piece);
                break;
            case 4:
                settings.stopBits = piece;
                break;
        }
    }
    return settings;
}

QString selectSignStatement(int deviceCode) {
    return QStringLiteral("Select * From Device Where DeviceType = %1 And DeviceCode = %2")
        .arg(12)
        .arg(deviceCode);
}

QVariantList signColumnValues(const SignProperties& sign) {
    QStringList colours;
    for (int c : sign.colours)
        colours.append(QString::number(c));
    QStringList fonts;
    for (int f : sign.fonts)
        fonts.append(QString::number(f));
    return {sign.mounting,      sign.width,       sign.height,          sign.pictureSize,
            entryList(colours), entryList(fonts), entryList(sign.sizes)};
}

QString updateSignStatement(const SignProperties& sign, int deviceCode) {
    const QVariantList values = signColumnValues(sign);
    return QStringLiteral(
               "Update Device Set int1 = %1, int2 = %2, int3 = %3, int4 = %4,char1 = '%5',"
               "char2 = '%6', char3 = '%7' where DeviceType = 12 and devicecode = %8")
        .arg(values[0].toInt())
        .arg(values[1].toInt())
        .arg(values[2].toInt())
        .arg(values[3].toInt())
        .arg(values[4].toString(), values[5].toString(), values[6].toString())
        .arg(deviceCode);
}

QString deviceWhere(int deviceType, int deviceCode) {
    return QStringLiteral("DEVICETYPE=%1 and DEVICECODE=%2").arg(deviceType).arg(deviceCode);
}

QString entryList(const QStringList& entries) {
    return entries.join(u',');
}

}  // namespace tunnel::data
