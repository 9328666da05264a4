#include "Controls.h"

namespace platform {

CheckBox::CheckBox(const QString &caption, QWidget *parent)
    : QCheckBox(caption, parent) {}

ComboBox::ComboBox(QWidget *parent)
    : QComboBox(parent) {
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_changedSincePopup = true;
        if (index >= 0)
            emit click();
    });
    // A pick of the entry already selected changes no index; only activated tells of it.
    connect(this, &QComboBox::activated, this, [this](int) {
        if (!m_changedSincePopup)
            emit click();
        m_changedSincePopup = false;
    });
}

void ComboBox::showPopup() {
    m_changedSincePopup = false;
    QComboBox::showPopup();
}

} // namespace platform
