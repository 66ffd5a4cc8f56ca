#include "platform/ui/Translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace tunnel::ui {
namespace {

QTranslator*& installed() {
    static QTranslator* translator = nullptr;
    return translator;
}

// Qt translates this text of its own in every language it ships; an untranslated text means
// no translation of Qt is installed yet.
bool applicationHasQtTranslation() {
    return QCoreApplication::translate("QPlatformTheme", "Cancel") != QLatin1String("Cancel");
}

}  // namespace

bool useQtChineseTexts() {
    if (installed() != nullptr || applicationHasQtTranslation()) {
        return applicationHasQtTranslation();
    }
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                          QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        return false;
    }
    QCoreApplication::installTranslator(translator.get());
    installed() = translator.release();
    return true;
}

void dropQtChineseTexts() {
    if (installed() == nullptr) {
        return;
    }
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::removeTranslator(installed());
    }
    delete installed();
    installed() = nullptr;
}

}  // namespace tunnel::ui
