// The main window's controls: menu, toolbar and the four pages, each named as its handlers
// and the tests know it.

#include "Unit1.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "CompassImage.h"
#include "ElidedLabel.h"
#include "FieldDisplay.h"
#include "FieldMenus.h"
#include "Named.h"

namespace {

QAction* addItem(QMenu* menu, const char* name, const QString& caption) {
    return named(menu->addAction(caption), name);
}

QAction* addSeparator(QMenu* menu, const char* name) {
    return named(menu->addSeparator(), name);
}

QLineEdit* lineEdit(const char* name, QWidget* parent) {
    return named(new QLineEdit(parent), name);
}

QLabel* label(const QString& text, QWidget* parent, const char* name = nullptr) {
    auto* l = new QLabel(text, parent);
    if (name)
        l->setObjectName(QString::fromLatin1(name));
    return l;
}

// A box drawn with a silver frame two pixels wide, grouping fields.
QFrame* framedBox(const char* name, QWidget* parent) {
    auto* frame = named(new QFrame(parent), name);
    frame->setStyleSheet(QStringLiteral("QFrame#%1 { border: 2px solid silver; }")
                             .arg(QString::fromLatin1(name)));
    return frame;
}

} // namespace

void TForm1::buildMenu() {
    MM_F = named(menuBar()->addMenu(QStringLiteral("ファイル (&F)")), "MM_F");
    MM_FO = addItem(MM_F, "MM_FO", QStringLiteral("開く (&O)"));
    N1 = addSeparator(MM_F, "N1");
    MM_FS = addItem(MM_F, "MM_FS", QStringLiteral("上書き保存 (&S)"));
    MM_FN = addItem(MM_F, "MM_FN", QStringLiteral("名前を付けて保存 (&N)"));
    N2 = addSeparator(MM_F, "N2");
    MM_FX = addItem(MM_F, "MM_FX", QStringLiteral("終了 (&X)"));

    MM_C = named(menuBar()->addMenu(QStringLiteral("設定 (&C)")), "MM_C");
    MM_CC = addItem(MM_C, "MM_CC", QStringLiteral("設定 (&C)"));
    MM_CL = addItem(MM_C, "MM_CL", QStringLiteral("ロケーション記録の削除 (&L)"));
    N3 = addSeparator(MM_C, "N3");
    MM_CV = addItem(MM_C, "MM_CV", QStringLiteral("バージョン (&V)"));
}

void TForm1::buildToolbar() {
    Panel1 = named(new QWidget(this), "Panel1");
    Panel1->setFixedHeight(37);
    auto* row = new QHBoxLayout(Panel1);
    row->setContentsMargins(4, 2, 4, 2);
    row->setSpacing(2);
    auto button = [&](const char* name, const char* icon, const char* hint) {
        auto* b = named(new QToolButton(Panel1), name);
        b->setAutoRaise(true); // flat until the pointer is over it
        b->setIcon(QIcon(QStringLiteral(":/icons/%1.png").arg(QString::fromLatin1(icon))));
        b->setIconSize(QSize(24, 24));
        b->setToolTip(QString::fromLatin1(hint));
        return b;
    };
    SB_FO = button("SB_FO", "open", "File Open");
    SB_FR = button("SB_FR", "reload", "Reload");
    SB_FS = button("SB_FS", "save", "File Save (Overwrite)");
    SB_FN = button("SB_FN", "save-as", "File Save (New File)");
    SB_Exit = button("SB_Exit", "exit", "Exit");
    for (QToolButton* b : {SB_FO, SB_FR, SB_FS, SB_FN})
        row->addWidget(b);
    row->addStretch();
    row->addWidget(SB_Exit);
}

void TForm1::buildPages() {
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    buildToolbar();
    column->addWidget(Panel1);

    auto* pageArea = new QWidget(central);
    auto* pageMargins = new QVBoxLayout(pageArea);
    // 20 pixels from the left and 43 from the top of the client area, below the toolbar.
    pageMargins->setContentsMargins(20, 43 - 37, 20, 20);
    PageControl1 = named(new QTabWidget(pageArea), "PageControl1");
    pageMargins->addWidget(PageControl1);
    column->addWidget(pageArea, 1);

    TabSheetInfo = named(new QWidget, "TabSheetInfo");
    MemoInfo = named(new QPlainTextEdit(TabSheetInfo), "MemoInfo");
    MemoInfo->setReadOnly(true);
    MemoInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
    // One monospace font with Latin letters and Japanese alike, so the digits of a line like
    // "Exifバージョン=0210" keep their look; the system's monospace font where it is missing.
    QFont listingFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    listingFont.setFamilies({QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("IPAGothic"),
                             listingFont.family()});
    listingFont.setPointSize(10);
    MemoInfo->setFont(listingFont);
    auto* infoLayout = new QVBoxLayout(TabSheetInfo);
    infoLayout->addWidget(MemoInfo);
    PageControl1->addTab(TabSheetInfo, QStringLiteral("Exif情報"));

    TabSheetPic = named(new QWidget, "TabSheetPic");
    Image1 = named(new QLabel(TabSheetPic), "Image1");
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setMinimumSize(1, 1);
    // The picture follows the page's size, never the other way round.
    Image1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    auto* picLayout = new QVBoxLayout(TabSheetPic);
    picLayout->addWidget(Image1);
    PageControl1->addTab(TabSheetPic, QStringLiteral("イメージ"));

    TabSheetExif = buildExifPage();
    PageControl1->addTab(TabSheetExif, QStringLiteral("Exif編集"));
    TabSheetGPS = buildGpsPage();
    PageControl1->addTab(TabSheetGPS, QStringLiteral("ＧＰＳ"));

    setCentralWidget(central);
}

QWidget* TForm1::buildExifPage() {
    auto* page = named(new QWidget, "TabSheetExif");
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(16);

    Shape1 = framedBox("Shape1", page);
    auto* grid1 = new QGridLayout(Shape1);
    grid1->setContentsMargins(12, 12, 12, 12);
    struct Row {
        QLineEdit** edit;
        const char* editName;
        const char* labelName;
        QString caption;
        const char* asciiName;
    };
    const Row rows[] = {
        {&Edit010E, "Edit010E", "Label8", QStringLiteral("画像タイトル (#010E)"), "Label12"},
        {&Edit013B, "Edit013B", "Label9", QStringLiteral("アーティスト (#013B)"), "Label13"},
        {&Edit8298A, "Edit8298A", "Label10", QStringLiteral("撮影著作権者 (#8298)"), "Label14"},
        {&Edit8298B, "Edit8298B", "Label11", QStringLiteral("編集著作権者 (#8298)"), "Label15"},
    };
    int r = 0;
    for (const Row& row : rows) {
        *row.edit = lineEdit(row.editName, Shape1);
        grid1->addWidget(label(row.caption, Shape1, row.labelName), r, 0);
        grid1->addWidget(*row.edit, r, 1);
        grid1->addWidget(label(QStringLiteral("ASCII"), Shape1, row.asciiName), r, 2);
        ++r;
    }
    layout->addWidget(Shape1);

    Shape2 = framedBox("Shape2", page);
    auto* grid2 = new QGridLayout(Shape2);
    grid2->setContentsMargins(12, 12, 12, 12);
    RichEdit9286 = named(new QPlainTextEdit(Shape2), "RichEdit9286");
    RichEdit9286->setTabChangesFocus(true);
    grid2->addWidget(label(QStringLiteral("ユーザーコメント (#9286)"), Shape2, "Label16"), 0, 0,
                     Qt::AlignTop);
    grid2->addWidget(RichEdit9286, 0, 1);
    EditA430 = lineEdit("EditA430", Shape2);
    grid2->addWidget(label(QStringLiteral("カメラ所有者名 (#A430)"), Shape2, "Label18"), 1, 0);
    grid2->addWidget(EditA430, 1, 1);
    grid2->addWidget(label(QStringLiteral("ASCII"), Shape2, "Label19"), 1, 2);
    layout->addWidget(Shape2, 1);

    QWidget::setTabOrder(Edit010E, Edit013B);
    QWidget::setTabOrder(Edit013B, Edit8298A);
    QWidget::setTabOrder(Edit8298A, Edit8298B);
    QWidget::setTabOrder(Edit8298B, RichEdit9286);
    QWidget::setTabOrder(RichEdit9286, EditA430);

    PMX = named(new QMenu(page), "PMX");
    PMX_Backup = addItem(PMX, "PMX_Backup", QStringLiteral("Exifデータ待避"));
    PMX_Restore = addItem(PMX, "PMX_Restore", QStringLiteral("Exifデータ復帰"));
    PMX_Clear = addItem(PMX, "PMX_Clear", QStringLiteral("項目クリア"));
    page->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(page, &QWidget::customContextMenuRequested, this,
            [this, page](QPoint at) { PMX->popup(page->mapToGlobal(at)); });
    AddPageItemsToFieldMenus(PMX, {Edit010E, Edit013B, Edit8298A, Edit8298B, RichEdit9286, EditA430});
    return page;
}

QWidget* TForm1::buildGpsPage() {
    auto* page = named(new QWidget, "TabSheetGPS");
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(12, 8, 12, 12);

    LabelURL = named(new ElidedLabel(page), "LabelURL");
    layout->addWidget(LabelURL);

    auto* top = new QHBoxLayout;
    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(6);
    // A choice between two items; nothing typed becomes an item. Its pop-up menu is the page's.
    auto combo = [&](const char* name, const QString& first, const QString& second) {
        auto* c = named(new QComboBox(page), name);
        c->setContextMenuPolicy(Qt::NoContextMenu);
        c->addItems({first, second});
        c->setCurrentIndex(0);
        return c;
    };
    // Seconds take 15 significant digits (a position picked on the map, a default location);
    // degrees, minutes and the altitude what files hold, such as decimal degrees with six
    // places. Longer values show from their start.
    const QString degrees = QStringLiteral("000.000000"), seconds = QStringLiteral("00.0000000000000");
    auto coordinate = [&](const char* name, const QString& widest) {
        QLineEdit* e = lineEdit(name, page);
        FitWidthTo(e, widest);
        e->setText(QStringLiteral("0"));
        return e;
    };
    ComboBoxLatitude = combo("ComboBoxLatitude", QStringLiteral("北緯"), QStringLiteral("南緯"));
    EditLat1 = coordinate("EditLat1", degrees);
    EditLat2 = coordinate("EditLat2", degrees);
    EditLat3 = coordinate("EditLat3", seconds);
    ComboBoxLongitude =
        combo("ComboBoxLongitude", QStringLiteral("東経"), QStringLiteral("西経"));
    EditLon1 = coordinate("EditLon1", degrees);
    EditLon2 = coordinate("EditLon2", degrees);
    EditLon3 = coordinate("EditLon3", seconds);
    const QString units[] = {QStringLiteral("度"), QStringLiteral("分"), QStringLiteral("秒")};
    QLineEdit* const latitude[] = {EditLat1, EditLat2, EditLat3};
    QLineEdit* const longitude[] = {EditLon1, EditLon2, EditLon3};
    fields->addWidget(ComboBoxLatitude, 0, 0);
    fields->addWidget(ComboBoxLongitude, 1, 0);
    for (int i = 0; i < 3; ++i) {
        fields->addWidget(latitude[i], 0, 1 + 2 * i);
        fields->addWidget(label(units[i], page), 0, 2 + 2 * i);
        fields->addWidget(longitude[i], 1, 1 + 2 * i);
        fields->addWidget(label(units[i], page), 1, 2 + 2 * i);
    }
    ComboBoxAltitude = combo("ComboBoxAltitude", QStringLiteral("海抜基準"),
                             QStringLiteral("海抜基準(負値)"));
    EditAlt = coordinate("EditAlt", degrees);
    fields->addWidget(ComboBoxAltitude, 2, 0);
    fields->addWidget(EditAlt, 2, 1);
    fields->addWidget(label(QStringLiteral("m"), page), 2, 2);
    EditArea = lineEdit("EditArea", page);
    fields->addWidget(label(QStringLiteral("測位地点の名称"), page), 3, 0);
    fields->addWidget(EditArea, 3, 1, 1, 6);

    auto* buttons = new QHBoxLayout;
    auto button = [&](const char* name, const QString& caption, const char* icon = nullptr) {
        auto* b = named(new QPushButton(caption, page), name);
        if (icon)
            b->setIcon(QIcon(QStringLiteral(":/icons/%1.png").arg(QString::fromLatin1(icon))));
        buttons->addWidget(b);
        return b;
    };
    BitBtnUpdateGPS = button("BitBtnUpdateGPS", QStringLiteral("更新"), "update");
    BitBtnRemove = button("BitBtnRemove", QStringLiteral("消去"), "erase");
    ButtonResetLatLon = button("ButtonResetLatLon", QStringLiteral("リセット"));
    buttons->addSpacing(16);
    ButtonFindPlace = button("ButtonFindPlace", QStringLiteral("場所を表示"));
    ButtonGetPos = button("ButtonGetPos", QStringLiteral("位置取得"));
    buttons->addStretch();
    fields->addLayout(buttons, 4, 0, 1, 7);

    top->addLayout(fields);
    top->addStretch();
    top->addWidget(buildCompass(), 0, Qt::AlignTop);
    layout->addLayout(top);

    // The map fills the rest of the page, inside a light grey frame one pixel wide.
    ShapeBrowser = named(new QFrame(page), "ShapeBrowser");
    ShapeBrowser->setStyleSheet(QStringLiteral("QFrame#ShapeBrowser { border: 1px solid #c0c0c0; }"));
    auto* browserLayout = new QVBoxLayout(ShapeBrowser);
    browserLayout->setContentsMargins(1, 1, 1, 1);
    LabelMapUnavailable = named(
        new QLabel(QStringLiteral("地図を読み込めませんでした。\n\n"
                                  "インターネットへの接続を確認してください。\n"
                                  "位置の入力と保存はこのまま行えます。"),
                   ShapeBrowser),
        "LabelMapUnavailable");
    LabelMapUnavailable->setAlignment(Qt::AlignCenter);
    LabelMapUnavailable->setStyleSheet(QStringLiteral("color: #555; background: #f6f6f6;"));
    LabelMapUnavailable->hide();
    browserLayout->addWidget(LabelMapUnavailable);
    layout->addWidget(ShapeBrowser, 1);

    PMGPS = named(new QMenu(page), "PMGPS");
    PMGPS_Backup = addItem(PMGPS, "PMGPS_Backup", QStringLiteral("GPSデータ待避"));
    PMGPS_Restore = addItem(PMGPS, "PMGPS_Restore", QStringLiteral("GPSデータ復帰"));
    N4 = addSeparator(PMGPS, "N4");
    PMGPS_ArUser = addItem(PMGPS, "PMGPS_ArUser", QStringLiteral("この場所をデフォルト地にする"));
    PMGPS_Remember = addItem(PMGPS, "PMGPS_Remember", QStringLiteral("この場所を記憶する"));
    N5 = addSeparator(PMGPS, "N5");
    page->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(page, &QWidget::customContextMenuRequested, this,
            [this, page](QPoint at) { PMGPS->popup(page->mapToGlobal(at)); });
    AddPageItemsToFieldMenus(
        PMGPS, {EditLat1, EditLat2, EditLat3, EditLon1, EditLon2, EditLon3, EditAlt, EditArea});
    return page;
}

QWidget* TForm1::buildCompass() {
    PanelCompass = named(new QWidget, "PanelCompass");
    ImageCompass = named(new CompassImage(PanelCompass), "ImageCompass");
    ImageCompass->setScaledContents(true);
    ImageArrow = named(new CompassImage(PanelCompass), "ImageArrow");
    ImageArrow->setAttribute(Qt::WA_TranslucentBackground);
    CB_Compass = named(new QCheckBox(QStringLiteral("方位を有効にする"), PanelCompass),
                       "CB_Compass");
    return PanelCompass;
}
