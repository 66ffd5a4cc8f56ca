#include "platform/db/SqlTokens.h"

namespace tunnel::db {
namespace {

bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'@' || c == u'#' || c == u'$';
}

class Tokenizer {
public:
    explicit Tokenizer(const QString& sql) : sql_(sql) {}

    std::vector<Token> run() {
        while (pos_ < sql_.size()) {
            tokens_.push_back(next());
        }
        return std::move(tokens_);
    }

private:
    QChar at(qsizetype i) const { return i < sql_.size() ? sql_[i] : QChar(); }

    Token take(TokenKind kind, qsizetype end, bool unterminated = false) {
        Token token{kind, sql_.mid(pos_, end - pos_), unterminated};
        pos_ = end;
        return token;
    }

    // A string or name from `from` (after its opening) to its closing mark, or to the end of
    // the text when it has none; a doubled closing mark stays inside.
    Token quoted(TokenKind kind, qsizetype from, QChar close) {
        qsizetype i = from;
        while (i < sql_.size()) {
            if (sql_[i] == close) {
                if (at(i + 1) == close) {
                    i += 2;
                    continue;
                }
                return take(kind, i + 1);
            }
            ++i;
        }
        return take(kind, sql_.size(), true);
    }

    Token next() {
        const QChar c = sql_[pos_];
        if (c.isSpace()) {
            qsizetype i = pos_;
            while (i < sql_.size() && sql_[i].isSpace())
                ++i;
            return take(TokenKind::Space, i);
        }
        if (c == u'-' && at(pos_ + 1) == u'-') {
            const qsizetype eol = sql_.indexOf(u'\n', pos_);
            return take(TokenKind::Comment, eol < 0 ? sql_.size() : eol);
        }
        if (c == u'/' && at(pos_ + 1) == u'*') {
            const qsizetype close = sql_.indexOf(QStringLiteral("*/"), pos_ + 2);
            return take(TokenKind::Comment, close < 0 ? sql_.size() : close + 2, close < 0);
        }
        if (c == u'\'') {
            return quoted(TokenKind::String, pos_ + 1, u'\'');
        }
        if ((c == u'N' || c == u'n') && at(pos_ + 1) == u'\'') {
            return quoted(TokenKind::String, pos_ + 2, u'\'');
        }
        if (c == u'"') {
            return quoted(TokenKind::QuotedName, pos_ + 1, u'"');
        }
        if (c == u'[') {
            return quoted(TokenKind::BracketName, pos_ + 1, u']');
        }
        if (c.isDigit() || (c == u'.' && at(pos_ + 1).isDigit())) {
            qsizetype i = pos_;
            while (i < sql_.size() && (sql_[i].isDigit() || sql_[i] == u'.'))
                ++i;
            return take(TokenKind::Number, i);
        }
        if (isWordChar(c)) {
            qsizetype i = pos_;
            while (i < sql_.size() && isWordChar(sql_[i]))
                ++i;
            return take(TokenKind::Word, i);
        }
        const QChar n = at(pos_ + 1);
        if ((c == u'<' && (n == u'=' || n == u'>')) || (c == u'>' && n == u'=') ||
            (c == u'!' && n == u'=')) {
            return take(TokenKind::Symbol, pos_ + 2);
        }
        return take(TokenKind::Symbol, pos_ + 1);
    }

    const QString& sql_;
    qsizetype pos_ = 0;
    std::vector<Token> tokens_;
};

}  // namespace

std::vector<Token> tokenize(const QString& sql) {
    return Tokenizer(sql).run();
}

QStringList splitStatements(const QString& script) {
    QStringList statements;
    QString current;
    bool meaningful = false;
    const auto finish = [&] {
        if (meaningful)
            statements.append(current.trimmed());
        current.clear();
        meaningful = false;
    };
    for (const Token& token : tokenize(script)) {
        if (token.isSymbol(u";")) {
            finish();
            continue;
        }
        if (token.kind != TokenKind::Comment) {
            current += token.text;
            meaningful = meaningful || !token.isBlank();
        }
    }
    finish();
    return statements;
}

}  // namespace tunnel::db
