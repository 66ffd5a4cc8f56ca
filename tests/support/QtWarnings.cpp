#include "support/QtWarnings.h"

#include <QtMessageHandler>

namespace tunnel::test {
namespace {

QStringList& collected() {
    static QStringList texts;
    return texts;
}

QtMessageHandler& previous() {
    static QtMessageHandler handler = nullptr;
    return handler;
}

void collect(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtDebugMsg && type != QtInfoMsg) {
        collected().append(text);
    }
    if (previous() != nullptr) {
        previous()(type, context, text);
    }
}

}  // namespace

QtWarnings::QtWarnings() {
    collected().clear();
    previous() = qInstallMessageHandler(collect);
}

QtWarnings::~QtWarnings() {
    qInstallMessageHandler(previous());
}

const QStringList& QtWarnings::texts() const {
    return collected();
}

}  // namespace tunnel::test
