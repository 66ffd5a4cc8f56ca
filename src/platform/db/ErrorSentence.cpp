#include "platform/db/ErrorSentence.h"

#include <QRegularExpression>

namespace tunnel::db {
namespace {

QString missingTable(const QString& table, const QString& where) {
    return QStringLiteral(
               "%1中没有表 %2：它还没有建立本系统的表，或连接字符串指向了别的数据库。"
               "请检查连接字符串，或由数据库管理员运行 tunneldb init 建立这些表。")
        .arg(where, table.toUpper());
}

}  // namespace

QString errorSentence(Engine engine, const QString& nativeCode, const QString& text,
                      const QString& where) {
    switch (engine) {
        case Engine::SQLite: {
            static const QRegularExpression noTable(
                QStringLiteral("no such table: (?:\\w+\\.)?(\\w+)"));
            if (const QRegularExpressionMatch match = noTable.match(text); match.hasMatch()) {
                return missingTable(match.captured(1), where);
            }
            if (nativeCode == u"26" || text.contains(QStringLiteral("file is not a database"))) {
                return QStringLiteral(
                           "%1不是数据库文件（可能选错了文件，或文件已损坏）。"
                           "请检查连接字符串中的 Data Source。")
                    .arg(where);
            }
            if (nativeCode == u"8" || text.contains(QStringLiteral("readonly database"))) {
                // Reading a file in WAL mode needs its shared-memory file, which SQLite makes
                // with the file's own permissions: a file this user may only read cannot be
                // read either while no program holds it open.
                return QStringLiteral(
                           "%1对运行本程序的用户是只读的（文件或其所在文件夹没有写入"
                           "权限），不能保存修改；没有其他程序打开它时也不能读取。"
                           "请数据库管理员开放写入权限。")
                    .arg(where);
            }
            return {};
        }
        case Engine::PostgreSQL: {
            static const QRegularExpression noRelation(
                QStringLiteral("relation \"(?:\\w+\\.)?(\\w+)\" does not exist"));
            if (const QRegularExpressionMatch match = noRelation.match(text);
                nativeCode == u"42P01" && match.hasMatch()) {
                return missingTable(match.captured(1), where);
            }
            return {};
        }
        case Engine::SqlServer:
            return {};
    }
    return {};
}

}  // namespace tunnel::db
