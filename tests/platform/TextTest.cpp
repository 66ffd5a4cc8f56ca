#include "platform/text/Csv.h"
#include "platform/text/Gbk.h"
#include "platform/text/Json.h"
#include "platform/text/TextRules.h"
#include "support/Printers.h"

#include <gtest/gtest.h>

#include <limits>

using namespace tunnel::text;

TEST(Gbk, ChineseTakesTwoBytesAndRoundTrips) {
    const QString text = QStringLiteral("隧道K12+345情报板");
    const QByteArray bytes = toGbk(text);
    EXPECT_EQ(bytes.size(), 5 * 2 + 7);
    EXPECT_EQ(fromGbk(bytes), text);
    EXPECT_EQ(bytes.left(2), QByteArray("\xCB\xED"));  // 隧 in GBK
    EXPECT_EQ(gbkByteLength(QStringLiteral("十个中文字符正好二十")), 20);
    EXPECT_EQ(gbkByteLength(QStringLiteral("十个中文字符正好二十一")), 22);
    EXPECT_EQ(gbkByteLength(QString()), 0);
    EXPECT_EQ(gbkByteLength(QStringLiteral("北口（K1）")), 10) << "full-width brackets";
}

TEST(Gbk, CharactersGbkCannotHoldBecomeOneQuestionMarkEach) {
    // An emoji (a surrogate pair) and a Hangul syllable have no GBK form.
    const QString text = QStringLiteral("a") + QString::fromUtf8("\xF0\x9F\x98\x80") +
                         QStringLiteral("b") + QString::fromUtf8("\xED\x95\x9C") + u'c';
    EXPECT_EQ(toGbk(text), QByteArray("a?b?c"));
    EXPECT_EQ(gbkByteLength(text), 5);
}

// The quick count of ideographs as two bytes holds exactly over GBK's unified range: one past
// either end is measured as the conversion measures it.
TEST(Gbk, LengthIsTheConvertedLengthAtTheIdeographRangesEnds) {
    for (const char16_t c : {u'\u4DFF', u'\u4E00', u'\u9FA5', u'\u9FA6', u'\uE000'}) {
        const QString text = QString(10, QChar(c));
        EXPECT_EQ(gbkByteLength(text), toGbk(text).size()) << std::hex << int(c);
    }
    EXPECT_EQ(gbkByteLength(QString(10, QChar(u'\u9FA5'))), 20);
}

TEST(Gbk, InvalidBytesDecodeToReplacementCharactersWithoutLosingTheRest) {
    EXPECT_EQ(fromGbk(QByteArray("ab\xFF"
                                 "cd")),
              QStringLiteral("ab\uFFFDcd"));
    // A lead byte cut off at the end of the text.
    EXPECT_EQ(fromGbk(QByteArray("x\xCB")), QStringLiteral("x\uFFFD"));
    EXPECT_EQ(fromGbk(QByteArray("\xCB\xED\xFF")), QStringLiteral("隧\uFFFD"));
    EXPECT_EQ(fromGbk(static_cast<const char*>(nullptr)), QString());
    EXPECT_EQ(fromGbk("Provider=SQLite"), QStringLiteral("Provider=SQLite"));
}

TEST(Gbk, LongTextsConvertWhole) {
    const QString text = QStringLiteral("隧道").repeated(5000);
    EXPECT_EQ(fromGbk(toGbk(text)), text);
}

TEST(TextRules, TrimRemovesOnlyCodesUpTo32) {
    EXPECT_EQ(trimmed(QStringLiteral(" \t\r\n A01 \x01")), QStringLiteral("A01"));
    EXPECT_EQ(trimmed(QStringLiteral("\u3000全角\u3000")), QStringLiteral("\u3000全角\u3000"));
    EXPECT_EQ(trimmed(QStringLiteral("   ")), QString());
    EXPECT_EQ(trimmed(QStringLiteral("a b")), QStringLiteral("a b"));
}

// Whole numbers of 64 bits with an optional sign; anything else, or beyond 64 bits, is none.
TEST(TextRules, IntegersAreWholeSignedNumbersOf64Bits) {
    const struct {
        const char16_t* text;
        std::optional<qint64> value;
    } cases[] = {
        {u"0", 0},
        {u"+17", 17},
        {u"-2147483648", -2147483648LL},
        {u"9223372036854775807", std::numeric_limits<qint64>::max()},
        {u"-9223372036854775808", std::numeric_limits<qint64>::min()},
        {u"9223372036854775808", std::nullopt},
        {u"-9223372036854775809", std::nullopt},
        {u"", std::nullopt},
        {u"-", std::nullopt},
        {u"1 2", std::nullopt},
        {u"1.0", std::nullopt},
        {u"\uFF11", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(integerOf(QStringView(c.text)), c.value)
            << QString::fromUtf16(c.text).toStdString();
    }
}

// A flat object's values as they are written (a string's escapes kept, a string holding the
// object's punctuation whole); anything that is not such an object, whole or in part, is none.
TEST(Json, AFlatObjectsValuesAreReadAsWritten) {
    const struct {
        const char* text;
        std::optional<QStringList> values;
    } cases[] = {
        {R"({"A":1,"B":"x, \"y\": {z}","C":null})", QStringList{"1", R"(x, \"y\": {z})", "null"}},
        {R"( { "A" : -1.5 , "B":"" } )", QStringList{"-1.5", ""}},
        {"{}", QStringList{}},
        {"A=1; B=2", std::nullopt},
        {R"({"A":{"B":1}})", std::nullopt},
        {R"({"A":[1]})", std::nullopt},
        {R"({"A":"open)", std::nullopt},
        {R"({"A":1,})", std::nullopt},
        {R"({"A":1} tail)", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(jsonObjectValues(QString::fromUtf8(c.text)), c.values) << c.text;
    }
}

TEST(TextRules, CodeIsTheTextBeforeTheFirstDash) {
    EXPECT_EQ(codeBeforeDash(QStringLiteral("12-可变情报板")), QStringLiteral("12"));
    EXPECT_EQ(codeBeforeDash(QStringLiteral("3-CO-VI")), QStringLiteral("3"));
    EXPECT_EQ(codeBeforeDash(QStringLiteral("-5-x")), QString());
    EXPECT_EQ(codeBeforeDash(QStringLiteral("无横线")), QString());
}

TEST(TextRules, SplitFirstTakesSerialSettingsApart) {
    QString rest = QStringLiteral(" 1 ; 9600, 8,N ,1  ");
    EXPECT_EQ(splitFirst(rest, u';'), QStringLiteral("1"));
    EXPECT_EQ(splitFirst(rest, u','), QStringLiteral("9600"));
    EXPECT_EQ(splitFirst(rest, u','), QStringLiteral("8"));
    EXPECT_EQ(splitFirst(rest, u','), QStringLiteral("N"));
    EXPECT_EQ(splitFirst(rest, u','), QStringLiteral("1"));
    EXPECT_EQ(rest, QString());
    EXPECT_EQ(splitFirst(rest, u','), QString());

    QString emptyPort = QStringLiteral(";9600,8,N,1");
    EXPECT_EQ(splitFirst(emptyPort, u';'), QString());
    EXPECT_EQ(emptyPort, QStringLiteral("9600,8,N,1"));
}

TEST(TextRules, ListEntriesAreSeparatedByCommasAndBlanks) {
    EXPECT_EQ(splitEntries(QStringLiteral("1,3,8")), (QStringList{"1", "3", "8"}));
    EXPECT_EQ(splitEntries(QStringLiteral(" 16, 32 ,,48 ")), (QStringList{"16", "32", "48"}));
    EXPECT_TRUE(splitEntries(QString()).isEmpty());
}

// What a spreadsheet would run gets a guard, what it shows as a number or plain text does not,
// and a guarded cell reads back as the text it was.
TEST(Csv, FormulaLeadsAreGuardedAndReadBackExactly) {
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("=SUM(A1)"), QStringLiteral("'=SUM(A1)")},
        {QStringLiteral("+86 10"), QStringLiteral("'+86 10")},
        {QStringLiteral("-x"), QStringLiteral("'-x")},
        {QStringLiteral("@cmd"), QStringLiteral("'@cmd")},
        {QStringLiteral("\tx"), QStringLiteral("'\tx")},
        {QStringLiteral("\rx"), QStringLiteral("'\rx")},
        {QStringLiteral("'=x"), QStringLiteral("''=x")},
        {QStringLiteral("-5"), QStringLiteral("-5")},
        {QStringLiteral("-5.25e3"), QStringLiteral("-5.25e3")},
        {QStringLiteral("+7"), QStringLiteral("+7")},
        {QStringLiteral("'abc"), QStringLiteral("'abc")},
        {QStringLiteral("K10+470"), QStringLiteral("K10+470")},
        {QString(), QString()},
    };
    for (const auto& [stored, written] : cases) {
        EXPECT_EQ(spreadsheetSafe(stored), written) << stored.toStdString();
        EXPECT_EQ(spreadsheetUnguarded(written), stored) << stored.toStdString();
    }
    EXPECT_EQ(csvLine({QStringLiteral("a,b"), QStringLiteral("=\"q\""), QStringLiteral("1")}),
              QByteArray("\"a,b\",\"'=\"\"q\"\"\",1\r\n"));
    EXPECT_EQ(withCsvSuffix(QStringLiteral("/tmp/报警")), QStringLiteral("/tmp/报警.csv"));
    EXPECT_EQ(withCsvSuffix(QStringLiteral("/tmp/a.txt")), QStringLiteral("/tmp/a.txt"));
}

// What other programs stored: UTF-8 as it is (a leading U+FEFF one of its characters), GBK as
// GBK, anything else with U+FFFD.
TEST(Gbk, StoredTextIsReadAsItsWriterMeantIt) {
    const QString chinese = QStringLiteral("北洞口情报板");
    EXPECT_EQ(fromStoredText(chinese.toUtf8()), chinese);
    EXPECT_EQ(fromStoredText(QByteArray("\xEF\xBB\xBF"
                                        "B")),
              QStringLiteral("\uFEFFB"));
    EXPECT_EQ(fromStoredText(toGbk(chinese)), chinese);
    EXPECT_EQ(fromStoredText(QByteArray("K10+470")), QStringLiteral("K10+470"));
    EXPECT_EQ(fromStoredText(QByteArray("\xFF\xFF"
                                        "a")),
              QStringLiteral("\uFFFD\uFFFDa"));
    EXPECT_EQ(fromStoredText(QByteArray()), QString());
}

// Records as RFC 4180 reads them, each with the line it starts on; blank lines between records
// are skipped, and a quote that never closes is named by its line.
TEST(Csv, RecordsAreReadAsWrittenWithTheirLines) {
    const CsvTable records =
        parseCsv(QStringLiteral("a,\"b,\"\"c\"\"\",\r\n\r\n\"x\r\ny\",z\nlast"));
    ASSERT_EQ(records.records(), 3);
    EXPECT_EQ(records.cellList(0), (QStringList{"a", "b,\"c\"", ""}));
    EXPECT_EQ(records.line(0), 1);
    EXPECT_EQ(records.cellList(1), (QStringList{"x\r\ny", "z"}));
    EXPECT_EQ(records.line(1), 3);
    EXPECT_EQ(records.cellList(2), QStringList{"last"});
    EXPECT_EQ(records.line(2), 5);
    EXPECT_THROW(parseCsv(QStringLiteral("a\n\"open,b\n")), std::invalid_argument);
}
