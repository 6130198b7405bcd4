#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

// The configuration dialog: the engine's options, the map address and tiles, the default location and
// which backed-up values a restore brings back. It changes values in memory only; they reach
// the settings file when the program ends.
class TFormConfig : public QDialog {
    Q_OBJECT

public:
    explicit TFormConfig(QWidget* parent = nullptr);

    QCheckBox *CB_Ambiguous = nullptr, *CB_Essential = nullptr, *CB_AfterEOI = nullptr,
              *CB_Timestamp = nullptr;
    QComboBox *ComboBoxTranscodeTo = nullptr, *ComboBoxTranscodeFm = nullptr,
              *ComboBoxLocation = nullptr;
    // The map page's address template: the known ones to choose from, or any typed.
    QComboBox* EditOSMURL = nullptr;
    // The built-in map page's tile server and the credit it asks for.
    QLineEdit *EditTileURL = nullptr, *EditTileAttribution = nullptr;
    QCheckBox *CB_Bak010E = nullptr, *CB_Bak013B = nullptr, *CB_Bak8298 = nullptr,
              *CB_Bak9286 = nullptr, *CB_BakA430 = nullptr;
    QCheckBox *CB_BakLatLon = nullptr, *CB_BakAlt = nullptr, *CB_BakArea = nullptr,
              *CB_BakCompass = nullptr;
    QPushButton *ButtonCancel = nullptr, *ButtonUpdate = nullptr;

    void FormShow();
    void ButtonUpdateClick();
    void ButtonCancelClick();
    void CB_AmbiguousClick();

protected:
    void showEvent(QShowEvent* event) override;
};

inline TFormConfig* FormConfig = nullptr;
