#pragma once

#include <QList>

class QMenu;
class QWidget;

// Puts the items of a page's pop-up menu above the edit items of its text fields' own menus, so
// a right click, the Menu key or Shift+F10 anywhere on the page offers them. The page menu's
// aboutToShow runs first, as when it is shown on its own. A field with a character filter
// pastes through it.
void AddPageItemsToFieldMenus(QMenu* pageMenu, const QList<QWidget*>& fields);

// Shift+F10 opens the pop-up menu of the control with the focus, as the Menu key does.
void OpenPopupMenusWithShiftF10(QWidget* window);
