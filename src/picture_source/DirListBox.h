#pragma once

#include <QObject>
#include <QString>

namespace source {

/// A directory list, used for its current folder only. Setting the path raises change(),
/// also when it is set to the folder it already holds: a set is a visit, and whoever listens
/// must then see the folder as it is now.
class DirListBox : public QObject {
    Q_OBJECT
public:
    explicit DirListBox(QObject *parent = nullptr);

    QString path() const { return m_path; }
    void setPath(const QString &folder);

signals:
    void change();

private:
    QString m_path;
};

} // namespace source
