#pragma once

#include <QDialog>

// The locations dialog: how many places may be remembered, and deleting remembered places.
class TFormLocations : public QDialog {
    Q_OBJECT

public:
    explicit TFormLocations(QWidget* parent = nullptr);
};

inline TFormLocations* FormLocations = nullptr;
