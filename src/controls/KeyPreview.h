#pragma once

#include <QObject>

#include <functional>

class QWidget;

namespace controls {

/// A window's preview of the keys pressed in it: the handler sees each key press once, before
/// the control that has the focus does, whichever control that is. Setting the key code to 0
/// consumes the key, so no control sees it.
class KeyPreview : public QObject {
    Q_OBJECT
public:
    /// @param handler gets the key's virtual-key code; modifiers make no difference.
    KeyPreview(QWidget *window, std::function<void(qint16 &keyCode)> handler);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
    std::function<void(qint16 &)> m_handler;
};

} // namespace controls
