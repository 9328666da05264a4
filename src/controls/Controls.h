#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

namespace controls {

/// A check box whose value is 0 (unticked) or 1 (ticked).
class CheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit CheckBox(const QString &caption, QWidget *parent = nullptr);

    int value() const { return isChecked() ? 1 : 0; }
    void setValue(int value) { setChecked(value == 1); }
};

/// A push button that Return and the keypad's Enter press while it has the focus, as a click
/// would. It is never the default button: with the focus elsewhere, Return presses nothing.
class PushButton : public QPushButton {
    Q_OBJECT
public:
    explicit PushButton(const QString &caption, QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

/// A drop-down list that raises click() whenever an entry becomes selected: at once when code
/// sets a different index, and when the user picks an entry, even the one already selected.
/// Adding and removing entries selects nothing and raises nothing: only a selection does.
class ComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit ComboBox(QWidget *parent = nullptr);

    void showPopup() override;

signals:
    void click();

private:
    void beginEdit();
    void endEdit();

    bool m_changedSincePopup = false;
    bool m_editing = false;
    int m_indexBeforeEdit = -1;
};

} // namespace controls
