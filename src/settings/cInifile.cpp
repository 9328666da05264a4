#include "cInifile.h"

#include "Numbers.h"
#include "PrivateProfile.h"

#include <limits>

namespace profile = platform::profile;

namespace {

// An empty value reads like a missing key: the caller's default applies to both.
QString storedText(const QString &file, const QString &section, const QString &key)
{
    return profile::readValue(file, section, key).value_or(QString());
}

} // namespace

qint32 cInifile::DeleteKey(const QString &Section, const QString &Key)
{
    return profile::deleteKey(m_fileName, Section, Key) ? 1 : 0;
}

QString cInifile::ReadEntrys(const QString &Section)
{
    QString list;
    for (const QString &key : profile::readKeys(m_fileName, Section))
        list += key + QChar(0);
    return list + QChar(0);
}

float cInifile::ReadSingle(const QString &Section, const QString &Key, float Def)
{
    return platform::parseSingle(storedText(m_fileName, Section, Key)).value_or(Def);
}

qint32 cInifile::Refresh()
{
    return profile::flush(m_fileName) ? 1 : 0;
}

qint32 cInifile::WriteStr(const QString &Section, const QString &Key, const QString &sData)
{
    return profile::writeValue(m_fileName, Section, Key, sData) ? 1 : 0;
}

qint32 cInifile::DeleteSection(const QString &Section)
{
    return profile::deleteSection(m_fileName, Section) ? 1 : 0;
}

qint16 cInifile::ReadInt(const QString &Section, const QString &Key, qint16 Def)
{
    const auto number = platform::parseDouble(storedText(m_fileName, Section, Key));
    if (!number)
        return Def;
    const double rounded = platform::roundHalfEven(*number);
    if (rounded < std::numeric_limits<qint16>::min() ||
        rounded > std::numeric_limits<qint16>::max())
        return Def;
    return static_cast<qint16>(rounded);
}

QString cInifile::ReadStr(const QString &Section, const QString &Key, const QString &Def)
{
    const QString text = storedText(m_fileName, Section, Key);
    return text.isEmpty() ? Def : text;
}
