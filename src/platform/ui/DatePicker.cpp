#include "platform/ui/DatePicker.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

namespace tunnel::ui {

DatePicker::DatePicker(QWidget* parent) : QDateEdit(QDate::currentDate(), parent) {
    setCalendarPopup(true);
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
