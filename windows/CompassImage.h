#pragma once

#include <QLabel>

// A picture of the compass that reports mouse-button releases (with the position in the
// picture's pixels) and double clicks; the face and the arrow layer are two of them, stacked.
class CompassImage : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void mouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);
    void doubleClicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};
