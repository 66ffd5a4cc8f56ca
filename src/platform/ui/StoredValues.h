#pragma once

#include <QList>
#include <QStringList>

#include <optional>

class QComboBox;
class QSpinBox;

namespace tunnel::ui {

// Other programs write rows with values the windows' boxes and lists do not offer (a device
// numbered 5000, metre 0, an area code -4). A window shows such a value as it is, so that a
// confirm that changes nothing writes back what was stored; what the user enters is still
// checked as the window's own ranges and lists say.

// Items that stand for codes carry their code, so that it is taken from what the item stands
// for and not from its text ("-4-北洞口" has none before its first "-").
void addCodedItems(QComboBox& list, const QStringList& items, const QList<int>& codes);
// Fixed items whose code is their position plus `firstCode`.
void numberItems(QComboBox& list, int firstCode);
// Selects the item that carries `code`; a code no item carries gets an item of its own,
// "code-未定义".
void selectCode(QComboBox& list, int code);
// The code of the chosen item; none without a choice.
std::optional<int> chosenCode(const QComboBox& list);

// Shows a stored value, widening the box's range just enough to hold it.
void holdStoredValue(QSpinBox& box, int stored);
// Whether the value lies within the range the window gave the box, or is the stored value the
// box holds.
bool keepsToRange(const QSpinBox& box);
// The range the window gave the box, as "1 至 999".
QString designedRange(const QSpinBox& box);

}  // namespace tunnel::ui
