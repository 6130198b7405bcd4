#include "FieldMenus.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QShortcut>

#include "CharacterFilter.h"

namespace {

// The edit menu's Paste, named "edit-paste" as later Qt versions name it themselves.
QAction* pasteItem(QMenu* menu) {
    const QString paste = QCoreApplication::translate("QLineEdit", "&Paste");
    for (QAction* item : menu->actions()) {
        if (item->objectName() == QStringLiteral("edit-paste") ||
            item->text().section(u'\t', 0, 0) == paste) {
            item->setObjectName(QStringLiteral("edit-paste"));
            return item;
        }
    }
    return nullptr;
}

// The field's own edit menu (Undo … Select All), owned by the field.
QMenu* editMenu(QWidget* field) {
    if (auto* line = qobject_cast<QLineEdit*>(field)) {
        QMenu* menu = line->createStandardContextMenu();
        CharacterFilter* filter = CharacterFilter::of(line);
        QAction* paste = pasteItem(menu);
        if (paste && filter) {
            QObject::disconnect(paste, &QAction::triggered, nullptr, nullptr);
            QObject::connect(paste, &QAction::triggered, filter, [filter] { filter->paste(); });
        }
        return menu;
    }
    if (auto* text = qobject_cast<QPlainTextEdit*>(field))
        return text->createStandardContextMenu();
    return new QMenu(field);
}

} // namespace

void AddPageItemsToFieldMenus(QMenu* pageMenu, const QList<QWidget*>& fields) {
    for (QWidget* field : fields) {
        field->setContextMenuPolicy(Qt::CustomContextMenu);
        QObject::connect(field, &QWidget::customContextMenuRequested, pageMenu,
                         [pageMenu, field](QPoint at) {
                             QMenu* menu = editMenu(field);
                             menu->setAttribute(Qt::WA_DeleteOnClose);
                             emit pageMenu->aboutToShow();
                             QAction* firstEditItem = menu->actions().value(0);
                             menu->insertActions(firstEditItem, pageMenu->actions());
                             menu->insertSeparator(firstEditItem);
                             // A scroll area reports the position in its viewport.
                             auto* area = qobject_cast<QAbstractScrollArea*>(field);
                             menu->popup((area ? area->viewport() : field)->mapToGlobal(at));
                         });
    }
}

void OpenPopupMenusWithShiftF10(QWidget* window) {
    auto* shortcut = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), window);
    QObject::connect(shortcut, &QShortcut::activated, window, [] {
        QWidget* target = QApplication::focusWidget();
        if (!target)
            return;
        // Where the Menu key opens it: at the text cursor, or the middle of the control.
        const QPoint at = target->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
        QContextMenuEvent event(QContextMenuEvent::Keyboard, at, target->mapToGlobal(at));
        QCoreApplication::sendEvent(target, &event);
    });
}
