#include "FieldDisplay.h"

#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>

void ShowValuesFromTheirStart(QWidget* window) {
    for (QLineEdit* field : window->findChildren<QLineEdit*>()) {
        // A text set from code leaves the field unmodified (typing and pasting modify it) and
        // puts the cursor behind it, also when the text stays the same.
        auto fromStart = [field] {
            if (!field->isModified())
                field->setCursorPosition(0);
        };
        QObject::connect(field, &QLineEdit::textChanged, field, fromStart);
        QObject::connect(field, &QLineEdit::cursorPositionChanged, field, [field, fromStart] {
            if (!field->hasFocus())
                fromStart();
        });
    }
}

void FitWidthTo(QLineEdit* field, const QString& widest) {
    QStyleOptionFrame option;
    option.initFrom(field);
    option.lineWidth = field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field);
    // The text with the field's inner margin of 2 pixels on either side, then the frame.
    const QSize text(field->fontMetrics().horizontalAdvance(widest) + 2 * 2,
                     field->fontMetrics().height());
    field->setFixedWidth(
        field->style()->sizeFromContents(QStyle::CT_LineEdit, &option, text, field).width());
}
