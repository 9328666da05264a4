#pragma once

#include <QString>
#include <QtGlobal>

/// Typed access to one INI file. It keeps nothing but the file's name: every operation goes to
/// the file itself, so two objects on the same file see each other's changes at once.
class cInifile {
public:
    /// Removes a key; nonzero on success, 0 on failure.
    qint32 DeleteKey(const QString &Section, const QString &Key);
    /// The key names of a section, each followed by a NUL, then one more NUL; a single NUL for
    /// a missing or empty section.
    QString ReadEntrys(const QString &Section);
    /// The key as a single-precision number, or Def when it is missing, empty, not numeric or
    /// beyond the single range.
    float ReadSingle(const QString &Section, const QString &Key, float Def);
    /// Makes every change reach the file; nonzero on success.
    qint32 Refresh();
    /// Sets a key (creating file and section as needed); nonzero on success, 0 on failure.
    qint32 WriteStr(const QString &Section, const QString &Key, const QString &sData);
    /// Removes a section with all its keys; nonzero on success, 0 on failure.
    qint32 DeleteSection(const QString &Section);
    /// The key as a whole number, halves rounded to even, or Def when it is missing, empty,
    /// not numeric or outside -32768 .. 32767.
    qint16 ReadInt(const QString &Section, const QString &Key, qint16 Def);
    /// The key's text, or Def when it is missing or empty.
    QString ReadStr(const QString &Section, const QString &Key, const QString &Def);

    void setFileName(const QString &vData) { m_fileName = vData; }
    QString FileName() const { return m_fileName; }

private:
    QString m_fileName;
};
