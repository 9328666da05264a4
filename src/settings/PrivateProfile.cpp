#include "settings/PrivateProfile.h"

#include "settings/AtomicFile.h"
#include "system/Logging.h"
#include "system/PathCodec.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace settings::profile {

namespace {

const QByteArray kBom("\xEF\xBB\xBF");

QString decode(const QByteArray &bytes)
{
    // A NUL ends the text, as it would in a C string. A byte-order mark at the start of a name
    // or value is part of it, or what was written with one would not read back. Bytes that are
    // no UTF-8 (a folder name from an older system, a file saved by an editor in another
    // encoding) are kept as they are, as the folder's own name is.
    const qsizetype nul = bytes.indexOf('\0');
    return sys::decodePath(nul < 0 ? bytes : bytes.left(nul)).trimmed();
}

bool quoted(const QString &text)
{
    return text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"'));
}

// Blanks around a value are dropped when it is read, and one pair of double quotes around it;
// a value that would lose either is written inside a pair. Any other value is written as it
// is, so files stay as they always were.
QByteArray valueText(const QString &value)
{
    if (value.trimmed() == value && !quoted(value))
        return sys::encodePath(value);
    return '"' + sys::encodePath(value) + '"';
}

QString readValue(const QByteArray &bytes)
{
    const QString text = decode(bytes);
    return quoted(text) ? text.mid(1, text.size() - 2) : text;
}

// Read-only by its permission bits, as the user marked it, whoever we run as.
bool isReadOnly(const QFileInfo &info)
{
    // The owner, group and other bits are the file's own; the "user" bit would ask the system
    // whether we may write, which for root is always yes.
    const QFileDevice::Permissions writeBits =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return !info.isWritable() || !(info.permissions() & writeBits);
}

// No file by that name, links followed: a link to a file not made yet counts as missing. A
// file we may not even look at is not missing.
bool missing(const QString &file)
{
    struct stat info {};
    return ::stat(sys::encodePath(file).constData(), &info) != 0 &&
           (errno == ENOENT || errno == ENOTDIR);
}

bool sameName(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

bool storable(const QString &text)
{
    return !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')) &&
           !text.contains(QChar(0));
}

bool storableNames(const QString &section, const QString &key, const QString &value)
{
    return !section.isEmpty() && !key.isEmpty() && storable(section) && storable(key) &&
           storable(value) && !section.contains(QLatin1Char(']')) &&
           !key.contains(QLatin1Char('=')) && !key.startsWith(QLatin1Char('[')) &&
           !key.startsWith(QLatin1Char(';')) && !key.startsWith(QLatin1Char('#'));
}

} // namespace

Document::Line Document::parseLine(const QByteArray &raw)
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
        line.value = readValue(text.mid(eq + 1));
        if (line.name.isEmpty())
            line.kind = Line::Other;
    }
    return line;
}

Document Document::load(const QString &file)
{
    if (file.isEmpty())
        return Document(); // nowhere to keep settings: nothing to read either
    QFile in(file);
    if (in.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = in.readAll();
        if (in.error() == QFileDevice::NoError)
            return parse(bytes);
    } else if (missing(file)) {
        return Document(); // not made yet
    }
    qCWarning(sys::logging::files).noquote() << "cannot read" << sys::displayText(file) << "-"
                                             << in.errorString() << "- it is left alone";
    Document doc;
    doc.m_unreadable = true;
    return doc;
}

Document Document::parse(const QByteArray &bytes)
{
    Document doc;
    doc.m_onDisk = bytes;
    QByteArray data = bytes;
    if (data.startsWith(kBom)) {
        doc.m_bom = true;
        data.remove(0, kBom.size());
    }
    if (data.contains("\r\n"))
        doc.m_eol = "\r\n";
    doc.m_endsWithEol = data.isEmpty() || data.endsWith('\n');
    QList<QByteArray> raw = data.split('\n');
    if (data.endsWith('\n') || data.isEmpty())
        raw.removeLast(); // the split's empty tail after the last line end
    doc.m_lines.reserve(raw.size());
    for (QByteArray &r : raw) {
        if (r.endsWith('\r'))
            r.chop(1);
        doc.m_lines.push_back(parseLine(r));
    }
    // A lone CR after the last line end reads as an empty last line without a line end, which
    // a line added later would turn into a blank line; it is the same file without that line.
    if (!doc.m_endsWithEol && !doc.m_lines.empty() && doc.m_lines.back().raw.isEmpty()) {
        doc.m_lines.pop_back();
        doc.m_endsWithEol = true;
    }
    return doc;
}

std::optional<Document::Range> Document::findSection(const QString &section, size_t from) const
{
    for (size_t i = from; i < m_lines.size(); ++i) {
        if (m_lines[i].kind != Line::Section || !sameName(m_lines[i].name, section))
            continue;
        size_t end = i + 1;
        while (end < m_lines.size() && m_lines[end].kind != Line::Section)
            ++end;
        return Range{i, end};
    }
    return std::nullopt;
}

std::optional<size_t> Document::findKey(const Range &range, const QString &key) const
{
    for (size_t i = range.begin + 1; i < range.end; ++i) {
        if (m_lines[i].kind == Line::Entry && sameName(m_lines[i].name, key))
            return i;
    }
    return std::nullopt;
}

std::optional<QString> Document::value(const QString &section, const QString &key) const
{
    const auto range = findSection(section.trimmed());
    if (!range)
        return std::nullopt;
    const auto at = findKey(*range, key.trimmed());
    if (!at)
        return std::nullopt;
    return m_lines[*at].value;
}

QStringList Document::keys(const QString &section) const
{
    QStringList keys;
    if (const auto range = findSection(section.trimmed())) {
        for (size_t i = range->begin + 1; i < range->end; ++i) {
            if (m_lines[i].kind == Line::Entry)
                keys << m_lines[i].name;
        }
    }
    return keys;
}

bool Document::setValue(const QString &section, const QString &key, const QString &value)
{
    const QString name = section.trimmed();
    const QString k = key.trimmed();
    if (!storableNames(name, k, value))
        return false;
    const Line entry = parseLine(sys::encodePath(k) + '=' + valueText(value));
    if (const auto range = findSection(name)) {
        if (const auto at = findKey(*range, k))
            m_lines[*at] = entry;
        else
            insertEntry(*range, entry);
    } else {
        m_endsWithEol = true;
        m_lines.push_back(parseLine('[' + sys::encodePath(name) + ']'));
        m_lines.push_back(entry);
    }
    m_edited = true;
    return true;
}

void Document::insertEntry(const Range &range, const Line &entry)
{
    // After the section's last entry, so blank lines and comments that close it stay below.
    size_t insertAt = range.begin + 1;
    for (size_t i = range.begin + 1; i < range.end; ++i) {
        if (m_lines[i].kind == Line::Entry)
            insertAt = i + 1;
    }
    if (insertAt == m_lines.size())
        m_endsWithEol = true;
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
}

void Document::removeKey(const QString &rawSection, const QString &rawKey)
{
    const QString section = rawSection.trimmed();
    const QString key = rawKey.trimmed();
    for (auto range = findSection(section); range; range = findSection(section, range->end)) {
        for (size_t i = range->end; i-- > range->begin + 1;) {
            if (m_lines[i].kind == Line::Entry && sameName(m_lines[i].name, key)) {
                eraseLines(i, i + 1);
                --range->end;
            }
        }
    }
}

void Document::removeSection(const QString &rawSection)
{
    const QString section = rawSection.trimmed();
    while (const auto range = findSection(section))
        eraseLines(range->begin, range->end);
}

void Document::eraseLines(size_t begin, size_t end)
{
    // The line left last had a line end after it, and keeps it.
    if (end == m_lines.size())
        m_endsWithEol = true;
    m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(begin),
                  m_lines.begin() + static_cast<std::ptrdiff_t>(end));
    m_edited = true;
}

QByteArray Document::serialize() const
{
    QByteArray out;
    if (m_bom)
        out += kBom;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        out += m_lines[i].raw;
        if (i + 1 < m_lines.size() || m_endsWithEol)
            out += m_eol;
    }
    return out;
}

bool Document::changed() const
{
    // Edits that end where they began (a key set to the value it had, a section deleted and
    // written anew) leave nothing to write.
    return m_edited && serialize() != m_onDisk;
}

namespace {

// Whether a replacement could be made beside the file: its folder takes new files.
bool folderTakesFiles(const QFileInfo &real)
{
    return ::access(sys::encodePath(real.absolutePath()).constData(), W_OK) == 0;
}

} // namespace

bool writable(const QString &file)
{
    if (file.isEmpty())
        return false;
    // A link is written through, so the file and folder that count are the ones it names.
    const QString real = replacedFile(file);
    if (real.isEmpty())
        return false;
    const QFileInfo info(real);
    if (info.exists())
        return !isReadOnly(info); // a read-only settings file stays as the user left it
    return folderTakesFiles(info);
}

bool commit(const QString &file, Document &document, bool *inPlace)
{
    if (inPlace)
        *inPlace = false;
    if (document.m_unreadable)
        return false;
    if (!document.changed())
        return true;
    const QByteArray bytes = document.serialize();
    if (!writable(file))
        return false;
    // Without a replacement the settings would be lost at every close; in place they are
    // kept, at the risk of a half-written file should the process die while writing.
    const bool replace = folderTakesFiles(QFileInfo(replacedFile(file)));
    if (!(replace ? writeFileAtomically(file, bytes) : writeFileInPlace(file, bytes)))
        return false;
    if (inPlace)
        *inPlace = !replace;
    document.m_onDisk = bytes;
    document.m_edited = false;
    return true;
}

} // namespace settings::profile
