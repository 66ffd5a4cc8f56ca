#include "platform/ui/StoredValues.h"

#include <QComboBox>
#include <QSpinBox>
#include <QVariant>

#include <algorithm>

namespace tunnel::ui {
namespace {

const char* const kDesignedMinimum = "tunnelDesignedMinimum";
const char* const kDesignedMaximum = "tunnelDesignedMaximum";
const char* const kStoredValue = "tunnelStoredValue";

int designedMinimum(const QSpinBox& box) {
    const QVariant value = box.property(kDesignedMinimum);
    return value.isValid() ? value.toInt() : box.minimum();
}

int designedMaximum(const QSpinBox& box) {
    const QVariant value = box.property(kDesignedMaximum);
    return value.isValid() ? value.toInt() : box.maximum();
}

}  // namespace

void addCodedItems(QComboBox& list, const QStringList& items, const QList<int>& codes) {
    for (qsizetype i = 0; i < items.size() && i < codes.size(); ++i) {
        list.addItem(items[i], codes[i]);
    }
}

void numberItems(QComboBox& list, int firstCode) {
    for (int i = 0; i < list.count(); ++i) {
        list.setItemData(i, firstCode + i);
    }
}

void selectCode(QComboBox& list, int code) {
    int index = list.findData(code);
    if (index < 0) {
        list.addItem(QString::number(code) + QStringLiteral("-未定义"), code);
        index = list.count() - 1;
    }
    list.setCurrentIndex(index);
}

std::optional<int> chosenCode(const QComboBox& list) {
    if (list.currentIndex() < 0) {
        return std::nullopt;
    }
    return list.currentData().toInt();
}

void holdStoredValue(QSpinBox& box, int stored) {
    if (!box.property(kDesignedMinimum).isValid()) {
        box.setProperty(kDesignedMinimum, box.minimum());
        box.setProperty(kDesignedMaximum, box.maximum());
    }
    box.setRange(std::min(designedMinimum(box), stored), std::max(designedMaximum(box), stored));
    box.setProperty(kStoredValue, stored);
    box.setValue(stored);
}

bool keepsToRange(const QSpinBox& box) {
    const int value = box.value();
    const QVariant stored = box.property(kStoredValue);
    return (value >= designedMinimum(box) && value <= designedMaximum(box)) ||
           (stored.isValid() && stored.toInt() == value);
}

QString designedRange(const QSpinBox& box) {
    return QStringLiteral("%1 至 %2").arg(designedMinimum(box)).arg(designedMaximum(box));
}

}  // namespace tunnel::ui
