#include "platform/db/Dialect.h"

#include "platform/db/DbError.h"
#include "platform/db/SqlTokens.h"

#include <QRegularExpression>
#include <QSet>

#include <utility>

namespace tunnel::db {
namespace {

// The output as pieces that remember whether they are blank (spaces or comments), so that
// text can be added after the last meaningful piece of a level rather than inside a trailing
// comment. One buffer for every level: nested parentheses cost no copying.
class Pieces {
public:
    size_t size() const { return pieces_.size(); }
    void add(QString text, bool blank) { pieces_.emplace_back(std::move(text), blank); }

    // Inserts `text` after the last piece from `start` on that is not blank.
    void insertBeforeTail(size_t start, const QString& text) {
        size_t at = pieces_.size();
        while (at > start && pieces_[at - 1].second) {
            --at;
        }
        pieces_.insert(pieces_.begin() + static_cast<std::ptrdiff_t>(at), {text, false});
    }

    QString joined() const {
        QString out;
        for (const auto& piece : pieces_)
            out += piece.first;
        return out;
    }

private:
    std::vector<std::pair<QString, bool>> pieces_;
};

bool isPlainIdentifier(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    static const QSet<QString> reserved = {
        QStringLiteral("all"),     QStringLiteral("and"),        QStringLiteral("as"),
        QStringLiteral("asc"),     QStringLiteral("by"),         QStringLiteral("case"),
        QStringLiteral("check"),   QStringLiteral("column"),     QStringLiteral("default"),
        QStringLiteral("desc"),    QStringLiteral("distinct"),   QStringLiteral("else"),
        QStringLiteral("end"),     QStringLiteral("from"),       QStringLiteral("group"),
        QStringLiteral("in"),      QStringLiteral("index"),      QStringLiteral("is"),
        QStringLiteral("join"),    QStringLiteral("key"),        QStringLiteral("limit"),
        QStringLiteral("not"),     QStringLiteral("null"),       QStringLiteral("offset"),
        QStringLiteral("on"),      QStringLiteral("or"),         QStringLiteral("order"),
        QStringLiteral("primary"), QStringLiteral("references"), QStringLiteral("select"),
        QStringLiteral("table"),   QStringLiteral("then"),       QStringLiteral("union"),
        QStringLiteral("user"),    QStringLiteral("when"),       QStringLiteral("where"),
    };
    return pattern.match(name).hasMatch() && !reserved.contains(name.toLower());
}

bool isName(const Token& token) {
    return token.kind == TokenKind::Word || token.kind == TokenKind::BracketName ||
           token.kind == TokenKind::QuotedName;
}

bool endsSelectList(const Token& token) {
    static const QStringList words = {
        QStringLiteral("from"),  QStringLiteral("into"),   QStringLiteral("where"),
        QStringLiteral("group"), QStringLiteral("order"),  QStringLiteral("having"),
        QStringLiteral("union"), QStringLiteral("except"), QStringLiteral("intersect"),
        QStringLiteral("limit"),
    };
    if (token.isSymbol(u",") || token.isSymbol(u")") || token.isSymbol(u";")) {
        return true;
    }
    for (const QString& word : words) {
        if (token.isWord(word))
            return true;
    }
    return false;
}

class Translator {
public:
    Translator(std::vector<Token> tokens, Engine engine) : t_(std::move(tokens)), engine_(engine) {}

    QString run() {
        sequence();
        while (more()) {  // a stray ")" at the top level: keep it and go on
            out_.add(t_[i_++].text, false);
            sequence();
        }
        return out_.joined();
    }

private:
    bool more() const { return i_ < t_.size(); }
    const Token& current() const { return t_[i_]; }

    // Tokens up to the ")" that closes the current level (left for the caller) or the end. A
    // TOP becomes a LIMIT at the end of its own statement (";" ends one).
    void sequence() {
        size_t start = out_.size();
        QString limit;
        bool setOperation = false;
        const auto endStatement = [&] {
            if (!limit.isEmpty()) {
                out_.insertBeforeTail(start, QStringLiteral(" limit ") + limit);
            }
            limit.clear();
            setOperation = false;
        };
        while (more() && !current().isSymbol(u")")) {
            if (current().isSymbol(u";")) {
                endStatement();
                term();
                start = out_.size();
            } else if (current().isWord(u"select")) {
                selectClause(limit);
                refuseTopInSetOperation(limit, setOperation);
            } else {
                setOperation = setOperation || isSetOperator(current());
                refuseTopInSetOperation(limit, setOperation);
                term();
            }
        }
        endStatement();
    }

    static bool isSetOperator(const Token& token) {
        return token.isWord(u"union") || token.isWord(u"except") || token.isWord(u"intersect");
    }

    // A LIMIT would apply to the whole compound, where TOP limits its own branch: a branch with
    // TOP must be a parenthesised subquery of its own.
    static void refuseTopInSetOperation(const QString& limit, bool setOperation) {
        if (!limit.isEmpty() && setOperation) {
            throw DbError(
                QStringLiteral("语句无法转换：UNION、EXCEPT 或 INTERSECT 的分支中使用了 "
                               "TOP，请把该分支写成带括号的子查询。"));
        }
    }

    // One token, or a whole parenthesised group translated as its own level.
    void term() {
        const Token& token = current();
        ++i_;
        if (token.isSymbol(u"(")) {
            out_.add(QStringLiteral("("), false);
            sequence();
            if (more()) {
                out_.add(QStringLiteral(")"), false);
                ++i_;
            }
            return;
        }
        out_.add(isComparedDate(i_ - 1) ? fullDateTime(token.text) : rendered(token),
                 token.isBlank());
    }

    // On SQLite a date-time is text yyyy-mm-dd hh:mm:ss.zzz, so a literal compared with one
    // must be written out in full to order as the moment it names: '2004-05-31 23:59:59' would
    // otherwise sort before a stored '2004-05-31 23:59:59.000'. A comparison on either side of
    // the literal, or a BETWEEN, makes it a compared date.
    bool isComparedDate(size_t index) const {
        static const QRegularExpression pattern(
            QStringLiteral("^'\\d{4}-\\d{2}-\\d{2}( \\d{2}:\\d{2}(:\\d{2}(\\.\\d{1,3})?)?)?'$"));
        if (engine_ != Engine::SQLite || t_[index].kind != TokenKind::String ||
            !pattern.match(t_[index].text).hasMatch()) {
            return false;
        }
        const Token* before = previousSignificant(index);
        const size_t next = nextSignificant(index + 1);
        const Token* after = next < t_.size() ? &t_[next] : nullptr;
        if ((before != nullptr && isComparison(*before)) ||
            (after != nullptr && isComparison(*after))) {
            return true;
        }
        if (before != nullptr && before->isWord(u"between")) {
            return true;
        }
        // The upper bound of a BETWEEN: `between <literal> and` stands before it.
        if (before == nullptr || !before->isWord(u"and")) {
            return false;
        }
        const size_t andAt = static_cast<size_t>(before - t_.data());
        const Token* lower = previousSignificant(andAt);
        if (lower == nullptr || lower->kind != TokenKind::String) {
            return false;
        }
        const Token* between = previousSignificant(static_cast<size_t>(lower - t_.data()));
        return between != nullptr && between->isWord(u"between");
    }

    // Ordering comparisons only: "=" also assigns (SET R='...'), where the text is stored as
    // written.
    static bool isComparison(const Token& token) {
        return token.isSymbol(u"<") || token.isSymbol(u"<=") || token.isSymbol(u">") ||
               token.isSymbol(u">=");
    }

    const Token* previousSignificant(size_t index) const {
        while (index > 0) {
            --index;
            if (!t_[index].isBlank())
                return &t_[index];
        }
        return nullptr;
    }

    static QString fullDateTime(const QString& literal) {
        const QString value = literal.mid(1, literal.size() - 2);
        const QString full = QStringLiteral("0000-00-00 00:00:00.000");
        QString padded = value;
        if (const qsizetype dot = value.indexOf(u'.'); dot >= 0) {
            padded = value + QString(3 - (value.size() - dot - 1), u'0');
        } else {
            padded = value + full.mid(value.size());
        }
        return u'\'' + padded + u'\'';
    }

    void blanks() {
        while (more() && current().isBlank()) {
            out_.add(current().text, true);
            ++i_;
        }
    }

    size_t nextSignificant(size_t from) const {
        while (from < t_.size() && t_[from].isBlank())
            ++from;
        return from;
    }

    // `select [distinct|all] [top n]` and its list; the limit is handed to the enclosing level.
    void selectClause(QString& limit) {
        out_.add(current().text, false);
        ++i_;
        blanks();
        if (more() && (current().isWord(u"distinct") || current().isWord(u"all"))) {
            out_.add(current().text, false);
            ++i_;
            blanks();
        }
        if (more() && current().isWord(u"top")) {
            takeTop(limit);
        }
        for (;;) {
            selectItem();
            if (more() && current().isSymbol(u",")) {
                out_.add(QStringLiteral(","), false);
                ++i_;
                continue;
            }
            return;
        }
    }

    // `top n` or `top (n)`: dropped, with the blanks after it, and n becomes the limit.
    void takeTop(QString& limit) {
        size_t j = nextSignificant(i_ + 1);
        bool parenthesised = false;
        if (j < t_.size() && t_[j].isSymbol(u"(")) {
            parenthesised = true;
            j = nextSignificant(j + 1);
        }
        if (j >= t_.size() || t_[j].kind != TokenKind::Number) {
            return;
        }
        const QString count = t_[j].text;
        if (parenthesised) {
            j = nextSignificant(j + 1);
            if (j >= t_.size() || !t_[j].isSymbol(u")")) {
                return;
            }
        }
        limit = count;
        i_ = nextSignificant(j + 1);
    }

    void selectItem() {
        blanks();
        QString alias;
        if (more() && isName(current())) {
            const size_t equals = nextSignificant(i_ + 1);
            if (equals < t_.size() && t_[equals].isSymbol(u"=")) {
                alias = rendered(current());
                i_ = nextSignificant(equals + 1);
            }
        }
        const size_t expression = out_.size();
        while (more() && !endsSelectList(current())) {
            term();
        }
        if (!alias.isEmpty()) {
            out_.insertBeforeTail(expression, QStringLiteral(" AS ") + alias);
        }
    }

    QString rendered(const Token& token) const {
        if (token.kind == TokenKind::BracketName && engine_ == Engine::PostgreSQL) {
            QString name = token.text.mid(1, token.text.size() - 2);
            name.replace(QStringLiteral("]]"), QStringLiteral("]"));
            if (isPlainIdentifier(name)) {
                return name;
            }
            // Names are created unquoted, which PostgreSQL folds to lower case.
            return u'"' + name.toLower().replace(u'"', QStringLiteral("\"\"")) + u'"';
        }
        if (token.kind == TokenKind::String && engine_ == Engine::SQLite &&
            (token.text.startsWith(u'N') || token.text.startsWith(u'n'))) {
            return token.text.mid(1);
        }
        return token.text;
    }

    std::vector<Token> t_;
    size_t i_ = 0;
    Pieces out_;
    Engine engine_;
};

}  // namespace

QString translateSql(const QString& sql, Engine engine) {
    if (engine == Engine::SqlServer) {
        return sql;
    }
    std::vector<Token> tokens = tokenize(sql);
    for (const Token& token : tokens) {
        if (token.unterminated) {
            throw DbError(QStringLiteral("语句无法转换：“%1”没有结束。").arg(token.text.left(20)),
                          {}, false, sql);
        }
    }
    return Translator(std::move(tokens), engine).run();
}

}  // namespace tunnel::db
