#pragma once

#include <QLabel>

// A one-line label that never asks for more width than it is given: a text too long for it is
// shown shortened in the middle, and whole in its tooltip. text() is always the whole text.
class ElidedLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString shownText() const;
};
