#include "UnitConfig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "Exif.h"
#include "FieldDisplay.h"
#include "GeodotApplication.h"
#include "Unit1.h"
#include "Named.h"

namespace {

// The default-location list: item index ↔ key. Item 0 stands for every key not listed.
const char* const kLocationKeys[] = {"", "Sapporo", "Sendai", "Tokyo", "Kyoto", "Honolulu",
                                     "Paris", "User"};

// A list whose text may also be typed; a typed text is a value, never a new item.
QComboBox* editableList(QWidget* parent, const char* name, const QStringList& items) {
    auto* box = named(new QComboBox(parent), name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(items);
    return box;
}

} // namespace

TFormConfig::TFormConfig(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormConfig"));
    setWindowTitle(QStringLiteral("Configuration"));
    auto* layout = new QVBoxLayout(this);

    CB_Ambiguous = named(new QCheckBox(QStringLiteral(
                             "ASCII項目へのマルチバイト文字の書き込みを許可する (仕様違反)"), this),
                         "CB_Ambiguous");
    layout->addWidget(CB_Ambiguous);
    auto* codes = new QGridLayout;
    ComboBoxTranscodeTo =
        editableList(this, "ComboBoxTranscodeTo", {"JIS", "UNICODE", "UTF8", "SJIS"});
    ComboBoxTranscodeFm = editableList(this, "ComboBoxTranscodeFm", {"JIS", "UTF8", "SJIS", "EUC"});
    auto* label1 = named(new QLabel(QStringLiteral("出力時のマルチバイト文字"), this), "Label1");
    auto* label2 = named(new QLabel(QStringLiteral("読込時のマルチバイト文字"), this), "Label2");
    auto* label3 = named(
        new QLabel(QStringLiteral("(ASCII項目にマルチバイト文字が書かれていたときの見なしコード)"), this),
        "Label3");
    label3->setWordWrap(true);
    codes->addWidget(label1, 0, 0);
    codes->addWidget(ComboBoxTranscodeTo, 0, 1);
    codes->addWidget(label2, 1, 0);
    codes->addWidget(ComboBoxTranscodeFm, 1, 1);
    codes->addWidget(label3, 2, 0, 1, 2);
    layout->addLayout(codes);

    CB_Essential = named(new QCheckBox(QStringLiteral("Exifを新規作成するとき、必須タグを出力する"), this),
                         "CB_Essential");
    CB_AfterEOI = named(new QCheckBox(QStringLiteral("EOI以降を出力する"), this), "CB_AfterEOI");
    CB_Timestamp = named(new QCheckBox(QStringLiteral("タイムスタンプをExifから取得"), this),
                         "CB_Timestamp");
    for (QCheckBox* box : {CB_Essential, CB_AfterEOI, CB_Timestamp})
        layout->addWidget(box);

    layout->addWidget(named(new QLabel(QStringLiteral("Open Street Map のURL"), this), "Label4"));
    EditOSMURL = named(new QComboBox(this), "EditOSMURL");
    EditOSMURL->setEditable(true);
    EditOSMURL->setInsertPolicy(QComboBox::NoInsert); // a typed address is a value, not an item
    EditOSMURL->addItems({QString::fromLatin1(kDefaultMapTemplate),
                          QString::fromLatin1(kWebMapTemplate)});
    layout->addWidget(EditOSMURL);
    layout->addWidget(
        named(new QLabel(QStringLiteral("(%1=緯度、%2=経度、%3=ズーム)"), this), "Label5"));
    auto* tiles = new QGridLayout;
    EditTileURL = named(new QLineEdit(this), "EditTileURL");
    EditTileAttribution = named(new QLineEdit(this), "EditTileAttribution");
    tiles->addWidget(named(new QLabel(QStringLiteral("地図画像のURL"), this), "LabelTileURL"), 0, 0);
    tiles->addWidget(EditTileURL, 0, 1);
    tiles->addWidget(named(new QLabel(QStringLiteral("({z}=ズーム、{x}・{y}=画像の位置)"), this),
                           "LabelTileURLNote"),
                     1, 1);
    tiles->addWidget(
        named(new QLabel(QStringLiteral("地図の著作権表示"), this), "LabelTileAttribution"), 2, 0);
    tiles->addWidget(EditTileAttribution, 2, 1);
    layout->addLayout(tiles);

    auto* place = new QHBoxLayout;
    place->addWidget(named(new QLabel(QStringLiteral("デフォルトの地図ロケーション"), this), "Label6"));
    // A choice among the places it lists, nothing typed.
    ComboBoxLocation = named(new QComboBox(this), "ComboBoxLocation");
    ComboBoxLocation->addItems(
        {QStringLiteral("(なし)"), QStringLiteral("札幌"), QStringLiteral("仙台"),
         QStringLiteral("東京"), QStringLiteral("京都"), QStringLiteral("ホノルル、ハワイ"),
         QStringLiteral("パリ、フランス"), QStringLiteral("ユーザー定義")});
    place->addWidget(ComboBoxLocation, 1);
    layout->addLayout(place);

    auto* groups = new QHBoxLayout;
    auto* group1 = named(new QGroupBox(QStringLiteral("Exif 待避可能項目"), this), "GroupBox1");
    auto* column1 = new QVBoxLayout(group1);
    CB_Bak010E = named(new QCheckBox(QStringLiteral("画像タイトル"), group1), "CB_Bak010E");
    CB_Bak013B = named(new QCheckBox(QStringLiteral("アーティスト"), group1), "CB_Bak013B");
    CB_Bak8298 = named(new QCheckBox(QStringLiteral("著作権者"), group1), "CB_Bak8298");
    CB_Bak9286 = named(new QCheckBox(QStringLiteral("ユーザーコメント"), group1), "CB_Bak9286");
    CB_BakA430 = named(new QCheckBox(QStringLiteral("カメラ所有者名"), group1), "CB_BakA430");
    for (QCheckBox* box : {CB_Bak010E, CB_Bak013B, CB_Bak8298, CB_Bak9286, CB_BakA430})
        column1->addWidget(box);
    auto* group2 = named(new QGroupBox(QStringLiteral("GPS 待避可能項目"), this), "GroupBox2");
    auto* column2 = new QVBoxLayout(group2);
    CB_BakLatLon = named(new QCheckBox(QStringLiteral("緯度・経度"), group2), "CB_BakLatLon");
    CB_BakAlt = named(new QCheckBox(QStringLiteral("高度"), group2), "CB_BakAlt");
    CB_BakArea = named(new QCheckBox(QStringLiteral("測位地点の名称"), group2), "CB_BakArea");
    CB_BakCompass = named(new QCheckBox(QStringLiteral("方位"), group2), "CB_BakCompass");
    for (QCheckBox* box : {CB_BakLatLon, CB_BakAlt, CB_BakArea, CB_BakCompass})
        column2->addWidget(box);
    column2->addStretch();
    groups->addWidget(group1);
    groups->addWidget(group2);
    layout->addLayout(groups);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    ButtonCancel = named(new QPushButton(QStringLiteral("キャンセル"), this), "ButtonCancel");
    ButtonUpdate = named(new QPushButton(QStringLiteral("保存"), this), "ButtonUpdate");
    ButtonUpdate->setDefault(true); // Enter; Escape and the close box cancel
    buttons->addWidget(ButtonCancel);
    buttons->addWidget(ButtonUpdate);
    layout->addLayout(buttons);

    // 466 × 520 as designed, and taller by what the rows of the map tiles need.
    setFixedSize(466, std::max(520, sizeHint().height()));

    for (QCheckBox* box : {CB_Ambiguous, CB_Essential, CB_AfterEOI, CB_Timestamp})
        connect(box, &QCheckBox::toggled, this, Guarded([this] { CB_AmbiguousClick(); }));
    connect(ButtonUpdate, &QPushButton::clicked, this, Guarded([this] { ButtonUpdateClick(); }));
    connect(ButtonCancel, &QPushButton::clicked, this, Guarded([this] { ButtonCancelClick(); }));
    ShowValuesFromTheirStart(this);
}

void TFormConfig::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TFormConfig::FormShow() {
    // Every value anew at each showing: edits abandoned with Cancel never come back.
    CB_Ambiguous->setChecked(Exif::Ambiguous);
    ComboBoxTranscodeFm->setEnabled(CB_Ambiguous->isChecked());
    ComboBoxTranscodeTo->setEditText(QString::fromStdString(Exif::TranscodeTo));
    ComboBoxTranscodeFm->setEditText(QString::fromStdString(Exif::TranscodeFm));
    CB_Essential->setChecked(Exif::Essential);
    CB_AfterEOI->setChecked(Exif::AfterEOI);
    CB_Timestamp->setChecked(Form1->TimestampOriginal);
    EditOSMURL->setEditText(Form1->OSM);
    EditTileURL->setText(Form1->TileURL);
    EditTileAttribution->setText(Form1->TileAttribution);
    CB_Bak010E->setChecked(Form1->Flag010E);
    CB_Bak013B->setChecked(Form1->Flag013B);
    CB_Bak8298->setChecked(Form1->Flag8298);
    CB_Bak9286->setChecked(Form1->Flag9286);
    CB_BakA430->setChecked(Form1->FlagA430);
    CB_BakLatLon->setChecked(Form1->Flag01);
    CB_BakAlt->setChecked(Form1->Flag05);
    CB_BakArea->setChecked(Form1->Flag1C);
    CB_BakCompass->setChecked(Form1->Flag10);
    int item = 0;
    for (int i = 1; i < int(std::size(kLocationKeys)); ++i)
        if (Form1->DefPos == QLatin1String(kLocationKeys[i]))
            item = i;
    ComboBoxLocation->setCurrentIndex(item);
}

void TFormConfig::CB_AmbiguousClick() {
    ComboBoxTranscodeFm->setEnabled(CB_Ambiguous->isChecked());
}

void TFormConfig::ButtonUpdateClick() {
    Exif::Ambiguous = CB_Ambiguous->isChecked();
    Exif::TranscodeTo = ComboBoxTranscodeTo->currentText().toStdString();
    Exif::TranscodeFm = ComboBoxTranscodeFm->currentText().toStdString();
    Exif::Essential = CB_Essential->isChecked();
    Exif::AfterEOI = CB_AfterEOI->isChecked();
    Form1->TimestampOriginal = CB_Timestamp->isChecked();
    Form1->OSM = EditOSMURL->currentText();
    Form1->TileURL = EditTileURL->text();
    Form1->TileAttribution = EditTileAttribution->text();
    Form1->Flag010E = CB_Bak010E->isChecked();
    Form1->Flag013B = CB_Bak013B->isChecked();
    Form1->Flag8298 = CB_Bak8298->isChecked();
    Form1->Flag9286 = CB_Bak9286->isChecked();
    Form1->FlagA430 = CB_BakA430->isChecked();
    Form1->Flag01 = CB_BakLatLon->isChecked();
    Form1->Flag05 = CB_BakAlt->isChecked();
    Form1->Flag1C = CB_BakArea->isChecked();
    Form1->Flag10 = CB_BakCompass->isChecked();
    // No selection, or an item the table does not know, counts as none.
    const int item = ComboBoxLocation->currentIndex();
    const bool listed = item >= 0 && item < int(std::size(kLocationKeys));
    Form1->DefPos = listed ? QString::fromLatin1(kLocationKeys[item]) : QString();
    accept();
}

void TFormConfig::ButtonCancelClick() {
    reject();
}
