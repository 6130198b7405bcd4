#pragma once

#include <QDialog>

// The configuration dialog: the engine's options, the map address, the default location and
// which backed-up values a restore brings back.
class TFormConfig : public QDialog {
    Q_OBJECT

public:
    explicit TFormConfig(QWidget* parent = nullptr);
};

inline TFormConfig* FormConfig = nullptr;
