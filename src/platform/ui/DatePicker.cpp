#include "platform/ui/DatePicker.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include <QRegularExpression>

#include <optional>

namespace tunnel::ui {
namespace {

// A date typed whole, with "-", "/", "." or 年月日 between its parts, or as eight digits.
std::optional<QDate> typedDate(const QString& text) {
    static const QRegularExpression parted(QStringLiteral(
        "^\\s*(\\d{4})\\s*[-/.年]\\s*(\\d{1,2})\\s*[-/.月]\\s*(\\d{1,2})\\s*日?\\s*$"));
    static const QRegularExpression compact(QStringLiteral("^\\s*(\\d{4})(\\d{2})(\\d{2})\\s*$"));
    QRegularExpressionMatch match = parted.match(text);
    if (!match.hasMatch()) {
        match = compact.match(text);
    }
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(),
                     match.captured(3).toInt());
    return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
}

// What an operator has typed so far of such a date.
bool beginsATypedDate(const QString& text) {
    static const QRegularExpression begun(QStringLiteral(
        "^\\s*\\d{0,8}(\\s*[-/.年]\\s*\\d{0,2}(\\s*[-/.月]\\s*\\d{0,2}\\s*日?)?)?\\s*$"));
    return begun.match(text).hasMatch();
}

}  // namespace

DatePicker::DatePicker(QWidget* parent) : QDateEdit(QDate::currentDate(), parent) {
    setCalendarPopup(true);
}

QValidator::State DatePicker::validate(QString& input, int& pos) const {
    // Qt's own reading first: a section edited in place stays its.
    const QValidator::State own = QDateEdit::validate(input, pos);
    if (own != QValidator::Invalid) {
        return own;
    }
    if (const std::optional<QDate> date = typedDate(input);
        date && *date >= minimumDate() && *date <= maximumDate()) {
        return QValidator::Acceptable;
    }
    return beginsATypedDate(input) ? QValidator::Intermediate : own;
}

QDateTime DatePicker::dateTimeFromText(const QString& text) const {
    if (const std::optional<QDate> date = typedDate(text)) {
        return QDateTime(*date, time());
    }
    return QDateEdit::dateTimeFromText(text);
}

bool DatePicker::focusNextPrevChild(bool next) {
    return QWidget::focusNextPrevChild(next);
}

void DatePicker::keyPressEvent(QKeyEvent* event) {
    const bool altDown =
        event->key() == Qt::Key_Down && (event->modifiers() & Qt::AltModifier) != 0;
    if (altDown || (event->key() == Qt::Key_F4 && event->modifiers() == Qt::NoModifier)) {
        openCalendar();
        event->accept();
        return;
    }
    QDateEdit::keyPressEvent(event);
}

// Qt opens the calendar only from a press on the field's arrow, which stands at its far end.
void DatePicker::openCalendar() {
    const QPointF arrow(layoutDirection() == Qt::RightToLeft ? 4 : width() - 4, height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, arrow, mapToGlobal(arrow), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(this, &press);
}

}  // namespace tunnel::ui
