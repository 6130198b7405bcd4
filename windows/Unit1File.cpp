// Opening and saving from the menu and the toolbar: the file dialogs, reload, and the save
// that writes the edited file atomically and says why when it cannot.

#include "Unit1.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QToolButton>

#include "BusyCursor.h"
#include "Exif.h"
#include "Preview.h"

namespace {

const QString kJpegFilter = QStringLiteral("JPEG イメージファイル (*.jpg, *.jpeg) (*.jpg *.jpeg)");

// A non-native dialog, so a preview of the selected picture can sit beside the file list. It
// shows the file selected when the dialog opens, then each file the user selects.
void addPreview(QFileDialog& dialog) {
    auto* layout = qobject_cast<QGridLayout*>(dialog.layout());
    if (!layout)
        return;
    auto* preview = new QLabel(&dialog);
    preview->setObjectName(QStringLiteral("PicturePreview"));
    preview->setFixedSize(200, 200);
    preview->setAlignment(Qt::AlignCenter);
    preview->setFrameShape(QFrame::StyledPanel);
    layout->addWidget(preview, 0, layout->columnCount(), layout->rowCount(), 1);
    auto show = [preview](const QString& path) {
        QSize full;
        const QImage picture = QFileInfo(path).isFile() ? LoadPreview(path, {200, 200}, full)
                                                        : QImage();
        preview->setPixmap(picture.isNull()
                               ? QPixmap()
                               : QPixmap::fromImage(picture).scaled(
                                     preview->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    };
    QObject::connect(&dialog, &QFileDialog::currentChanged, preview, show);
    show(dialog.selectedFiles().value(0));
}

// The filters show their names as given, without Qt's copy of the patterns behind them.
void useFilters(QFileDialog& dialog, const QStringList& filters) {
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(filters);
}

} // namespace

void TForm1::MM_FOClick() {
    QFileDialog dialog(this);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    useFilters(dialog, {kJpegFilter, QStringLiteral("すべて (*.*) (*)")});
    dialog.setDirectory(OpenDialogFolder);
    dialog.selectFile(OpenDialogFileName);
    addPreview(dialog);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() && ConfirmLeave())
        FileOpen(dialog.selectedFiles().constFirst());
}

void TForm1::SB_FRClick() {
    if (ConfirmLeave())
        FileOpen(CurrentFileName);
}

void TForm1::MM_FSClick() {
    UpdateExifStrings();
    FileSave(CurrentFileName);
}

void TForm1::MM_FNClick() {
    QFileDialog dialog(this);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    useFilters(dialog, {kJpegFilter});
    dialog.selectFile(CurrentFileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    UpdateExifStrings();
    CurrentFileName = dialog.selectedFiles().constFirst();
    FileSave(CurrentFileName);
}

void TForm1::FileSave(const QString& FileName) {
    BusyCursor busy;
    try {
        Exif::WriteJpeg();
        const std::string path = FileName.toStdString();
        // Over the file we know: only while it still holds what we opened or saved.
        Exif::SaveOptions options;
        options.mustExist = FileName == knownFile_;
        if (options.mustExist)
            options.unchangedSince = knownContent_;
        knownContent_ = Exif::SaveFile(path, Exif::ToStream, options);
        knownFile_ = FileName;
        if (TimestampOriginal)
            Exif::SetFileTime(path, Exif::TimestampFor(FileDate));
        SoundNo = QStringLiteral("#1");
    } catch (const std::exception& e) {
        // The file is as it was (or, when only the time stamp failed, complete): say why.
        SoundNo = QStringLiteral("#4");
        PlaySoundNo();
        SB_FR->setEnabled(true);
        QMessageBox::critical(this, ExeName,
                              QStringLiteral("保存できませんでした。\n") +
                                  QString::fromUtf8(e.what()),
                              QMessageBox::Ok);
        return;
    }
    changesSaved();
    PlaySoundNo();
    SB_FR->setEnabled(true);
}
