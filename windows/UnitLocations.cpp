#include "UnitLocations.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "GeodotApplication.h"
#include "Unit1.h"
#include "Named.h"

namespace {

} // namespace

TFormLocations::TFormLocations(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormLocations"));
    setWindowTitle(QStringLiteral("Locations"));
    resize(297, 318);
    auto* layout = new QVBoxLayout(this);
    auto* limit = new QHBoxLayout;
    limit->addWidget(
        named(new QLabel(QStringLiteral("ロケーション記録最大数(0～15)"), this), "Label1"));
    SpinEditLocationMax = named(new QSpinBox(this), "SpinEditLocationMax");
    SpinEditLocationMax->setRange(0, 15);
    limit->addWidget(SpinEditLocationMax);
    layout->addLayout(limit);
    ListBoxLocations = named(new QListWidget(this), "ListBoxLocations");
    ListBoxLocations->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(ListBoxLocations, 1);
    auto* buttons = new QHBoxLayout;
    ButtonLocationDel = named(new QPushButton(QStringLiteral("削除"), this), "ButtonLocationDel");
    ButtonCancel = named(new QPushButton(QStringLiteral("キャンセル"), this), "ButtonCancel");
    ButtonUpdate = named(new QPushButton(QStringLiteral("保存"), this), "ButtonUpdate");
    ButtonUpdate->setDefault(true);
    buttons->addWidget(ButtonLocationDel);
    buttons->addStretch();
    buttons->addWidget(ButtonCancel);
    buttons->addWidget(ButtonUpdate);
    layout->addLayout(buttons);

    connect(SpinEditLocationMax, &QSpinBox::valueChanged, this,
            Guarded([this] { SpinEditLocationMaxChange(); }));
    connect(ButtonLocationDel, &QPushButton::clicked, this,
            Guarded([this] { ButtonLocationDelClick(); }));
    connect(ButtonUpdate, &QPushButton::clicked, this, Guarded([this] { ButtonUpdateClick(); }));
    connect(ButtonCancel, &QPushButton::clicked, this, Guarded([this] { ButtonCancelClick(); }));
    // Escape and the close box: the recorded removals are forgotten.
    connect(this, &QDialog::rejected, this, [this] { TempLocations.clear(); });
}

void TFormLocations::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TFormLocations::FormShow() {
    // A limit above 15 from an edited settings file becomes 15 here, and so at once.
    SpinEditLocationMax->setValue(Form1->LocationMax);
    if (SpinEditLocationMax->value() != Form1->LocationMax)
        SpinEditLocationMaxChange();
    ListBoxLocations->clear();
    for (const QString& entry : Form1->LocationRemember)
        ListBoxLocations->addItem(LocationName(entry));
    TempLocations.clear();
}

void TFormLocations::SpinEditLocationMaxChange() {
    Form1->LocationMax = std::uint8_t(SpinEditLocationMax->value());
}

void TFormLocations::ButtonLocationDelClick() {
    for (int i = ListBoxLocations->count() - 1; i >= 0; --i) {
        if (ListBoxLocations->item(i)->isSelected()) {
            delete ListBoxLocations->takeItem(i);
            TempLocations.push_back(i);
        }
    }
}

void TFormLocations::ButtonUpdateClick() {
    // Replayed in the order they were made, the removals delete exactly the places whose names
    // left the list.
    for (int p : TempLocations) {
        if (p < 0 || p >= Form1->LocationRemember.size())
            continue;
        Form1->LocationRemember.removeAt(p);
        if (QAction* item = Form1->PMGPS->actions().value(Form1->PMGPSCount + p)) {
            Form1->PMGPS->removeAction(item);
            delete item;
        }
    }
    // Each remaining item recalls the place whose name it shows.
    const QList<QAction*> items = Form1->PMGPS->actions();
    for (qsizetype i = Form1->PMGPSCount; i < items.size(); ++i)
        items[i]->setData(int(i - Form1->PMGPSCount + 1));
    TempLocations.clear();
    accept();
}

void TFormLocations::ButtonCancelClick() {
    TempLocations.clear();
    reject();
}
