#include "platform/text/Gbk.h"

#include <QStringDecoder>

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace tunnel::text {
namespace {

constexpr const char* kGbk = "GBK";
constexpr const char* kUtf8 = "UTF-8";

class Converter {
public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Converter() {
        if (valid()) {
            iconv_close(handle_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as possible; returns false and leaves `in` at the offending byte on a
    // sequence that cannot be converted (EILSEQ) or that is cut off at the end (EINVAL).
    bool convert(const char*& in, size_t& inLeft, QByteArray& out) {
        char buffer[1024];
        while (inLeft > 0) {
            char* outPtr = buffer;
            size_t outLeft = sizeof buffer;
            auto* inPtr = const_cast<char*>(in);
            const size_t rc = iconv(handle_, &inPtr, &inLeft, &outPtr, &outLeft);
            const int error = errno;
            in = inPtr;
            out.append(buffer, static_cast<qsizetype>(sizeof buffer - outLeft));
            if (rc == static_cast<size_t>(-1) && error != E2BIG) {
                return false;
            }
        }
        return true;
    }

private:
    iconv_t handle_;
};

// Length of the UTF-8 sequence that starts with `lead` (1 for a stray continuation byte).
size_t utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

// The CJK unified ideographs of GB 13000, every one of them in GBK in two bytes.
bool isGbkIdeograph(QChar c) {
    return c.unicode() >= 0x4E00 && c.unicode() <= 0x9FA5;
}

}  // namespace

QByteArray toGbk(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size());
    Converter converter(kGbk, kUtf8);
    if (!converter.valid()) {
        return out;
    }
    const char* in = utf8.constData();
    size_t inLeft = static_cast<size_t>(utf8.size());
    while (!converter.convert(in, inLeft, out)) {
        const size_t skip = std::min(inLeft, utf8SequenceLength(static_cast<unsigned char>(*in)));
        in += skip;
        inLeft -= skip;
        out.append('?');
    }
    return out;
}

QString fromGbk(const QByteArray& bytes) {
    QByteArray utf8;
    utf8.reserve(bytes.size() * 3 / 2);
    Converter converter(kUtf8, kGbk);
    if (!converter.valid()) {
        return {};
    }
    const char* in = bytes.constData();
    size_t inLeft = static_cast<size_t>(bytes.size());
    while (!converter.convert(in, inLeft, utf8)) {
        ++in;
        --inLeft;
        utf8.append("\xEF\xBF\xBD");
    }
    return QString::fromUtf8(utf8);
}

QString fromGbk(const char* zeroTerminated) {
    if (zeroTerminated == nullptr) {
        return {};
    }
    return fromGbk(QByteArray(zeroTerminated, static_cast<qsizetype>(std::strlen(zeroTerminated))));
}

// A stored text is no file: a leading U+FEFF is one of its characters, not a byte-order mark.
QString fromStoredText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless |
                                                  QStringConverter::Flag::ConvertInitialBom);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError()) {
        return text;
    }
    const QString gbk = fromGbk(bytes);
    return gbk.contains(QChar::ReplacementCharacter) ? text : gbk;
}

qsizetype gbkByteLength(QStringView text) {
    // ASCII is one byte each and a common ideograph two: most texts of a register, Chinese ones
    // included, need no conversion to be measured.
    qsizetype bytes = 0;
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            ++bytes;
        } else if (isGbkIdeograph(c)) {
            bytes += 2;
        } else {
            return toGbk(text.toString()).size();
        }
    }
    return bytes;
}

QString charactersWithoutGbk(const QString& text) {
    QString missing;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString character = text.mid(i, length);
        if (fromGbk(toGbk(character)) != character && !missing.contains(character)) {
            missing += character;
        }
        i += length;
    }
    return missing;
}

}  // namespace tunnel::text
