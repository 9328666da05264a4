#include "system/PathCodec.h"

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
        out += QString::fromUtf8(bytes.constData() + run, i - run);
        out += QChar(char16_t(kEscapeBase + s[i]));
        run = ++i;
    }
    out += QString::fromUtf8(bytes.constData() + run, n - run);
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

QString displayText(const QString &path)
{
    return QString::fromUtf8(encodePath(path));
}

} // namespace sys
