#include "support/TestDatabase.h"

#include <QApplication>
#include <QDialog>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// A window a test opened and never destroyed would stay up in a host for good: every case that
// leaves a top-level window behind fails the run (ctest runs each case on its own, so the case
// that leaked is the one that fails).
class LeftWindows : public ::testing::EmptyTestEventListener {
public:
    bool leaked() const { return leaked_; }

private:
    void OnTestEnd(const ::testing::TestInfo& test) override {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QStringList left;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() || qobject_cast<QDialog*>(widget) != nullptr) {
                left.append(widget->objectName().isEmpty()
                                ? QString::fromLatin1(widget->metaObject()->className())
                                : widget->objectName());
            }
        }
        if (!left.isEmpty()) {
            leaked_ = true;
            std::fprintf(stderr, "FAILED: %s.%s left top-level windows open: %s\n",
                         test.test_suite_name(), test.name(),
                         left.join(QStringLiteral(", ")).toUtf8().constData());
        }
    }

    bool leaked_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("隧道监控"));
    ::testing::InitGoogleTest(&argc, argv);
    auto* windows = new LeftWindows;
    ::testing::UnitTest::GetInstance()->listeners().Append(windows);
    const int result = RUN_ALL_TESTS();
    tunnel::test::TestDatabase::dropServerDatabase();
    return result != 0 || windows->leaked() ? 1 : 0;
}
