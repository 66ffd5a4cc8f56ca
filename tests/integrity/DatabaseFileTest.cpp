// SQLite's locks are the process's: one close() of any descriptor of the database file (or its
// -wal or -shm) anywhere in the process drops them all, and the next program to close the file
// deletes the write-ahead log under the open windows. Every flow that shows a file dialog is
// driven here at the database's own folder, while another program writes the file, and the
// process must still hold its locks, the other program must see the windows' next edit, and the
// file must be whole afterwards.
#include "data/Schema.h"
#include "devices/TfmDeviceMainage.h"
#include "history/TfmQueryStatus.h"
#include "platform/db/Database.h"
#include "support/MessageRecorder.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>

using namespace tunnel;
using namespace tunnel::test;

namespace {

// The file as another program of the installation sees it, through the sqlite3 shell.
QString otherProgram(const QString& file, const QString& sql) {
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"),
                {QStringLiteral("-cmd"), QStringLiteral(".timeout 5000"), file, sql});
    if (!shell.waitForFinished(20000) || shell.exitCode() != 0) {
        ADD_FAILURE() << "sqlite3: " << shell.readAllStandardError().toStdString();
    }
    return QString::fromUtf8(shell.readAllStandardOutput()).trimmed();
}

// POSIX locks this process holds on the file, as the kernel lists them.
int locksHeldOn(const QString& file) {
    struct stat status {};
    if (::stat(QFile::encodeName(file).constData(), &status) != 0) {
        return 0;
    }
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "no /proc/locks";
        return 0;
    }
    const QString pid = QString::number(QCoreApplication::applicationPid());
    const QString inode = u':' + QString::number(status.st_ino);
    int held = 0;
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QStringList fields = QString::fromLatin1(line).split(u' ', Qt::SkipEmptyParts);
        // "1: POSIX  ADVISORY  READ 1234 08:01:5678 128 128"
        if (fields.size() >= 6 && fields[1] == QStringLiteral("POSIX") && fields[4] == pid &&
            fields[5].endsWith(inode)) {
            ++held;
        }
    }
    return held;
}

// Waits for the module's file dialog, shows it the database's folder until it has listed and
// typed every file there, offers it each name in `refused` (each must be refused with the dialog
// left open), then answers `answer`, or cancels when that is empty.
class DialogDriver : public QObject {
public:
    DialogDriver(QString folder, QStringList refused, QString answer, MessageRecorder& messages)
        : folder_(std::move(folder)),
          refused_(std::move(refused)),
          answer_(std::move(answer)),
          messages_(messages) {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { look(); });
        timer_.start();
    }

    bool drove() const { return drove_; }

private:
    void look() {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) {
            return;
        }
        timer_.stop();
        drive(*dialog);
    }

    void drive(QFileDialog& dialog) {
        auto* model = dialog.findChild<QFileSystemModel*>();
        ASSERT_NE(model, nullptr);
        bool loaded = false;
        QObject::connect(model, &QFileSystemModel::directoryLoaded, this,
                         [&](const QString& path) { loaded = loaded || path == folder_; });
        dialog.setDirectory(folder_);
        EXPECT_TRUE(QTest::qWaitFor([&] { return loaded; }, 10000));
        const QModelIndex root = model->index(folder_);
        for (int row = 0; row < model->rowCount(root); ++row) {
            model->data(model->index(row, 0, root), Qt::DecorationRole);
            model->data(model->index(row, 2, root));
        }
        QTest::qWait(700);  // the model's own thread looks at each file meanwhile
        auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        for (const QString& file : refused_) {
            const auto before = messages_.messages().size();
            name->setText(file);
            QTest::keyClick(name, Qt::Key_Return);
            EXPECT_TRUE(dialog.isVisible()) << file.toStdString() << " was taken";
            EXPECT_EQ(messages_.messages().size(), before + 1) << file.toStdString();
        }
        if (answer_.isEmpty()) {
            dialog.reject();
            return;
        }
        name->setText(answer_);
        QTest::keyClick(name, Qt::Key_Return);
        drove_ = true;
    }

    QString folder_;
    QStringList refused_;
    QString answer_;
    MessageRecorder& messages_;
    QTimer timer_;
    bool drove_ = false;
};

void trigger(QWidget& grid, const QString& title) {
    for (QAction* action : grid.actions()) {
        if (action->text() == title) {
            action->trigger();
            return;
        }
    }
    ADD_FAILURE() << "no " << title.toStdString();
}

struct Flow {
    const char* name;
    // Starts the flow whose dialog the driver answers; `folder` is the database's.
    std::function<void(const data::ModuleContext&, const QString& folder)> run;
    // The name the dialog is given, relative to the folder.
    const char* answer;
    const char* written;  // what the flow leaves in the folder; empty when it writes nothing
};

void withDeviceList(const data::ModuleContext& context, const QString& action) {
    devices::TfmDeviceMainage window(nullptr, context);
    window.show();
    trigger(*window.findChild<QTableView*>(QStringLiteral("DBGrid1")), action);
}

const Flow kFlows[] = {
    {"RegisterExport",
     [](const data::ModuleContext& context, const QString&) {
         withDeviceList(context, QStringLiteral("导出设备表(&X)..."));
     },
     "register", "register.csv"},
    {"RegisterImport",
     [](const data::ModuleContext& context, const QString& folder) {
         QFile in(folder + QStringLiteral("/in.csv"));
         ASSERT_TRUE(in.open(QIODevice::WriteOnly));
         in.write("DEVICETYPE,DEVICECODE,PHYSICS\r\n1,2,imported\r\n");
         in.close();
         withDeviceList(context, QStringLiteral("导入设备表(&I)..."));
     },
     "in.csv", ""},
    {"HistoryExport",
     [](const data::ModuleContext& context, const QString&) {
         history::TfmQueryStatus window(nullptr, context);
         window.show();
         window.findChild<QAbstractButton*>(QStringLiteral("btQuery"))->click();
         trigger(*window.findChild<QTableView*>(QStringLiteral("DBGrid")),
                 QStringLiteral("导出CSV(&E)..."));
         QTest::qWait(300);  // the export walks its rows on the event loop
     },
     "states.csv", "states.csv"},
};

class DatabaseFile : public ::testing::TestWithParam<Flow> {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.isValid());
        file_ = folder_.filePath(QStringLiteral("t.db"));
        connection_ = QStringLiteral("Provider=SQLite;Data Source=") + file_;
        editor_ = db::Database::open(connection_, db::Database::OpenMode::CreateIfMissing);
        data::createSchema(*editor_);
        editor_->execute(
            QStringLiteral("INSERT INTO DEVICETYPE (TYPECODE, TYPENAME) VALUES (1, "
                           "'摄像机')"));
        editor_->execute(QStringLiteral(
            "INSERT INTO DEVICE (DEVICETYPE, DEVICECODE, CYCLE) VALUES (1, 1, 60), (1, 2, 60)"));
        ASSERT_TRUE(QFile::link(file_, folder_.filePath(QStringLiteral("alias.csv"))));
    }

    QTemporaryDir folder_;
    QString file_;
    QString connection_;
    std::shared_ptr<db::Database> editor_;
    MessageRecorder messages_;
};

}  // namespace

TEST_P(DatabaseFile, ADialogAtTheDatabasesFolderLeavesItsLocksAndRefusesItsFiles) {
    const Flow& flow = GetParam();
    otherProgram(file_, QStringLiteral("insert into DEVICEALERT (DEVICETYPE, DEVICECODE, "
                                       "ALERTTIME, ALERTTYPE, ALERTDESC) values (1, 1, "
                                       "'2026-01-01 00:00:00.000', 1, 'before')"));
    ASSERT_GE(locksHeldOn(file_), 1) << "an open SQLite file in WAL mode is locked";

    {
        const data::ModuleContext context{connection_, {}};
        DialogDriver driver(
            folder_.path(),
            {QStringLiteral("t.db"), QStringLiteral("t.db-wal"), QStringLiteral("t.db-shm"),
             QStringLiteral("alias.csv"), file_ + QStringLiteral("-journal")},
            QString::fromLatin1(flow.answer), messages_);
        flow.run(context, folder_.path());
        EXPECT_TRUE(driver.drove()) << "the dialog was shown and answered";
        otherProgram(file_, QStringLiteral("insert into DEVICEALERT (DEVICETYPE, DEVICECODE, "
                                           "ALERTTIME, ALERTTYPE, ALERTDESC) values (1, 1, "
                                           "'2026-01-01 00:00:01.000', 1, 'while open')"));
        EXPECT_GE(locksHeldOn(file_), 1) << "the dialog dropped SQLite's locks";
        if (*flow.written != '\0') {
            EXPECT_TRUE(QFile::exists(folder_.filePath(QString::fromLatin1(flow.written))));
        }
    }

    otherProgram(file_, QStringLiteral("insert into DEVICEALERT (DEVICETYPE, DEVICECODE, "
                                       "ALERTTIME, ALERTTYPE, ALERTDESC) values (1, 1, "
                                       "'2026-01-01 00:00:02.000', 1, 'after')"));
    editor_->execute(
        QStringLiteral("UPDATE DEVICE SET CYCLE=55 WHERE DEVICETYPE=1 AND DEVICECODE=1"));
    EXPECT_EQ(otherProgram(file_, QStringLiteral("select CYCLE from DEVICE where DEVICETYPE=1 "
                                                 "and DEVICECODE=1")),
              QStringLiteral("55"))
        << "another program sees the edit";
    editor_.reset();
    EXPECT_EQ(otherProgram(file_, QStringLiteral("pragma integrity_check")), QStringLiteral("ok"));
    EXPECT_EQ(otherProgram(file_, QStringLiteral("select count(*) from DEVICEALERT")),
              QStringLiteral("3"));
}

INSTANTIATE_TEST_SUITE_P(Flows, DatabaseFile, ::testing::ValuesIn(kFlows),
                         [](const ::testing::TestParamInfo<Flow>& flow) {
                             return std::string(flow.param.name);
                         });
