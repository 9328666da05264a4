#include "system/PathCodec.h"

#include <QStringList>

#include <iconv.h>

#include <cstring>

#include <optional>

namespace sys {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// Length of the valid UTF-8 sequence starting at i, or 0 when the byte there starts none.
int validSequence(const uchar *s, qsizetype i, qsizetype n)
{
    const uchar b = s[i];
    if (b < 0x80)
        return 1;
    int length = 0;
    char32_t min = 0, cp = 0;
    if ((b & 0xE0) == 0xC0) {
        length = 2, min = 0x80, cp = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3, min = 0x800, cp = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        length = 4, min = 0x10000, cp = b & 0x07;
    } else {
        return 0;
    }
    if (i + length > n)
        return 0;
    for (int k = 1; k < length; ++k) {
        if ((s[i + k] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    // Over-long forms, surrogates and values past Unicode are no valid UTF-8.
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return length;
}

// The toolkit drops a byte-order mark at the start of UTF-8 text; in a name it is part of it.
QString fromUtf8(const char *s, qsizetype n)
{
    static constexpr char kBom[] = "\xEF\xBB\xBF";
    QString out;
    for (; n >= 3 && std::memcmp(s, kBom, 3) == 0; s += 3, n -= 3)
        out += QChar(0xFEFF);
    return out + QString::fromUtf8(s, n);
}

} // namespace

QString decodePath(const QByteArray &bytes)
{
    const auto *s = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype n = bytes.size();
    QString out;
    out.reserve(n);
    qsizetype run = 0; // start of the current run of valid UTF-8
    qsizetype i = 0;
    while (i < n) {
        const int length = validSequence(s, i, n);
        if (length > 0) {
            i += length;
            continue;
        }
        out += fromUtf8(bytes.constData() + run, i - run);
        out += QChar(char16_t(kEscapeBase + s[i]));
        run = ++i;
    }
    out += fromUtf8(bytes.constData() + run, n - run);
    return out;
}

QByteArray encodePath(const QString &path)
{
    QByteArray out;
    out.reserve(path.size());
    qsizetype run = 0;
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = path.at(i).unicode();
        const bool lowSurrogate = c >= 0xDC00 && c <= 0xDFFF;
        const bool paired =
            lowSurrogate && i > 0 && QChar::isHighSurrogate(path.at(i - 1).unicode());
        if (lowSurrogate && !paired && c >= 0xDC80 && c <= 0xDCFF) {
            out += QStringView(path).mid(run, i - run).toUtf8();
            out += char(c - kEscapeBase);
            run = i + 1;
        }
    }
    out += QStringView(path).mid(run).toUtf8();
    return out;
}

namespace {

bool isUtf8(const QByteArray &bytes)
{
    const auto *s = reinterpret_cast<const uchar *>(bytes.constData());
    for (qsizetype i = 0; i < bytes.size();) {
        const int length = validSequence(s, i, bytes.size());
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

// A name from before UTF-8, in the Japanese code page that Japanese systems wrote names in; no
// value when it is not valid text there either.
std::optional<QString> fromJapaneseCodePage(const QByteArray &bytes)
{
    const iconv_t cd = ::iconv_open("UTF-8", "CP932");
    if (cd == iconv_t(-1))
        return std::nullopt;
    QByteArray in = bytes;
    QByteArray out(bytes.size() * 3, Qt::Uninitialized);
    char *inAt = in.data(), *outAt = out.data();
    size_t inLeft = size_t(in.size()), outLeft = size_t(out.size());
    const bool whole = ::iconv(cd, &inAt, &inLeft, &outAt, &outLeft) != size_t(-1) && inLeft == 0;
    ::iconv_close(cd);
    if (!whole)
        return std::nullopt;
    return QString::fromUtf8(out.constData(), out.size() - qsizetype(outLeft));
}

} // namespace

QString displayText(const QString &path)
{
    // Each name of the path on its own: a folder copied from an old archive may hold names of
    // its time under a parent named in UTF-8.
    QStringList names;
    for (const QByteArray &name : encodePath(path).split('/')) {
        if (isUtf8(name))
            names << fromUtf8(name.constData(), name.size());
        else
            names << fromJapaneseCodePage(name).value_or(QString::fromUtf8(name));
    }
    return names.join(QLatin1Char('/'));
}

} // namespace sys
