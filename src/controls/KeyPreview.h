#pragma once

#include <QAbstractNativeEventFilter>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>

#include <functional>
#include <utility>

class QKeyEvent;
class QWidget;

namespace controls {

/// A window's preview of the keys pressed in it: the handler sees each key press once, before
/// the control that has the focus does, whichever control that is. Setting the key code to 0
/// consumes the key, so no control sees it.
///
/// A key held down repeats, and its repeats act only in the window it went down in: one that
/// closed a dialog or opened one does nothing more in the next. The keys listed as acting once
/// act at their first press only; their repeats are consumed until the key is let go.
class KeyPreview : public QObject {
    Q_OBJECT
public:
    /// @param handler gets the key's virtual-key code; modifiers make no difference.
    /// @param once virtual-key codes whose repeats are consumed unseen
    KeyPreview(QWidget *window, std::function<void(qint16 &keyCode)> handler,
               QList<qint16> once = {});

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The X server repeats a held key as a release and a press at the same moment. The toolkit
    // tells that press from a new one only when it has read both at once, which a busy program
    // may not have: the server's own times tell them apart here.
    class ServerRepeats : public QAbstractNativeEventFilter {
    public:
        bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override;
        bool isRepeat(const QKeyEvent *press);

    private:
        QHash<quint32, quint32> m_releasedAt;        // by key code, the server's time
        QSet<std::pair<quint32, quint32>> m_repeats; // key code and time of each such press
    };

    QWidget *m_window;
    std::function<void(qint16 &)> m_handler;
    QList<qint16> m_once;
    QHash<int, QPointer<QObject>> m_downIn; // the window each key last went down in
    ServerRepeats m_serverRepeats;
};

} // namespace controls
