#include "Unit1.h"

#include "GpsLogTools.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStandardPaths>
#include <QTabWidget>
#include <QToolButton>
#include <QWebEngineView>

#include <algorithm>
#include <exception>
#include <new>

#include "BusyCursor.h"
#include "CharacterFilter.h"
#include "CompassImage.h"
#include "Exif.h"
#include "FieldDisplay.h"
#include "FieldMenus.h"
#include "Preview.h"
#include "GeodotApplication.h"
#include "SoundCues.h"
#include "UnitConfig.h"
#include "UnitLocations.h"

namespace {

// Centred in the screen's free area; a window larger than that keeps its title bar on screen.
void centreOnScreen(QWidget* window) {
    const QScreen* screen = window->screen();
    if (!screen)
        return;
    const QRect free = screen->availableGeometry();
    QRect frame = window->frameGeometry();
    frame.moveCenter(free.center());
    frame.moveTopLeft(QPoint(std::max(frame.left(), free.left()), std::max(frame.top(), free.top())));
    window->move(frame.topLeft());
}

} // namespace

TForm1::TForm1(QStringList arguments, QWidget* parent)
    : QMainWindow(parent), arguments_(std::move(arguments)) {
    setObjectName(QStringLiteral("Form1"));
    sounds_ = new SoundCues(this);
    previewRefresh_ = new PreviewRefresh(this);
    connect(previewRefresh_, &PreviewRefresh::decoded, this, &TForm1::showPreview);
    buildMenu();
    GpsLogs = new GpsLogTools(this);
    buildPages();
    prepareMapSurface();
    buildNavigation();
    buildPositionClipboard();
    connectHandlers();
    watchChanges();
    setAcceptDrops(true);
    ShowValuesFromTheirStart(this);
    // The client area between the menu bar and the status bar (the GPS log's line).
    resize(706, 719 + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    FormCreate();
}

TForm1::~TForm1() {
    FormDestroy();
    // The dialogs are children of this window and go with it.
    FormConfig = nullptr;
    FormLocations = nullptr;
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::connectHandlers() {
    connect(MM_FO, &QAction::triggered, this, Guarded([this] { MM_FOClick(); }));
    connect(SB_FO, &QToolButton::clicked, this, Guarded([this] { MM_FOClick(); }));
    connect(MM_FS, &QAction::triggered, this, Guarded([this] { MM_FSClick(); }));
    connect(SB_FS, &QToolButton::clicked, this, Guarded([this] { MM_FSClick(); }));
    connect(MM_FN, &QAction::triggered, this, Guarded([this] { MM_FNClick(); }));
    connect(SB_FN, &QToolButton::clicked, this, Guarded([this] { MM_FNClick(); }));
    connect(SB_FR, &QToolButton::clicked, this, Guarded([this] { SB_FRClick(); }));
    connect(MM_FX, &QAction::triggered, this, Guarded([this] { MM_FXClick(); }));
    connect(SB_Exit, &QToolButton::clicked, this, Guarded([this] { MM_FXClick(); }));
    connect(MM_CC, &QAction::triggered, this, Guarded([this] { MM_CCClick(); }));
    connect(MM_CL, &QAction::triggered, this, Guarded([this] { MM_CLClick(); }));
    connect(MM_CV, &QAction::triggered, this, Guarded([this] { MM_CVClick(); }));

    const auto mouseUp = Guarded([this](Qt::MouseButton b, Qt::KeyboardModifiers m, QPoint p) {
        ImageCompassMouseUp(b, m, p.x(), p.y());
    });
    connect(ImageCompass, &CompassImage::mouseReleased, this, mouseUp);
    connect(ImageArrow, &CompassImage::mouseReleased, this, mouseUp);
    connect(ImageArrow, &CompassImage::doubleClicked, this,
            Guarded([this] { ImageArrowDblClick(); }));
    // Runs for a user's click and for every change made from code, as long as the tick changes.
    connect(CB_Compass, &QCheckBox::toggled, this, Guarded([this] { CB_CompassClick(); }));

    connect(BitBtnUpdateGPS, &QPushButton::clicked, this,
            Guarded([this] { BitBtnUpdateGPSClick(); }));
    connect(BitBtnRemove, &QPushButton::clicked, this, Guarded([this] { BitBtnRemoveClick(); }));
    connect(ButtonResetLatLon, &QPushButton::clicked, this,
            Guarded([this] { ButtonResetLatLonClick(); }));
    connect(ButtonFindPlace, &QPushButton::clicked, this,
            Guarded([this] { ButtonFindPlaceClick(); }));
    connect(ButtonGetPos, &QPushButton::clicked, this, Guarded([this] { ButtonGetPosClick(); }));
    connect(PMX_Backup, &QAction::triggered, this, Guarded([this] { PMX_BackupClick(); }));
    connect(PMX_Restore, &QAction::triggered, this, Guarded([this] { PMX_RestoreClick(); }));
    connect(PMX_Clear, &QAction::triggered, this, Guarded([this] { PMX_ClearClick(); }));
    connect(PMGPS_Remember, &QAction::triggered, this, Guarded([this] { PMGPS_RememberClick(); }));
    connect(PMGPS_ArUser, &QAction::triggered, this, Guarded([this] { PMGPS_ArUserClick(); }));
    connect(PMGPS, &QMenu::aboutToShow, this, Guarded([this] { PMGPSPopup(); }));
    connect(PMGPS_Backup, &QAction::triggered, this, Guarded([this] { PMGPS_BackupClick(); }));
    connect(PMGPS_Restore, &QAction::triggered, this, Guarded([this] { PMGPS_RestoreClick(); }));
    const std::pair<QLineEdit*, void (TForm1::*)(QChar&)> keyFilters[] = {
        {EditLat1, &TForm1::EditLat1KeyPress}, {EditLat2, &TForm1::EditLat2KeyPress},
        {EditLat3, &TForm1::EditLat3KeyPress}, {EditLon1, &TForm1::EditLon1KeyPress},
        {EditLon2, &TForm1::EditLon2KeyPress}, {EditLon3, &TForm1::EditLon3KeyPress},
    };
    for (const auto& [field, keyPress] : keyFilters)
        new CharacterFilter(field, [this, keyPress](QChar& Key) { (this->*keyPress)(Key); });
    OpenPopupMenusWithShiftF10(this);
    Image1->installEventFilter(this);
}

void TForm1::FormCreate() {
    // The engine's streams and listing live in the engine; they start empty.
    Exif::ResetEngine();
    Exif::ProgramName = QStringLiteral(GEODOT_NAME).toStdU16String();
    MemoInfo->clear();
    for (QAction* a : {MM_FS, MM_FN, PMGPS_Restore, PMX_Restore})
        a->setEnabled(false);
    for (QToolButton* b : {SB_FS, SB_FN, SB_FR})
        b->setEnabled(false);
    PageControl1->setCurrentWidget(TabSheetInfo);

    ExeName = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    Version = QStringLiteral(GEODOT_VERSION_TEXT);
    Exif::ProgramVersion = Version.toStdU16String();
    setWindowTitle(ExeName + QStringLiteral("  v") + Version);

    LocationRemember.clear();
    PMGPSCount = int(PMGPS->actions().size());
    BeepFreq = 494;
    INIFile = ExeName + QStringLiteral(".ini");
    INIPath = GetPath(26);
    if (!INIPath.endsWith(u'/'))
        INIPath += u'/';
    INIPath += QStringLiteral("NORVANE/");
    ReadIni();

    // The compass: a 133 × 133 face with the arrow layer over it and the tick box below.
    const int side = 133;
    CB_Compass->adjustSize();
    PanelCompass->setFixedSize(side, CB_Compass->height() + side);
    ImageCompass->setGeometry(0, 0, side, side);
    CB_Compass->move(12, side);
    CenterX = ImageCompass->width() / 2;
    CenterY = ImageCompass->height() / 2;
    ImageArrow->setGeometry(0, 0, side, side);
    clearArrow();
    arrow = float(ImageCompass->width() / 2.0 * 0.8);
    try {
        SetCompassBG(CNo);
    } catch (const std::exception&) {
        // A number from an edited settings file that names no face: start-up goes on with the
        // default face.
        CNo = 12;
        SetCompassBG(CNo);
    }
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        // Placed now that its size is final, before it reaches the screen.
        centreOnScreen(this);
        FormShow();
    }
}

void TForm1::FormShow() {
    // The first argument names a file to open; further arguments are ignored.
    if (arguments_.size() > 1)
        FileOpen(arguments_.at(1));
}

void TForm1::FormDestroy() {
    if (destroyed_)
        return;
    destroyed_ = true;
    WriteIni();
    // The browser goes first, before the rest of the window.
    delete WebBrowser1;
    WebBrowser1 = nullptr;
    Exif::ResetEngine();
    LocationRemember.clear();
}

QString TForm1::GetPath(int nFolder) {
    // Only the per-user configuration folder is asked for.
    Q_UNUSED(nFolder);
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    // Only the first dropped file is opened.
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return;
    event->acceptProposedAction();
    if (ConfirmLeave())
        FileOpen(urls.first().toLocalFile());
}

void TForm1::FileOpen(const QString& FileName) {
    BusyCursor busy;
    const QFileInfo asked(FileName);
    OpenDialogFolder = asked.absolutePath();
    OpenDialogFileName = asked.fileName();
    MemoInfo->clear();
    Exif::ResetEngine();
    PageControl1->setCurrentWidget(TabSheetInfo);
    MemoInfo->setFocus();
    // The emptied page is painted before the work starts.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    auto disableSaving = [this] {
        for (QAction* a : {MM_FS, MM_FN})
            a->setEnabled(false);
        for (QToolButton* b : {SB_FS, SB_FN})
            b->setEnabled(false);
    };
    try {
        QSize full;
        const QImage picture = LoadPreview(FileName, TabSheetPic->size(), full);
        showPreview(picture);
        previewRefresh_->shown(FileName, picture.size(), full);
        Exif::MainWidth = full.width();
        Exif::MainHeight = full.height();
    } catch (const std::exception&) {
        Exif::ExifStrings.push_back(u"  *** Unable to load image.");
        showPreview({});
        previewRefresh_->shown({}, {}, {});
        ResetLatLonAlt();
        disableSaving();
        SoundNo = QStringLiteral("#4");
        PlaySoundNo();
    }

    setWindowTitle(ExeName + QStringLiteral("  v") + Version + QStringLiteral("  [") +
                   asked.fileName() + QStringLiteral("]"));
    ExifDetails::PrepareRegistersForOpen(DefaultLocationFor(DefPos));

    bool opened = false;
    try {
        Exif::FmStream.loadFromFile(FileName.toStdString());
        if (!Exif::AnalyzeExif())
            throw Exif::EngineError("Jpeg structure analyze error");
        ResetExif();
        LoadGPS();
        opened = true;
    } catch (const std::exception&) {
        opened = false;
    }
    if (opened) {
        for (QAction* a : {MM_FS, MM_FN})
            a->setEnabled(true);
        for (QToolButton* b : {SB_FS, SB_FN, SB_FR})
            b->setEnabled(true);
        CurrentFileName = FileName;
        knownContent_ = Exif::FmStream.sourceFingerprint().value_or(Exif::ContentFingerprint{});
        knownFile_ = FileName;
        try {
            FileDate = Exif::FileTimeOf(FileName.toStdString());
        } catch (const Exif::EngineError&) {
            // the previous time stays
        }
        GpsLogs->photoOpened();
    } else {
        Exif::ExifStrings.push_back(u"*** ERROR ***");
        ResetLatLonAlt();
        disableSaving();
        SoundNo = QStringLiteral("#4");
        PlaySoundNo();
    }
    MemoInfo->setPlainText(QString::fromStdU16String(Exif::ListingText(Exif::ExifStrings)));
    changesSaved();
}

void TForm1::showPreview(const QImage& picture) {
    preview_ = picture;
    fitPreview();
}

void TForm1::fitPreview() {
    // Stretched to the page, keeping the picture's proportions.
    if (preview_.isNull() || TabSheetPic->width() < 2) {
        Image1->setPixmap(QPixmap::fromImage(preview_));
        return;
    }
    Image1->setPixmap(QPixmap::fromImage(preview_).scaled(Image1->size(), Qt::KeepAspectRatio,
                                                           Qt::SmoothTransformation));
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Image1 && event->type() == QEvent::Resize) {
        fitPreview();
        previewRefresh_->resized(Image1->size());
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::MM_FXClick() {
    close();
}

void TForm1::MM_CCClick() {
    if (FormConfig)
        FormConfig->exec();
}

void TForm1::MM_CLClick() {
    if (FormLocations)
        FormLocations->exec();
}

QString TForm1::VersionText() const {
    return QStringLiteral("<") + ExeName + QStringLiteral(">(64bit) v") + Version;
}

void TForm1::MM_CVClick() {
    QMessageBox::information(this, ExeName, VersionText(), QMessageBox::Ok);
}

void TForm1::PlaySoundNo() {
    sounds_->play(SoundNo);
}

void TForm1::Beep() {
    sounds_->beep(BeepFreq, 200);
}
