#include "settings/cInifile.h"

#include "settings/Logging.h"
#include "system/Numbers.h"
#include "system/PathCodec.h"

#include <limits>

namespace profile = settings::profile;

cInifile::~cInifile()
{
    commitNewChanges();
}

// A commit that failed is not tried again for the same changes: the file stays as it was
// either way, and a full disk would only take another temporary file and its flushes.
void cInifile::commitNewChanges()
{
    if (m_changedSinceCommit)
        Refresh();
}

void cInifile::setFileName(const QString &vData)
{
    commitNewChanges();
    m_fileName = vData;
    m_document.reset();
}

profile::Document &cInifile::document()
{
    if (!m_document)
        m_document = profile::Document::load(m_fileName);
    return *m_document;
}

bool cInifile::editable()
{
    return profile::writable(m_fileName) && !document().unreadable();
}

// An empty value reads like a missing key: the caller's default applies to both.
QString cInifile::storedText(const QString &section, const QString &key)
{
    return document().value(section, key).value_or(QString());
}

qint32 cInifile::DeleteKey(const QString &Section, const QString &Key)
{
    if (!editable())
        return 0;
    document().removeKey(Section, Key);
    m_changedSinceCommit = true;
    return 1;
}

QString cInifile::ReadEntrys(const QString &Section)
{
    QString list;
    for (const QString &key : document().keys(Section))
        list += key + QChar(0);
    return list + QChar(0);
}

float cInifile::ReadSingle(const QString &Section, const QString &Key, float Def)
{
    return sys::parseSingle(storedText(Section, Key)).value_or(Def);
}

qint32 cInifile::Refresh()
{
    m_changedSinceCommit = false;
    if (!m_document)
        return 1;
    bool inPlace = false;
    if (!profile::commit(m_fileName, *m_document, &inPlace))
        return 0;
    if (inPlace)
        qCInfo(settings::logging::settings).noquote()
            << "the folder of" << sys::displayText(m_fileName)
            << "takes no new files: written in place, without the atomic replacement";
    return 1;
}

qint32 cInifile::WriteStr(const QString &Section, const QString &Key, const QString &sData)
{
    if (!editable() || !document().setValue(Section, Key, sData))
        return 0;
    m_changedSinceCommit = true;
    return 1;
}

qint32 cInifile::DeleteSection(const QString &Section)
{
    if (!editable())
        return 0;
    document().removeSection(Section);
    m_changedSinceCommit = true;
    return 1;
}

qint16 cInifile::ReadInt(const QString &Section, const QString &Key, qint16 Def)
{
    const auto number = sys::parseDouble(storedText(Section, Key));
    if (!number)
        return Def;
    const double rounded = sys::roundHalfEven(*number);
    if (rounded < std::numeric_limits<qint16>::min() ||
        rounded > std::numeric_limits<qint16>::max())
        return Def;
    return static_cast<qint16>(rounded);
}

QString cInifile::ReadStr(const QString &Section, const QString &Key, const QString &Def)
{
    const QString text = storedText(Section, Key);
    return text.isEmpty() ? Def : text;
}
