#include "CompassImage.h"

#include <QMouseEvent>

void CompassImage::mouseReleaseEvent(QMouseEvent* event) {
    emit mouseReleased(event->button(), event->modifiers(), event->position().toPoint());
    QLabel::mouseReleaseEvent(event);
}

void CompassImage::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
    QLabel::mouseDoubleClickEvent(event);
}
