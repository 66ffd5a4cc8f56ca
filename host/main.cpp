#include "HostFiles.h"
#include "HostServices.h"
#include "HostWindow.h"
#include "Plugin.h"
#include "ScreenshotTour.h"

#include "Commands.h"
#include "ConfiguredDatabase.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/DbError.h"
#include "platform/text/Gbk.h"
#include "platform/ui/Translation.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>

using namespace tunnel;

namespace {

void say(const QString& text) {
    std::printf("%s\n", text.toLocal8Bit().constData());
}

int fail(const QString& text) {
    std::fprintf(stderr, "tunnelhost: %s\n", text.toLocal8Bit().constData());
    return 1;
}

bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// The embedded default: an SQLite file in the user's data folder, created with the demo
// installation on first run.
QString defaultDatabase(const QString& workPath) {
    const QString file = QDir(workPath).filePath(QStringLiteral("tunnel.db"));
    QString connectionString = QStringLiteral("Provider=SQLite;Data Source=") + file;
    if (!QFileInfo::exists(file)) {
        tools::createDemoDatabase(connectionString);
        host::makePrivateFile(file);
        say(QStringLiteral("已在 %1 建立演示数据库").arg(file));
    }
    return connectionString;
}

}  // namespace

int main(int argc, char** argv) {
    const bool headless = !hasDisplay();
    if (headless) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tunnelhost"));
    QApplication::setApplicationDisplayName(QStringLiteral("隧道监控系统"));
    ui::useQtChineseTexts();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Host of the tunnel device-management plug-in."));
    parser.addHelpOption();
    const QCommandLineOption db(
        QStringLiteral("db"),
        QStringLiteral("Connection string (default: the one /etc/tunnelhost.conf gives, else a "
                       "demo SQLite file in the data folder)."),
        QStringLiteral("CONNECTIONSTRING"));
    const QCommandLineOption plugin(
        QStringLiteral("plugin"),
        QStringLiteral("Path of libdevicemgmt.so (default: next to the executable)."),
        QStringLiteral("PATH"));
    const QCommandLineOption open(QStringLiteral("open"),
                                  QStringLiteral("Run function code N at start."),
                                  QStringLiteral("N"));
    const QCommandLineOption screenshots(
        QStringLiteral("screenshots"),
        QStringLiteral("Open every window, save a PNG of each in DIR and exit."),
        QStringLiteral("DIR"));
    const QCommandLineOption denyRight(
        QStringLiteral("deny-right"),
        QStringLiteral("Refuse right N to the current user (repeatable)."), QStringLiteral("N"));
    parser.addOptions({db, plugin, open, screenshots, denyRight});
    parser.process(app);

    const QString workPath = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    host::createPrivateFolder(workPath);
    auto& services = host::HostServices::instance();
    services.setWorkPath(workPath);

    QString connectionString;
    try {
        const std::optional<QString> configured =
            host::configuredConnectionString(host::configurationPath());
        connectionString = parser.isSet(db) ? parser.value(db)
                           : configured     ? *configured
                                            : defaultDatabase(workPath);
        db::ConnectionSettings::parse(connectionString);
    } catch (const db::DbError& error) {
        return fail(error.message());
    }
    // The plug-in takes its connection string in GBK: a path it cannot represent would reach it
    // as another path.
    if (const QString lost = text::charactersWithoutGbk(connectionString); !lost.isEmpty()) {
        return fail(QStringLiteral("连接字符串中的字符“%1”没有 GBK 编码，插件无法使用该连接字符串；"
                                   "请改用只含 GBK 字符的路径或名称。")
                        .arg(lost));
    }
    services.setConnectionString(connectionString);
    for (const QString& right : parser.values(denyRight)) {
        bool ok = false;
        const int number = right.toInt(&ok);
        if (!ok)
            return fail(QStringLiteral("--deny-right 需要一个数字，而不是“%1”").arg(right));
        services.denyRight(number);
    }

    host::Plugin module;
    const QString pluginPath =
        parser.isSet(plugin)
            ? parser.value(plugin)
            : QDir(QApplication::applicationDirPath()).filePath(QStringLiteral("libdevicemgmt.so"));
    if (const QString error = module.load(pluginPath); !error.isEmpty()) {
        return fail(error);
    }
    host::HostWindow window(module, db::ConnectionSettings::parse(connectionString).describe());
    services.setMainWindow(&window);
    module.init(static_cast<FrameWindow>(window.winId()));
    module.setConnectionString(connectionString);

    if (parser.isSet(screenshots) || headless) {
        const QString folder = parser.isSet(screenshots)
                                   ? parser.value(screenshots)
                                   : QDir(workPath).filePath(QStringLiteral("screenshots"));
        if (headless && !parser.isSet(screenshots)) {
            say(QStringLiteral("没有显示器：改为逐个打开窗口并截图。"));
        }
        const QStringList files = host::ScreenshotTour(window, QDir(folder)).run();
        say(QStringLiteral("已将 %1 张截图保存在 %2")
                .arg(files.size())
                .arg(QDir(folder).absolutePath()));
        return files.isEmpty() ? 1 : 0;
    }

    window.show();
    if (parser.isSet(open)) {
        const uint32_t code = parser.value(open).toUInt();
        QTimer::singleShot(0, &window, [&window, code] { window.runFunction(code); });
    }
    return QApplication::exec();
}
