// Changes not yet saved: a position applied with 更新 or 消去, or Exif text fields that differ
// from the file's. The title carries a "*" while there are any, and leaving the photo asks
// whether to save them first.

#include "Unit1.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

QStringList TForm1::exifTexts() const {
    return {Edit010E->text(),  Edit013B->text(),           Edit8298A->text(),
            Edit8298B->text(), RichEdit9286->toPlainText(), EditA430->text()};
}

void TForm1::watchChanges() {
    for (QLineEdit* field : {Edit010E, Edit013B, Edit8298A, Edit8298B, EditA430})
        connect(field, &QLineEdit::textChanged, this, [this] { showUnsavedMark(); });
    connect(RichEdit9286, &QPlainTextEdit::textChanged, this, [this] { showUnsavedMark(); });
}

bool TForm1::HasUnsavedChanges() const {
    // Without an open file there is nothing that could be saved.
    return MM_FS->isEnabled() && (positionApplied_ || exifTexts() != savedTexts_);
}

void TForm1::changesSaved() {
    positionApplied_ = false;
    savedTexts_ = exifTexts();
    showUnsavedMark();
}

void TForm1::positionApplied() {
    positionApplied_ = true;
    showUnsavedMark();
}

void TForm1::showUnsavedMark() {
    // The title of an open file ends with "]", so a final "*" is only ever this mark.
    QString title = windowTitle();
    if (title.endsWith(u'*'))
        title.chop(1);
    setWindowTitle(HasUnsavedChanges() ? title + u'*' : title);
}

bool TForm1::ConfirmLeave() {
    if (!HasUnsavedChanges())
        return true;
    QMessageBox box(QMessageBox::Question, ExeName,
                    QStringLiteral("「%1」への変更は保存されていません。保存しますか？")
                        .arg(QFileInfo(CurrentFileName).fileName()),
                    QMessageBox::NoButton, this);
    QPushButton* save = box.addButton(QStringLiteral("保存"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(QStringLiteral("保存しない"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == discard)
        return true;
    if (box.clickedButton() != save)
        return false;
    // Saved as 上書き保存 saves; a save that failed has said why, and the photo stays.
    MM_FSClick();
    return !HasUnsavedChanges();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // Refused first, so an error while asking or saving cannot let the window close.
    event->ignore();
    if (ConfirmLeave())
        event->accept();
}
