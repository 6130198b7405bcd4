#pragma once

#include <QDialog>

#include <vector>

class QListWidget;
class QPushButton;
class QSpinBox;

// The locations dialog: how many places may be remembered, and deleting remembered places.
// Deletions are recorded and applied to the window's list and menu only on Save.
class TFormLocations : public QDialog {
    Q_OBJECT

public:
    explicit TFormLocations(QWidget* parent = nullptr);

    QSpinBox* SpinEditLocationMax = nullptr;
    QListWidget* ListBoxLocations = nullptr;
    QPushButton *ButtonLocationDel = nullptr, *ButtonUpdate = nullptr, *ButtonCancel = nullptr;
    // The list positions removed since the dialog was shown, in the order of removal, each as
    // it was at the moment of its removal.
    std::vector<int> TempLocations;

    void FormShow();
    void SpinEditLocationMaxChange();
    void ButtonLocationDelClick();
    void ButtonUpdateClick();
    void ButtonCancelClick();

protected:
    void showEvent(QShowEvent* event) override;
};

inline TFormLocations* FormLocations = nullptr;
