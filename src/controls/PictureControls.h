#pragma once

#include "imaging/Picture.h"

#include <QImage>
#include <QWidget>

namespace controls {

/// A picture box that is never shown: it holds a picture and takes its size.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget *parent = nullptr);

    void setPicture(const imaging::Picture &picture);
    const imaging::Picture &picture() const { return m_picture; }

    /// The picture's width and height in twips; 0 without a picture.
    float widthTwips() const;
    float heightTwips() const;

private:
    imaging::Picture m_picture;
};

/// An image display that draws its picture stretched to its own size, at device resolution.
class ImageBox : public QWidget {
    Q_OBJECT
public:
    explicit ImageBox(QWidget *parent = nullptr);

    /// Shares the picture (no pixel copy); the empty picture blanks the control.
    void setPicture(const imaging::Picture &picture);
    const imaging::Picture &picture() const { return m_picture; }

signals:
    void clicked();
    void mouseUp(Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_doubleClick = false; // the release ending a double click is no second click
    imaging::Picture m_picture;
    QImage m_scaled; // the picture scaled to the current device size, made on demand
};

} // namespace controls
