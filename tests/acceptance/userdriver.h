#pragma once

#include <QAbstractButton>
#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSpinBox>
#include <QTest>
#include <QWidget>

// What a user does with the mouse and keyboard, on widgets found by their object names.
namespace UserDriver {

template <typename T> T *child(const QObject *parent, const QString &objectName)
{
    return parent ? parent->findChild<T *>(objectName) : nullptr;
}

// A click on a button that is there and enabled; false otherwise, as a user would find it.
inline bool click(const QObject *parent, const QString &objectName)
{
    auto *button = child<QAbstractButton>(parent, objectName);
    if (!button || !button->isEnabled())
        return false;
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    return true;
}

inline void replaceText(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

inline void typeNumber(QAbstractSpinBox *spin, const QString &text)
{
    spin->setFocus();
    spin->selectAll();
    QTest::keyClicks(spin, text);
    QTest::keyClick(spin, Qt::Key_Tab);
}

// Clicks the entry of a shown pop-up menu; false when the menu is not open or the entry is
// missing or disabled.
inline bool chooseFromMenu(QMenu *menu, QAction *action)
{
    if (!menu || !action || !menu->isVisible() || !action->isEnabled())
        return false;
    const QRect rect = menu->actionGeometry(action);
    if (!rect.isValid())
        return false;
    QTest::mouseMove(menu, rect.center());
    QTest::mouseClick(menu, Qt::LeftButton, {}, rect.center());
    return true;
}

inline QAction *menuEntry(const QMenu *menu, const QString &text)
{
    if (!menu)
        return nullptr;
    const QList<QAction *> actions = menu->actions();
    for (QAction *action : actions) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

// Opens the main window's "Project" menu with its button and clicks one of its entries.
inline bool chooseProjectMenuEntry(QWidget *window, const QString &actionName)
{
    if (!click(window, QStringLiteral("command_project")))
        return false;
    auto *menu = child<QMenu>(window, QStringLiteral("projectMenu"));
    if (!menu || !QTest::qWaitFor([menu] { return menu->isVisible(); }, 2000))
        return false;
    return chooseFromMenu(menu, child<QAction>(window, actionName));
}

// Selects exactly the entries whose tool tip (the logger id) is listed.
inline int selectByToolTip(QListWidget *list, const QStringList &ids)
{
    list->clearSelection();
    int selected = 0;
    for (int row = 0; row < list->count(); ++row) {
        QListWidgetItem *item = list->item(row);
        if (ids.contains(item->toolTip())) {
            item->setSelected(true);
            ++selected;
        }
    }
    return selected;
}

inline QStringList toolTips(const QListWidget *list)
{
    QStringList result;
    for (int row = 0; list && row < list->count(); ++row)
        result.append(list->item(row)->toolTip());
    return result;
}

inline void doubleClickItem(QListWidget *list, QListWidgetItem *item)
{
    const QPoint at = list->visualItemRect(item).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

} // namespace UserDriver
