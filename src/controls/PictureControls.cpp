#include "controls/PictureControls.h"

#include "controls/Clicks.h"
#include "system/Twips.h"

#include <QMouseEvent>
#include <QPainter>

namespace controls {

PictureBox::PictureBox(QWidget *parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
}

void PictureBox::setPicture(const imaging::Picture &picture)
{
    m_picture = picture;
    if (!picture.isNull())
        resize(picture.size);
}

float PictureBox::widthTwips() const
{
    return m_picture.isNull() ? 0.0f : sys::pixelsToTwips(m_picture.size.width());
}

float PictureBox::heightTwips() const
{
    return m_picture.isNull() ? 0.0f : sys::pixelsToTwips(m_picture.size.height());
}

ImageBox::ImageBox(QWidget *parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
}

void ImageBox::setPicture(const imaging::Picture &picture)
{
    m_picture = picture;
    m_scaled = QImage();
    update();
}

void ImageBox::paintEvent(QPaintEvent *)
{
    if (m_picture.isNull() || width() <= 0 || height() <= 0)
        return;
    const qreal ratio = devicePixelRatioF();
    const QSize target = (QSizeF(size()) * ratio).toSize();
    QPainter painter(this);
    if (m_picture.image.size() == target) { // decoded for exactly this place: a plain copy
        painter.drawImage(QRectF(rect()), m_picture.image);
        return;
    }
    // Only until a decode for this place comes (after a resize, say): the fast scaler, so that
    // the picture is there at once.
    if (m_scaled.size() != target) {
        m_scaled = imaging::scaledTo(m_picture.image, target);
        m_scaled.setDevicePixelRatio(ratio);
    }
    painter.drawImage(QPointF(0, 0), m_scaled);
}

// Taking the press makes the release come here, not to the window behind.
void ImageBox::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}

void ImageBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    m_doubleClick = true;
    event->accept();
}

void ImageBox::mouseReleaseEvent(QMouseEvent *event)
{
    emit mouseUp(event->button());
    if (releaseIsClick(this, event, m_doubleClick))
        emit clicked();
}

} // namespace controls
