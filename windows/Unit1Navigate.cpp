// Moving through a folder: the next and the previous photo, in the order of their names.

#include "Unit1.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTabWidget>

#include "GeodotApplication.h"
#include "Named.h"
#include "PhotoFolder.h"

void TForm1::buildNavigation() {
    MM_FNext = named(new QAction(QStringLiteral("次の写真"), this), "MM_FNext");
    MM_FNext->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    MM_FPrev = named(new QAction(QStringLiteral("前の写真"), this), "MM_FPrev");
    MM_FPrev->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    MM_F->insertActions(N1, {MM_FNext, MM_FPrev});
    connect(MM_FNext, &QAction::triggered, this, Guarded([this] { MM_FNextClick(); }));
    connect(MM_FPrev, &QAction::triggered, this, Guarded([this] { MM_FPrevClick(); }));
}

void TForm1::MM_FNextClick() {
    openNeighbour(1);
}

void TForm1::MM_FPrevClick() {
    openNeighbour(-1);
}

void TForm1::openNeighbour(int step) {
    // From the photo last asked for, also when it could not be opened.
    const QString neighbour = OpenDialogFileName.isEmpty()
                                  ? QString()
                                  : NeighbourPhoto(OpenDialogFolder + u'/' + OpenDialogFileName, step);
    if (neighbour.isEmpty()) {
        QApplication::beep();
        return;
    }
    if (!ConfirmLeave())
        return;
    // Opening shows the listing; moving on keeps the page the user works on.
    QWidget* page = PageControl1->currentWidget();
    FileOpen(neighbour);
    PageControl1->setCurrentWidget(page);
}
