#include "platform/db/Database.h"

#include "platform/db/SessionPool.h"

#include "platform/db/DatabaseFiles.h"
#include "platform/db/DbError.h"
#include "platform/db/Dialect.h"
#include "platform/db/ErrorSentence.h"
#include "platform/db/SqlTokens.h"
#include "platform/db/SqliteFunctions.h"
#include "platform/db/StandbyJudge.h"
#include "platform/db/StandbyWatch.h"
#include "platform/db/ValueText.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>

#include <libpq-fe.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>

namespace tunnel::db {
namespace {

// Qt keeps one registry of connection names per process, shared by the host and every module
// that carries this code (the plug-in has its own copy): the counter's address tells the
// copies apart.
QString nextConnectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("tunnel-devicemgmt-%1-%2")
        .arg(reinterpret_cast<quintptr>(&counter), 0, 16)
        .arg(++counter);
}

QString driverOf(Engine engine) {
    switch (engine) {
        case Engine::SQLite:
            return QStringLiteral("QSQLITE");
        case Engine::PostgreSQL:
            return QStringLiteral("QPSQL");
        case Engine::SqlServer:
            return QStringLiteral("QODBC");
    }
    return {};
}

// The statement with its "?" placeholders numbered as PostgreSQL names its parameters ($1, ...).
QString numberedPlaceholders(const QString& sql) {
    QString numbered;
    int count = 0;
    for (const Token& token : tokenize(sql)) {
        numbered += token.isSymbol(u"?") ? QStringLiteral("$%1").arg(++count) : token.text;
    }
    return numbered;
}

// The statement with each "?" placeholder replaced by its value as a literal: behind a pooler
// in transaction mode no statement may be prepared on the server's session, which the next
// transaction may not have.
QString withLiterals(const QString& sql, const QStringList& literals) {
    QString written;
    qsizetype next = 0;
    for (const Token& token : tokenize(sql)) {
        written += token.isSymbol(u"?") && next < literals.size() ? literals[next++] : token.text;
    }
    return written;
}

// What waits on a session's socket, looked at without reading or waiting: the byte count
// recv() gives (0 at the connection's end, -1 with EAGAIN when nothing waits).
ssize_t peekAt(PGconn* connection) {
    char byte = 0;
    return ::recv(PQsocket(connection), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
}

// PostgreSQL quotes the failing statement in its text ("LINE 1: INSERT ..." and a caret line
// under it); the statement travels apart, for the details of a report, not in its main text.
QString withoutStatementEcho(const QString& text) {
    static const QRegularExpression echo(QStringLiteral("^(LINE \\d+:.*|\\s*\\^\\s*)$"));
    QStringList kept;
    for (const QString& line : text.split(u'\n')) {
        if (!echo.match(line).hasMatch()) {
            kept.append(line);
        }
    }
    return kept.join(u'\n').trimmed();
}

// Whether the error says the session is gone (ended by the server, a restart, the network),
// rather than that the statement was refused.
bool isConnectionLost(Engine engine, const QSqlError& error) {
    const QString code = error.nativeErrorCode();
    const QString text = error.databaseText() + u'\n' + error.driverText();
    switch (engine) {
        case Engine::SQLite:
            return false;
        case Engine::PostgreSQL: {
            static const QStringList signs = {
                QStringLiteral("server closed the connection"),
                QStringLiteral("no connection to the server"),
                QStringLiteral("terminating connection"),
                QStringLiteral("connection to server was lost"),
                QStringLiteral("could not receive data from server"),
                QStringLiteral("could not send data to server"),
                QStringLiteral("SSL connection has been closed"),
            };
            if (code.startsWith(QStringLiteral("57P0")) || code.startsWith(QStringLiteral("08"))) {
                return true;
            }
            for (const QString& sign : signs) {
                if (text.contains(sign, Qt::CaseInsensitive))
                    return true;
            }
            return error.type() == QSqlError::ConnectionError;
        }
        case Engine::SqlServer:
            return code.contains(QStringLiteral("08S01")) ||
                   code.contains(QStringLiteral("08003")) ||
                   text.contains(QStringLiteral("Communication link failure"), Qt::CaseInsensitive);
    }
    return false;
}

// Whether the statement gave up waiting for a lock another session holds (the bound of
// Lock Timeout ran out), rather than being refused.
bool isLockTimeout(Engine engine, const QSqlError& error) {
    const QString code = error.nativeErrorCode();
    switch (engine) {
        case Engine::SQLite:
            return code == u"5" || code == u"6" ||
                   error.databaseText().contains(QStringLiteral("database is locked"));
        case Engine::PostgreSQL:
            return code == u"55P03";
        case Engine::SqlServer:
            return code.contains(QStringLiteral("1222"));
    }
    return false;
}

bool isUniqueViolation(Engine engine, const QSqlError& error) {
    const QString code = error.nativeErrorCode();
    const QString text = error.databaseText();
    switch (engine) {
        case Engine::SQLite:
            return code == u"2067" || code == u"1555" ||
                   text.contains(QStringLiteral("UNIQUE constraint failed"));
        case Engine::PostgreSQL:
            return code == u"23505";
        case Engine::SqlServer:
            return code.contains(QStringLiteral("2627")) || code.contains(QStringLiteral("2601")) ||
                   text.contains(QStringLiteral("duplicate key"), Qt::CaseInsensitive);
    }
    return false;
}

}  // namespace

Database::Database(ConnectionSettings settings, QString connectionName)
    : settings_(std::move(settings)),
      connectionName_(std::move(connectionName)),
      thread_(QThread::currentThread()) {}

Database::~Database() {
    if (inTransaction_) {
        rollback();
    }
    forgetStatements();
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(connectionName_);
}

namespace {

// The owners' hold on a session: the last to let go gives it back to be kept.
std::function<void(Database*)> keptWhenLetGo(const QString& connectionString) {
    return [connectionString](Database* db) {
        sessionPool::giveBack(connectionString, std::unique_ptr<Database>(db));
    };
}

}  // namespace

std::shared_ptr<Database> Database::kept(const QString& connectionString) {
    if (std::unique_ptr<Database> session = sessionPool::take(connectionString)) {
        return std::shared_ptr<Database>(session.release(), keptWhenLetGo(connectionString));
    }
    return nullptr;
}

std::shared_ptr<Database> Database::open(const QString& connectionString, OpenMode mode) {
    if (std::shared_ptr<Database> session = kept(connectionString)) {
        return session;
    }
    ConnectionSettings settings = ConnectionSettings::parse(connectionString);
    std::shared_ptr<Database> db(new Database(std::move(settings), nextConnectionName()),
                                 keptWhenLetGo(connectionString));
    db->connectionString_ = connectionString;
    db->connect(mode);
    return db;
}

// Qt ties a connection to the thread of its driver object: the driver moves (as later Qt
// versions' QSqlDatabase::moveToThread does).
bool Database::moveToThread(QThread* thread) {
    QSqlDriver* driver = handle().driver();
    if (driver == nullptr || driver->parent() != nullptr) {
        return false;
    }
    driver->moveToThread(thread);
    if (driver->thread() != thread) {
        return false;
    }
    thread_ = thread;
    return true;
}

void Database::finishResults() {
    for (const std::shared_ptr<QSqlQuery>& query : std::as_const(kept_)) {
        query->finish();
    }
    lastRead_.finish();
    // Qt's driver leaves the end of a forward-only read to be collected by the next statement:
    // collected here as far as it has come, without waiting (a result still coming leaves the
    // session busy, and it is not kept).
    if (auto* connection = static_cast<PGconn*>(rawPostgresConnection())) {
        while (PQconsumeInput(connection) == 1 && PQisBusy(connection) == 0) {
            PGresult* rest = PQgetResult(connection);
            if (rest == nullptr) {
                break;
            }
            PQclear(rest);
        }
    }
}

void* Database::rawPostgresConnection() const {
    QSqlDatabase db = handle();
    if (engine() != Engine::PostgreSQL || !db.isOpen()) {
        return nullptr;
    }
    const QVariant driverHandle = db.driver()->handle();
    // Qt names the type after the struct behind the libpq typedef (pg_conn*).
    if (!driverHandle.isValid() || !QByteArray(driverHandle.typeName()).endsWith("conn*")) {
        return nullptr;
    }
    return *static_cast<void* const*>(driverHandle.constData());
}

bool Database::stillConnected() {
    if (lost_ || !handle().isOpen()) {
        return false;
    }
    auto* connection = static_cast<PGconn*>(rawPostgresConnection());
    if (connection == nullptr) {
        return true;
    }
    // An idle session is sent nothing: anything waiting on its socket is the notice of a
    // session the server ended (which libpq would take for a notice, the connection still
    // good), or the end of the connection.
    const ssize_t waiting = peekAt(connection);
    const bool nothingWaiting = waiting < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    return nothingWaiting && PQstatus(connection) == CONNECTION_OK &&
           PQtransactionStatus(connection) == PQTRANS_IDLE;
}

std::shared_ptr<Database> Database::shared(const QString& connectionString) {
    static QHash<QString, std::weak_ptr<Database>> open;
    if (auto existing = open.value(connectionString).lock()) {
        return existing;
    }
    auto db = Database::open(connectionString);
    open.insert(connectionString, db);
    return db;
}

void Database::connect(OpenMode mode) {
    const QString driver = driverOf(settings_.engine);
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        throw DbError(
            QStringLiteral("没有安装%2所需的数据库驱动 %1。").arg(driver, settings_.describe()));
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, connectionName_);
    switch (settings_.engine) {
        case Engine::SQLite: {
            const QFileInfo file(settings_.file);
            if (!file.absoluteDir().exists()) {
                throw DbError(QStringLiteral("%1所在的文件夹不存在。").arg(settings_.describe()));
            }
            if (mode == OpenMode::Existing && !file.exists()) {
                throw DbError(QStringLiteral("%1不存在。").arg(settings_.describe()));
            }
            noteDatabaseFile(settings_.file);
            db.setDatabaseName(settings_.file);
            // A file this user may only read: SQLite opens it for reading, so the windows that
            // only read work, and a write is refused saying why.
            readOnly_ = file.exists() && !file.isWritable();
            db.setConnectOptions(
                QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(settings_.lockTimeoutSeconds * 1000));
            break;
        }
        case Engine::PostgreSQL:
            db.setDatabaseName(settings_.database);
            db.setUserName(settings_.user);
            db.setPassword(settings_.password);
            break;
        case Engine::SqlServer:
            // The driver would append user and password unquoted: they go inside the text.
            db.setDatabaseName(odbcConnectionText(settings_));
            break;
    }
    openSession(db);
    applySessionSettings();
    if (settings_.engine == Engine::SQLite) {
        addModuleFunctions(sqliteConnection());
        // Other programs of the installation write the same file while windows read it.
        if (!readOnly_) {
            execute(QStringLiteral("PRAGMA journal_mode=WAL"));
        }
    }
}

QSqlDatabase Database::handle() const {
    return QSqlDatabase::database(connectionName_, false);
}

QSqlDatabase Database::usable() {
    // The driver closes a connection whose session it found gone.
    if ((lost_ || !handle().isOpen()) && !inTransaction_) {
        reopen();
    }
    // A window stays open for hours: a standby that fell behind since is left for the primary.
    if (watch_ && !inTransaction_ && !watch_->current()) {
        reopen();
    }
    return handle();
}

void Database::forgetStatements() {
    genericPlans_ = false;
    kept_.clear();
    keptReads_.clear();
    named_.clear();
    unnamed_.clear();
    lastRead_ = QSqlQuery();
}

void Database::reopen() {
    forgetStatements();
    knownTables_.clear();
    QSqlDatabase db = handle();
    db.close();
    openSession(db);
    lost_ = false;
    applySessionSettings();
    if (settings_.engine == Engine::SQLite) {
        addModuleFunctions(sqliteConnection());
    }
}

void Database::applySessionSettings() {
    if (settings_.engine != Engine::SqlServer) {
        return;  // SQLite and PostgreSQL take the bound with the connection's options
    }
    const QString sql =
        QStringLiteral("SET LOCK_TIMEOUT %1").arg(settings_.lockTimeoutSeconds * 1000);
    QSqlQuery query(handle());
    if (!query.exec(sql)) {
        throw errorFrom(query.lastError(), sql);
    }
}

void Database::openSession(QSqlDatabase& db) {
    onStandby_ = false;
    watch_.reset();
    if (settings_.engine != Engine::PostgreSQL) {
        openOrThrow(db);
        return;
    }
    if (settings_.readsFromStandby && openedStandby(db)) {
        onStandby_ = true;
        if (auto* connection = static_cast<PGconn*>(rawPostgresConnection())) {
            watch_ =
                std::make_unique<StandbyWatch>(settings_, QString::fromUtf8(PQhost(connection)),
                                               QString::fromUtf8(PQport(connection)));
        }
        return;
    }
    aimAtWriter(db, settings_, 10);
    openOrThrow(db);
}

QString Database::primaryProbeName() const {
    return connectionName_ + QStringLiteral("-primary");
}

bool Database::openedStandby(QSqlDatabase& db) {
    QStringList hosts;
    QStringList ports;
    for (const QString& standby : settings_.standbys) {
        const qsizetype colon = standby.lastIndexOf(u':');
        hosts.append(colon < 0 ? standby : standby.left(colon));
        ports.append(colon < 0 ? QString::number(settings_.port) : standby.mid(colon + 1));
    }
    // A standby that does not answer within a few seconds is passed over.
    aimPostgres(db, settings_, hosts.join(u','), ports.join(u','), QStringLiteral("read-only"), 3);
    if (!db.open()) {
        return false;
    }
    if (!judge_) {
        judge_ = std::make_unique<StandbyJudge>(settings_, primaryProbeName());
    }
    if (judge_->isCurrent(db)) {
        return true;
    }
    db.close();
    return false;
}

void Database::openOrThrow(QSqlDatabase& db) const {
    if (!db.open()) {
        const QSqlError error = db.lastError();
        throw DbError(QStringLiteral("无法打开%1：%2")
                          .arg(settings_.describe(), settings_.scrub(error.text().trimmed())),
                      error.nativeErrorCode());
    }
}

template <typename Step>
decltype(auto) Database::againIfSessionWent(Step step) {
    try {
        return step();
    } catch (const DbError&) {
        if (!lost_ || inTransaction_) {
            throw;
        }
    }
    return step();
}

QSqlQuery Database::select(const QString& sql, Written written, bool forwardOnly) {
    return againIfSessionWent([&] {
        QSqlQuery query(usable());
        query.setForwardOnly(forwardOnly);
        if (!query.exec(written == Written::SqlServer ? translate(sql) : sql)) {
            throw errorFrom(query.lastError(), sql);
        }
        return query;
    });
}

QSqlQuery Database::select(const QString& sql, const QVariantList& values, Written written) {
    if (values.isEmpty()) {
        return select(sql, written);
    }
    if (settings_.pooledTransactions) {
        const QString engineSql = written == Written::SqlServer ? translate(sql) : sql;
        return select(inlined(engineSql, values), Written::ForEngine);
    }
    return againIfSessionWent([&] {
        QSqlQuery query(usable());
        query.setForwardOnly(true);
        if (!query.prepare(written == Written::SqlServer ? translate(sql) : sql)) {
            throw errorFrom(query.lastError(), sql);
        }
        for (const QVariant& value : values) {
            query.addBindValue(boundValue(value));
        }
        if (!query.exec()) {
            throw errorFrom(query.lastError(), sql);
        }
        return query;
    });
}

QSqlQuery& Database::selectKept(const QString& sql, const QVariantList& values) {
    if (engine() != Engine::PostgreSQL) {
        lastRead_ = select(sql, values, Written::ForEngine);
        return lastRead_;
    }
    // A grid holds a few statements at a time (down, up, the row it returns to); the statements
    // of queries left behind go, so that hours of use keep no pile of them on the server.
    constexpr qsizetype kKeptReads = 8;
    return againIfSessionWent([&]() -> QSqlQuery& {
        usable();
        keptReads_.removeOne(sql);
        keptReads_.append(sql);
        if (keptReads_.size() > kKeptReads) {
            forgetKept(keptReads_.takeFirst());
        }
        return runKept(sql, sql, values);
    });
}

void Database::forgetKept(const QString& sql) {
    kept_.remove(sql);
    const QString name = named_.take(sql);
    if (!name.isEmpty()) {
        unnamed_.append(QStringLiteral("DEALLOCATE ") + name);
    }
}

QStringList Database::literalsOf(const QVariantList& values) const {
    QStringList literals;
    for (const QVariant& value : values) {
        literals.append(literalOf(boundValue(value)));
    }
    return literals;
}

QString Database::inlined(const QString& engineSql, const QVariantList& values) const {
    return withLiterals(engineSql, literalsOf(values));
}

QString Database::literalOf(const QVariant& value) const {
    QSqlField field(QString(), value.metaType());
    if (!value.isNull()) {
        field.setValue(value);
    }
    return handle().driver()->formatValue(field);
}

QSqlQuery& Database::runNamed(const QString& sql, const QString& engineSql,
                              const QVariantList& values) {
    const QStringList literals = literalsOf(values);
    QString& name = named_[sql];
    // A statement's first run sends, in the same exchange, the server's statement made of it
    // (and those let go of since, and the session's planning): one round trip where a prepare
    // and a run were two. Its later runs name it, with their values written as literals, as
    // Qt's own runs of a prepared statement do.
    QStringList before;
    if (name.isEmpty()) {
        name = QStringLiteral("tunnel_s%1").arg(++statementsNamed_);
        before = std::exchange(unnamed_, {});
        if (!genericPlans_) {
            // Planned once, with the partitions pruned as it runs: a plan made for each run's
            // values would be made afresh at every batch, and over forty partitions planning
            // costs more than reading.
            before.append(QStringLiteral("SET plan_cache_mode = force_generic_plan"));
        }
        before.append(
            QStringLiteral("PREPARE %1 AS %2").arg(name, numberedPlaceholders(engineSql)));
    }
    std::shared_ptr<QSqlQuery>& query = kept_[sql];
    if (!query) {
        query = std::make_shared<QSqlQuery>(handle());
    }
    // The rows of a first run come after the results of what was sent before it: all are read
    // at once, the run's last.
    query->setForwardOnly(before.isEmpty());
    const QString run =
        QStringLiteral("EXECUTE ") + name +
        (literals.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(literals.join(u',')));
    if (!query->exec((before + QStringList{run}).join(QStringLiteral(";\n")))) {
        const DbError error = errorFrom(query->lastError(), sql);
        // A first run that failed may have left its statement on the server or not: its name
        // is not used again.
        kept_.remove(sql);
        named_.remove(sql);
        throw error;
    }
    for (qsizetype i = 0; i < before.size(); ++i) {
        query->nextResult();
    }
    genericPlans_ = true;
    return *query;
}

QSqlQuery& Database::runKept(const QString& sql, const QString& engineSql,
                             const QVariantList& values) {
    if (settings_.pooledTransactions) {
        std::shared_ptr<QSqlQuery>& query = kept_[sql];
        if (!query) {
            query = std::make_shared<QSqlQuery>(handle());
            query->setForwardOnly(true);
        }
        if (!query->exec(inlined(engineSql, values))) {
            const DbError error = errorFrom(query->lastError(), sql);
            kept_.remove(sql);
            throw error;
        }
        return *query;
    }
    if (engine() == Engine::PostgreSQL) {
        return runNamed(sql, engineSql, values);
    }
    std::shared_ptr<QSqlQuery>& query = kept_[sql];
    if (!query) {
        query = std::make_shared<QSqlQuery>(handle());
        query->setForwardOnly(true);
        if (!query->prepare(engineSql)) {
            const DbError error = errorFrom(query->lastError(), sql);
            kept_.remove(sql);
            throw error;
        }
    }
    for (int i = 0; i < values.size(); ++i) {
        query->bindValue(i, boundValue(values[i]));
    }
    if (!query->exec()) {
        const DbError error = errorFrom(query->lastError(), sql);
        kept_.remove(sql);
        throw error;
    }
    return *query;
}

bool Database::next(QSqlQuery& result, const QString& sql) {
    if (result.next()) {
        return true;
    }
    if (result.lastError().isValid()) {
        throw errorFrom(result.lastError(), sql);
    }
    return false;
}

void Database::forEachRow(const QString& sql, const QVariantList& values,
                          const std::function<void(const QVariantList& row)>& take,
                          Written written) {
    forEachRowWhile(
        sql, values,
        [&](const QVariantList& row) {
            take(row);
            return true;
        },
        written);
}

void Database::forEachRowWhile(const QString& sql, const QVariantList& values,
                               const std::function<bool(const QVariantList& row)>& take,
                               Written written) {
    QSqlQuery result = select(sql, values, written);
    QVariantList row;
    const int columns = result.record().count();
    while (next(result, sql)) {
        row.clear();
        for (int i = 0; i < columns; ++i) {
            row.append(result.value(i));
        }
        if (!take(row)) {
            break;
        }
    }
}

QStringList Database::columnsOf(const QString& table) {
    const QString sql = QStringLiteral("select * from %1 where 1=0").arg(table);
    const QSqlRecord record = select(sql).record();
    QStringList names;
    for (int i = 0; i < record.count(); ++i) {
        names.append(record.fieldName(i));
    }
    return names;
}

QSqlQuery Database::prepare(const QString& sql) {
    QSqlQuery query(usable());
    if (!query.prepare(translate(sql))) {
        throw errorFrom(query.lastError(), sql);
    }
    return query;
}

void Database::run(QSqlQuery& prepared, const QString& sql) {
    if (!prepared.exec()) {
        throw errorFrom(prepared.lastError(), sql);
    }
}

bool Database::hasTable(const QString& table) {
    const QString name = engine() == Engine::PostgreSQL ? table.toLower() : table;
    if (!usable().record(name).isEmpty()) {
        return true;
    }
    // The driver says "no such table" for a session the server ended (the end read as the
    // look-up's answer, the connection still called good): asked again on a fresh one, as a
    // read is.
    if (engine() == Engine::PostgreSQL && !inTransaction_ && !stillConnected()) {
        lost_ = true;
        return !usable().record(name).isEmpty();
    }
    return false;
}

bool Database::hasTableThisSession(const QString& table) {
    usable();  // a session begun afresh asks afresh
    const auto known = knownTables_.constFind(table);
    if (known != knownTables_.constEnd()) {
        return *known;
    }
    const bool exists = hasTable(table);
    knownTables_.insert(table, exists);
    return exists;
}

int Database::executeKept(const QString& sql, const QVariantList& values) {
    usable();
    return runKept(sql, translate(sql), values).numRowsAffected();
}

void* Database::postgresConnection() {
    if (engine() != Engine::PostgreSQL) {
        return nullptr;
    }
    usable();
    return rawPostgresConnection();
}

void* Database::sqliteConnection() {
    if (engine() != Engine::SQLite) {
        return nullptr;
    }
    const QVariant handle = usable().driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        return nullptr;
    }
    return *static_cast<void* const*>(handle.constData());
}

QVariant Database::boundValue(const QVariant& value) const {
    // Qt's PostgreSQL driver sends a date-time as an instant in UTC, which the server turns
    // back into a time of its own zone: a time without zone, as every stored time is, compares
    // with the wall-clock time itself.
    if (engine() == Engine::PostgreSQL && value.typeId() == QMetaType::QDateTime) {
        return storedTimeText(value.toDateTime());
    }
    return value;
}

QString Database::translate(const QString& sql) const {
    return translateSql(sql, engine());
}

DbError Database::errorFrom(const QSqlError& error, const QString& statement) const {
    QString text = withoutStatementEcho(error.databaseText());
    if (text.isEmpty()) {
        text = error.text().trimmed();
    }
    text = settings_.scrub(text);
    if (!handle().isOpen()) {
        // Past a lost session the driver says nothing at all.
        lost_ = true;
        text = QStringLiteral("连接已关闭。");
    }
    bool busy = false;
    if (const QString sentence =
            errorSentence(engine(), error.nativeErrorCode(), text, settings_.describe());
        !sentence.isEmpty()) {
        text = sentence + u'\n' + text;
    }
    if (lost_ || isConnectionLost(engine(), error)) {
        lost_ = true;
        text = QStringLiteral("与数据库的连接已中断：%1\n下次操作时将重新连接。").arg(text);
    } else if (isLockTimeout(engine(), error)) {
        busy = true;
        text = QStringLiteral("数据库忙：另一个程序锁定了要修改的数据，请稍后再试。\n") + text;
    }
    return DbError(text, error.nativeErrorCode(), isUniqueViolation(engine(), error), statement,
                   busy);
}

int Database::execute(const QString& sql) {
    QSqlQuery query(usable());
    if (!query.exec(translate(sql))) {
        throw errorFrom(query.lastError(), sql);
    }
    return query.numRowsAffected();
}

int Database::execute(const QString& sql, const QVariantList& values) {
    if (settings_.pooledTransactions) {
        QSqlQuery query(usable());
        if (!query.exec(inlined(translate(sql), values))) {
            throw errorFrom(query.lastError(), sql);
        }
        return query.numRowsAffected();
    }
    QSqlQuery query(usable());
    if (!query.prepare(translate(sql))) {
        throw errorFrom(query.lastError(), sql);
    }
    for (const QVariant& value : values) {
        query.addBindValue(boundValue(value));
    }
    if (!query.exec()) {
        throw errorFrom(query.lastError(), sql);
    }
    return query.numRowsAffected();
}

void Database::begin() {
    againIfSessionWent([&] {
        if (engine() == Engine::SQLite) {
            execute(QStringLiteral("BEGIN IMMEDIATE"));
        } else {
            beginDriverTransaction();
        }
    });
    inTransaction_ = true;
}

void Database::beginSnapshot() {
    againIfSessionWent([&] { beginSnapshotOnce(); });
    inTransaction_ = true;
}

void Database::beginSnapshotOnce() {
    if (engine() == Engine::SQLite) {
        execute(QStringLiteral("BEGIN"));
    } else if (engine() == Engine::PostgreSQL) {
        execute(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY"));
        boundLockWaitInTransaction();
    } else {
        bool allowed = false;
        forEachRow(QStringLiteral("SELECT snapshot_isolation_state FROM sys.databases WHERE "
                                  "name = DB_NAME()"),
                   {}, [&](const QVariantList& row) { allowed = row[0].toInt() == 1; });
        if (allowed) {
            execute(QStringLiteral("SET TRANSACTION ISOLATION LEVEL SNAPSHOT"));
        }
        beginDriverTransaction();
    }
}

void Database::beginDriverTransaction() {
    if (QSqlDatabase db = usable(); !db.transaction()) {
        throw errorFrom(db.lastError(), QStringLiteral("BEGIN TRANSACTION"));
    }
    boundLockWaitInTransaction();
}

// Behind a pooler the session takes no startup options: the bound on lock waits is the
// transaction's own (a statement outside one has the role's, which the administrator sets).
void Database::boundLockWaitInTransaction() {
    if (settings_.pooledTransactions) {
        execute(
            QStringLiteral("SET LOCAL lock_timeout = %1").arg(settings_.lockTimeoutSeconds * 1000));
    }
}

void Database::commit() {
    try {
        if (engine() == Engine::SQLite) {
            execute(QStringLiteral("COMMIT"));
        } else if (!handle().commit()) {
            throw errorFrom(handle().lastError(), QStringLiteral("COMMIT"));
        }
    } catch (const DbError& error) {
        if (!lost_) {
            throw;  // refused: the transaction is still open, and rolled back by its owner
        }
        inTransaction_ = false;
        throw CommitOutcomeUnknown(
            QStringLiteral(
                "无法确定是否已保存：提交时与数据库的连接中断，服务器可能已保存，也可能没有。"
                "请查看数据后再操作。\n") +
                error.message(),
            error.nativeCode(), false, error.statement());
    }
    inTransaction_ = false;
}

void Database::rollback() noexcept {
    if (!inTransaction_) {
        return;
    }
    inTransaction_ = false;
    if (!handle().isOpen()) {
        return;  // the session, and the transaction with it, is gone already
    }
    if (engine() == Engine::SQLite) {
        QSqlQuery query(handle());
        query.exec(QStringLiteral("ROLLBACK"));
    } else {
        handle().rollback();
    }
}

}  // namespace tunnel::db
