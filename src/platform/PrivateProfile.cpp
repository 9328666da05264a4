#include "PrivateProfile.h"

#include "AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <vector>

namespace platform::profile {

namespace {

const QByteArray kBom("\xEF\xBB\xBF");

// One line of the file: its bytes as they stand (without the line end) and what they mean.
struct Line {
    enum Kind { Other, Section, Entry };
    QByteArray raw;
    Kind kind = Other;
    QString name; // section or key name, blanks dropped
    QString value;
};

struct Document {
    bool exists = false;
    bool bom = false;
    QByteArray eol = "\n";
    bool endsWithEol = true;
    std::vector<Line> lines;
};

QString decode(const QByteArray &bytes)
{
    // A NUL ends the text, as it would in a C string.
    const qsizetype nul = bytes.indexOf('\0');
    return QString::fromLocal8Bit(nul < 0 ? bytes : bytes.left(nul)).trimmed();
}

Line parseLine(const QByteArray &raw)
{
    Line line;
    line.raw = raw;
    const QByteArray text = raw.trimmed();
    if (text.startsWith('[')) {
        const qsizetype close = text.indexOf(']');
        line.kind = Line::Section;
        line.name = decode(text.mid(1, close < 0 ? -1 : close - 1));
        return line;
    }
    if (text.startsWith(';') || text.startsWith('#'))
        return line;
    const qsizetype eq = text.indexOf('=');
    if (eq > 0) {
        line.kind = Line::Entry;
        line.name = decode(text.left(eq));
        line.value = decode(text.mid(eq + 1));
        if (line.name.isEmpty())
            line.kind = Line::Other;
    }
    return line;
}

Document load(const QString &file)
{
    Document doc;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return doc;
    doc.exists = true;
    QByteArray data = in.readAll();
    if (data.startsWith(kBom)) {
        doc.bom = true;
        data.remove(0, kBom.size());
    }
    if (data.contains("\r\n"))
        doc.eol = "\r\n";
    doc.endsWithEol = data.isEmpty() || data.endsWith('\n');
    QList<QByteArray> raw = data.split('\n');
    if (data.endsWith('\n') || data.isEmpty())
        raw.removeLast(); // the split's empty tail after the last line end
    doc.lines.reserve(raw.size());
    for (QByteArray &r : raw) {
        if (r.endsWith('\r'))
            r.chop(1);
        doc.lines.push_back(parseLine(r));
    }
    return doc;
}

// Read-only by its permission bits, as the user marked it, whoever we run as.
bool isReadOnly(const QString &file)
{
    // The owner, group and other bits are the file's own; the "user" bit would ask the system
    // whether we may write, which for root is always yes.
    const QFileDevice::Permissions writeBits =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    const QFileInfo info(file);
    return !info.isWritable() || !(info.permissions() & writeBits);
}

bool save(const QString &file, const Document &doc)
{
    if (doc.exists && isReadOnly(file))
        return false; // a read-only settings file stays as the user left it
    QByteArray out;
    if (doc.bom)
        out += kBom;
    for (size_t i = 0; i < doc.lines.size(); ++i) {
        out += doc.lines[i].raw;
        if (i + 1 < doc.lines.size() || doc.endsWithEol)
            out += doc.eol;
    }
    return writeFileAtomically(file, out);
}

bool sameName(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

// Index range [begin, end) of the lines of a section; begin is its header. No value when absent.
struct Range {
    size_t begin, end;
};

std::optional<Range> findSection(const Document &doc, const QString &section, size_t from = 0)
{
    for (size_t i = from; i < doc.lines.size(); ++i) {
        if (doc.lines[i].kind != Line::Section || !sameName(doc.lines[i].name, section))
            continue;
        size_t end = i + 1;
        while (end < doc.lines.size() && doc.lines[end].kind != Line::Section)
            ++end;
        return Range{i, end};
    }
    return std::nullopt;
}

std::optional<size_t> findKey(const Document &doc, const Range &range, const QString &key)
{
    for (size_t i = range.begin + 1; i < range.end; ++i) {
        if (doc.lines[i].kind == Line::Entry && sameName(doc.lines[i].name, key))
            return i;
    }
    return std::nullopt;
}

bool storable(const QString &text)
{
    return !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')) &&
           !text.contains(QChar(0));
}

} // namespace

std::optional<QString> readValue(const QString &file, const QString &section, const QString &key)
{
    const Document doc = load(file);
    const auto range = findSection(doc, section.trimmed());
    if (!range)
        return std::nullopt;
    const auto at = findKey(doc, *range, key.trimmed());
    if (!at)
        return std::nullopt;
    return doc.lines[*at].value;
}

QStringList readKeys(const QString &file, const QString &section)
{
    const Document doc = load(file);
    QStringList keys;
    if (const auto range = findSection(doc, section.trimmed())) {
        for (size_t i = range->begin + 1; i < range->end; ++i) {
            if (doc.lines[i].kind == Line::Entry)
                keys << doc.lines[i].name;
        }
    }
    return keys;
}

bool writeValue(const QString &file, const QString &section, const QString &key,
                const QString &value)
{
    const QString name = section.trimmed();
    const QString k = key.trimmed();
    if (name.isEmpty() || k.isEmpty() || !storable(name) || !storable(k) || !storable(value) ||
        name.contains(QLatin1Char(']')) || k.contains(QLatin1Char('=')) ||
        k.startsWith(QLatin1Char('[')) || k.startsWith(QLatin1Char(';')) ||
        k.startsWith(QLatin1Char('#')))
        return false;

    Document doc = load(file);
    const Line entry = parseLine(k.toLocal8Bit() + '=' + value.trimmed().toLocal8Bit());
    auto range = findSection(doc, name);
    if (!range) {
        doc.endsWithEol = true;
        doc.lines.push_back(parseLine('[' + name.toLocal8Bit() + ']'));
        doc.lines.push_back(entry);
    } else if (const auto at = findKey(doc, *range, k)) {
        doc.lines[*at] = entry;
    } else {
        // After the section's last entry, so blank lines and comments that close it stay below.
        size_t insertAt = range->begin + 1;
        for (size_t i = range->begin + 1; i < range->end; ++i) {
            if (doc.lines[i].kind == Line::Entry)
                insertAt = i + 1;
        }
        if (insertAt == doc.lines.size())
            doc.endsWithEol = true;
        doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
    }
    return save(file, doc);
}

bool deleteKey(const QString &file, const QString &rawSection, const QString &rawKey)
{
    const QString section = rawSection.trimmed();
    const QString key = rawKey.trimmed();
    Document doc = load(file);
    bool changed = false;
    for (auto range = findSection(doc, section); range;
         range = findSection(doc, section, range->end)) {
        for (size_t i = range->end; i-- > range->begin + 1;) {
            if (doc.lines[i].kind == Line::Entry && sameName(doc.lines[i].name, key)) {
                doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(i));
                --range->end;
                changed = true;
            }
        }
    }
    return !changed || save(file, doc);
}

bool deleteSection(const QString &file, const QString &rawSection)
{
    const QString section = rawSection.trimmed();
    Document doc = load(file);
    bool changed = false;
    while (const auto range = findSection(doc, section)) {
        doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(range->begin),
                        doc.lines.begin() + static_cast<std::ptrdiff_t>(range->end));
        changed = true;
    }
    return !changed || save(file, doc);
}

bool flush(const QString &file)
{
    return QFileInfo(QFileInfo(file).absolutePath()).isDir();
}

} // namespace platform::profile
