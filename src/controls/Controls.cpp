#include "controls/Controls.h"

#include <QKeyEvent>

namespace controls {

CheckBox::CheckBox(const QString &caption, QWidget *parent)
    : QCheckBox(caption, parent)
{
}

PushButton::PushButton(const QString &caption, QWidget *parent)
    : QPushButton(caption, parent)
{
    setAutoDefault(false);
    setDefault(false);
}

void PushButton::keyPressEvent(QKeyEvent *event)
{
    // The toolkit leaves Return to a dialog's default button, and a window has none; the
    // desktop's push buttons take it themselves while they have the focus.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        if (!event->isAutoRepeat())
            click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

ComboBox::ComboBox(QWidget *parent)
    : QComboBox(parent)
{
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (m_editing)
            return;
        m_changedSincePopup = true;
        if (index >= 0)
            emit click();
    });
    connect(model(), &QAbstractItemModel::rowsAboutToBeInserted, this, &ComboBox::beginEdit);
    connect(model(), &QAbstractItemModel::rowsInserted, this, &ComboBox::endEdit);
    connect(model(), &QAbstractItemModel::rowsAboutToBeRemoved, this, &ComboBox::beginEdit);
    connect(model(), &QAbstractItemModel::rowsRemoved, this, &ComboBox::endEdit);
    // A pick of the entry already selected changes no index; only activated tells of it.
    connect(this, &QComboBox::activated, this, [this](int) {
        if (!m_changedSincePopup)
            emit click();
        m_changedSincePopup = false;
    });
}

// The list moves or sets its current index by itself when entries come and go (it selects the
// first entry added to an empty list); these connections run after its own, so they can undo
// that quietly.
void ComboBox::beginEdit()
{
    m_editing = true;
    m_indexBeforeEdit = currentIndex();
}

void ComboBox::endEdit()
{
    if (m_indexBeforeEdit < 0 && currentIndex() >= 0)
        setCurrentIndex(-1);
    m_editing = false;
}

void ComboBox::showPopup()
{
    m_changedSincePopup = false;
    QComboBox::showPopup();
}

} // namespace controls
