#include "Commands.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char** argv) {
    // A report draws its PDF, which needs fonts: a display-less application of the GUI library
    // (a scheduled monthly run has no display).
    const bool draws = argc > 1 && std::strcmp(argv[1], "report") == 0;
    if (draws && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    std::unique_ptr<QCoreApplication> application =
        draws ? std::make_unique<QGuiApplication>(argc, argv)
              : std::make_unique<QCoreApplication>(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return tunnel::tools::runTunnelDb(arguments, out, err);
}
