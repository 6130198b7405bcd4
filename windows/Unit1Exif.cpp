// The Exif page: six text values filled from the opened file, handed to the engine before each
// save, and a backup of them that survives restarts.

#include "Unit1.h"

#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "Exif.h"
#include "FieldValues.h"

using namespace ExifDetails;

namespace {

QString text(const std::u16string& value) {
    return QString::fromStdU16String(value);
}

} // namespace

void TForm1::ResetExif() {
    const TextFields f = TextFieldsFromRegisters();
    Edit010E->setText(text(f.title));
    Edit013B->setText(text(f.artist));
    Edit8298A->setText(text(f.copyrightPhotographer));
    Edit8298B->setText(text(f.copyrightEditor));
    RichEdit9286->setPlainText(text(f.comment));
    EditA430->setText(text(f.owner));
}

void TForm1::UpdateExifStrings() {
    TextFields f;
    f.title = Edit010E->text().toStdU16String();
    f.artist = Edit013B->text().toStdU16String();
    f.copyrightPhotographer = Edit8298A->text().toStdU16String();
    f.copyrightEditor = Edit8298B->text().toStdU16String();
    f.comment = RichEdit9286->toPlainText().toStdU16String();
    f.owner = EditA430->text().toStdU16String();
    StoreTextFields(f);
    Exif::UpdateExif();
}

void TForm1::PMX_BackupClick() {
    Bak010E = trimmed(Edit010E->text());
    Bak013B = trimmed(Edit013B->text());
    Bak8298A = trimmed(Edit8298A->text());
    Bak8298B = trimmed(Edit8298B->text());
    Bak9286 = trimmed(RichEdit9286->toPlainText());
    BakA430 = trimmed(EditA430->text());
    PMX_Restore->setEnabled(true);
    Beep();
}

void TForm1::PMX_RestoreClick() {
    if (Flag010E)
        Edit010E->setText(Bak010E);
    if (Flag013B)
        Edit013B->setText(Bak013B);
    if (Flag8298) {
        Edit8298A->setText(Bak8298A);
        Edit8298B->setText(Bak8298B);
    }
    if (Flag9286)
        RichEdit9286->setPlainText(Bak9286);
    if (FlagA430)
        EditA430->setText(BakA430);
}

void TForm1::PMX_ClearClick() {
    for (QLineEdit* field : {Edit010E, Edit013B, Edit8298A, Edit8298B, EditA430})
        field->clear();
    RichEdit9286->clear();
}
