#include "data/IndexedGrams.h"

#include "platform/db/SqlLiteral.h"
#include "platform/text/TextRules.h"

#include <QStringList>

#include <string>

namespace tunnel::data {
namespace {

// The index holds pieces of this many characters at most.
constexpr std::size_t kLongestGram = 3;

// Counted in characters, as the server's substr() counts them (a character beyond the
// Basic Multilingual Plane is one).
QStringList gramsOf(const QString& text) {
    const std::u32string characters = text.toUpper().toStdU32String();
    if (characters.size() <= kLongestGram) {
        return {text.toUpper()};
    }
    QStringList grams;
    for (std::size_t at = 0; at + kLongestGram <= characters.size(); ++at) {
        const QString gram = QString::fromStdU32String(characters.substr(at, kLongestGram));
        if (!grams.contains(gram)) {
            grams.append(gram);
        }
    }
    return grams;
}

}  // namespace

const QString kIndexedGrams = QStringLiteral("DEVICE_SEARCH_GRAMS(DEVICECODE, PHYSICS, COMMDATA)");

std::optional<GramsHolding> gramsHolding(const QString& text) {
    if (text.isEmpty() || text::hasControlCharacter(text) || !text::casedOnlyInAscii(text)) {
        return std::nullopt;
    }
    const QStringList grams = gramsOf(text);
    QStringList elements;
    for (QString gram : grams) {
        gram.replace(u'\\', QStringLiteral("\\\\"));
        gram.replace(u'"', QStringLiteral("\\\""));
        elements.append(u'"' + gram + u'"');
    }
    // An array's literal: the statements' brackets are names to the dialect's translation.
    return GramsHolding{QStringLiteral("%1 @> CAST(%2 AS TEXT ARRAY)")
                            .arg(kIndexedGrams, db::sqlQuote(u'{' + elements.join(u',') + u'}')),
                        grams.size() == 1 && grams.front() == text.toUpper()};
}

}  // namespace tunnel::data
