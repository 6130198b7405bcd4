#pragma once

// The main window: toolbar, menu and the four pages (information listing, preview picture,
// Exif text fields, GPS position with compass and map). It owns the settings read at start and
// written at exit, and reports each action's success or failure with a sound cue.

#include <QImage>
#include <QJsonArray>
#include <QMainWindow>
#include <QPoint>
#include <QStringList>

#include <cstdint>

#include "ExifDetails.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QToolButton;
class QWidget;
class QWebEngineView;
class SoundCues;
class CompassImage;
class MapSchemeHandler;
class PreviewRefresh;
class GpsLogTools;

// Map page addresses: %1 latitude, %2 longitude (signed decimal degrees), %3 zoom level. The
// built-in page by default; the public web map is the other known choice.
inline constexpr char kDefaultMapTemplate[] = "geodot://map/#mlat=%1&mlon=%2&zoom=%3";
inline constexpr char kWebMapTemplate[] = "https://www.openstreetmap.org/?mlat=%1&mlon=%2&zoom=%3";
// Where the built-in page's tiles come from ({z}, {x}, {y}), and the credit shown with them.
inline constexpr char kDefaultTileTemplate[] = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";
inline constexpr char kDefaultTileAttribution[] = "© OpenStreetMap contributors";

// Expands a template: "%%" is a literal "%", the first "%1" … "%n" takes the n-th text.
QString FormatStr(const QString& FMTSTR, const QStringList& ParamArray);

// The user's own default location (latitude sign, degrees, minutes, seconds, longitude sign,
// degrees, minutes, seconds), kept in the settings file.
inline ExifDetails::Location ArrayUser{};

// The default location a key names: "Sapporo", "Sendai", "Tokyo", "Kyoto", "Honolulu", "Paris"
// (fixed places), "User" (ArrayUser), anything else 0° 0′ 0″ north and east. Letter case counts.
ExifDetails::Location DefaultLocationFor(const QString& key);

// The name of a remembered place ("name=fields", "=" in the name stored as a tab), as its menu
// item shows it; empty when the entry has no "=".
QString LocationName(const QString& entry);

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    // `arguments` are the command line's (the program name first); the first file named is
    // opened when the window is first shown.
    explicit TForm1(QStringList arguments = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // --- Controls, named as the handlers and tests know them ---------------------------------
    QWidget* Panel1 = nullptr;
    QToolButton *SB_FO = nullptr, *SB_FR = nullptr, *SB_FS = nullptr, *SB_FN = nullptr,
                *SB_Exit = nullptr;
    QMenu *MM_F = nullptr, *MM_C = nullptr;
    QAction *MM_FO = nullptr, *N1 = nullptr, *MM_FS = nullptr, *MM_FN = nullptr, *N2 = nullptr,
            *MM_FX = nullptr, *MM_CC = nullptr, *MM_CL = nullptr, *N3 = nullptr,
            *MM_CV = nullptr;
    // ファイル menu: the next and the previous photo of the folder.
    QAction *MM_FNext = nullptr, *MM_FPrev = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget *TabSheetInfo = nullptr, *TabSheetPic = nullptr, *TabSheetExif = nullptr,
            *TabSheetGPS = nullptr;
    QPlainTextEdit* MemoInfo = nullptr;
    QLabel* Image1 = nullptr;

    // Exif page.
    QLineEdit *Edit010E = nullptr, *Edit013B = nullptr, *Edit8298A = nullptr,
              *Edit8298B = nullptr, *EditA430 = nullptr;
    QPlainTextEdit* RichEdit9286 = nullptr;
    QFrame *Shape1 = nullptr, *Shape2 = nullptr;
    QMenu* PMX = nullptr;
    QAction *PMX_Backup = nullptr, *PMX_Restore = nullptr, *PMX_Clear = nullptr;

    // GPS page.
    QLabel* LabelURL = nullptr;
    QComboBox *ComboBoxLatitude = nullptr, *ComboBoxLongitude = nullptr,
              *ComboBoxAltitude = nullptr;
    QLineEdit *EditLat1 = nullptr, *EditLat2 = nullptr, *EditLat3 = nullptr,
              *EditLon1 = nullptr, *EditLon2 = nullptr, *EditLon3 = nullptr,
              *EditAlt = nullptr, *EditArea = nullptr;
    QPushButton *BitBtnUpdateGPS = nullptr, *BitBtnRemove = nullptr,
                *ButtonResetLatLon = nullptr, *ButtonFindPlace = nullptr,
                *ButtonGetPos = nullptr;
    QFrame* ShapeBrowser = nullptr;
    // The map; made once the window has been painted, so start-up does not wait for it.
    QWebEngineView* WebBrowser1 = nullptr;
    // Shown in the map's place when the map page cannot be reached.
    QLabel* LabelMapUnavailable = nullptr;
    QMenu* PMGPS = nullptr;
    QAction *PMGPS_Backup = nullptr, *PMGPS_Restore = nullptr, *N4 = nullptr,
            *PMGPS_ArUser = nullptr, *PMGPS_Remember = nullptr, *N5 = nullptr;
    // The position through the clipboard.
    QAction *PMGPS_Paste = nullptr, *PMGPS_Copy = nullptr, *N6 = nullptr;
    QWidget* PanelCompass = nullptr;
    CompassImage *ImageCompass = nullptr, *ImageArrow = nullptr;
    QCheckBox* CB_Compass = nullptr;
    // Positions from GPS logs: the file menu's items and the status bar's label.
    GpsLogTools* GpsLogs = nullptr;

    // --- State ----------------------------------------------------------------------------------
    QString SoundNo;
    QString Bak010E, Bak013B, Bak8298A, Bak8298B, Bak9286, BakA430;
    std::int8_t Bak01 = 0, Bak03 = 0, Bak05 = 0;
    QString Bak02A, Bak02B, Bak02C, Bak04A, Bak04B, Bak04C, Bak06;
    QString Bak1C;
    std::int8_t Bak10 = 0;
    double Bak11 = 0;
    QString INIPath, INIFile, ExeName;
    std::int32_t CenterX = 0, CenterY = 0;
    float arrow = 0;
    std::uint8_t CNo = 12;
    double FileDate = 0;
    QString Version;
    QString OSM;
    QString TileURL, TileAttribution;
    bool Flag010E = true, Flag013B = true, Flag8298 = true, Flag9286 = true, FlagA430 = true;
    bool Flag01 = true, Flag05 = true, Flag10 = false, Flag1C = true;
    QString DefPos;
    QStringList LocationRemember;
    std::uint8_t LocationMax = 5;
    std::int32_t PMGPSCount = 0;
    std::int32_t BeepFreq = 494;
    bool TimestampOriginal = false;

    // The current file: the target of overwrite-saving and of reloading.
    QString CurrentFileName;
    // Where the open dialog starts: the last file asked to open, successful or not.
    QString OpenDialogFolder, OpenDialogFileName;

    // --- Operations -----------------------------------------------------------------------------
    void ReadIni();
    void WriteIni();
    void FileOpen(const QString& FileName);
    void FileSave(const QString& FileName);
    void SetCompassBG(std::uint8_t number);
    void SetArrow(float angle);
    // Plays the clip named by SoundNo ("#1" … "#4").
    void PlaySoundNo();
    // The confirmation tone: BeepFreq hertz for 200 ms; returns when it has ended.
    void Beep();
    // The text of the version box.
    QString VersionText() const;
    // Folder of the user's application data (folder number 26: the per-user configuration).
    static QString GetPath(int nFolder);

    // --- Handlers -------------------------------------------------------------------------------
    void FormCreate();
    void FormShow();
    void FormDestroy();
    void PMGPSLocationClick(QObject* Sender);
    void PMGPS_RememberClick();
    void PMGPS_ArUserClick();
    void PMGPSPopup();
    void MM_FOClick();
    void MM_FSClick();
    void MM_FNClick();
    void SB_FRClick();
    void MM_FXClick();
    void MM_CCClick();
    void MM_CLClick();
    void MM_CVClick();
    void ResetExif();
    void UpdateExifStrings();
    void PMX_BackupClick();
    void PMX_RestoreClick();
    void PMX_ClearClick();
    void ResetLatLonAlt();
    void LoadGPS();
    void ButtonResetLatLonClick();
    // Key filters of the coordinate fields: Key becomes 0 when the character is refused.
    void EditLat1KeyPress(QChar& Key);
    void EditLat2KeyPress(QChar& Key);
    void EditLat3KeyPress(QChar& Key);
    void EditLon1KeyPress(QChar& Key);
    void EditLon2KeyPress(QChar& Key);
    void EditLon3KeyPress(QChar& Key);
    void BitBtnUpdateGPSClick();
    void BitBtnRemoveClick();
    void PMGPS_BackupClick();
    void PMGPS_RestoreClick();
    void DisplayMap(int Zoom, int NS, int EW, double Lat1, double Lat2, double Lat3, double Lon1,
                    double Lon2, double Lon3);
    void ButtonFindPlaceClick();
    void ButtonGetPosClick();
    // The GPS log's track on the built-in map, as lines of [lat, lon] pairs (none when empty);
    // drawn again whenever the page is loaded anew.
    void setMapTrack(const QJsonArray& lines);
    // Brings the whole track into the map's view, now or once the page has loaded.
    void fitMapToTrack();
    void ImageCompassMouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void CB_CompassClick();
    void ImageArrowDblClick();
    void MM_FNextClick();
    void MM_FPrevClick();
    void PMGPS_PasteClick();
    void PMGPS_CopyClick();

    // True when a position applied or Exif texts edited have not been saved.
    bool HasUnsavedChanges() const;
    // Before the photo is left: without unsaved changes true at once; else asks 保存 /
    // 保存しない / キャンセル and is true when the changes were saved or given up.
    bool ConfirmLeave();

protected:
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenu();
    void buildToolbar();
    void buildPages();
    QWidget* buildExifPage();
    QWidget* buildGpsPage();
    QWidget* buildCompass();
    void connectHandlers();
    void addLocationMenuItem(const QString& caption, int tag);
    void clearArrow();
    void showPreview(const QImage& picture);
    void fitPreview();
    void prepareMapSurface();
    void createBrowser();
    void showMapPage(const QUrl& address);
    // Calls geodot.<function>(arguments…) on the built-in page, when it is the one shown.
    void callMapPage(const char* function, const QJsonArray& arguments);
    void showDirectionOnMap();
    void showTrackOnMap();
    void showDirection(bool on, double angle);
    void drawArrowTo(QPoint end);
    void buildNavigation();
    void buildPositionClipboard();
    void openNeighbour(int step);
    void watchChanges();
    QStringList exifTexts() const;
    // The file as opened or saved is what the fields now hold.
    void changesSaved();
    void positionApplied();
    void showUnsavedMark();

    // The file as it was when opened or last saved here: saving over it is refused when
    // another program has changed its content or removed it meanwhile.
    QString knownFile_;
    Exif::ContentFingerprint knownContent_;
    // The picture of the open file, as decoded; shown scaled to the preview page.
    QImage preview_;
    PreviewRefresh* previewRefresh_ = nullptr;
    // The arrow layer's drawing surface; white shows as transparent over the face.
    QImage arrowLayer_;
    // The address the map should show; kept until the browser exists.
    QString mapAddress_;
    MapSchemeHandler* mapScheme_ = nullptr;
    // The last page asked for could not be loaded.
    bool mapLoadFailed_ = false;
    // The page asked for has loaded (and can be called).
    bool mapLoaded_ = false;
    QJsonArray mapTrack_;
    bool fitTrackOnLoad_ = false;
    bool painted_ = false;
    QStringList arguments_;
    bool shown_ = false;
    bool destroyed_ = false;
    SoundCues* sounds_ = nullptr;
    // Unsaved changes: a position applied, and the Exif texts as last opened or saved.
    bool positionApplied_ = false;
    QStringList savedTexts_;
};

inline TForm1* Form1 = nullptr;
