#pragma once

#include <QAbstractButton>
#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSpinBox>
#include <QTest>

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

inline void typeInto(QWidget *field, const QString &text)
{
    field->setFocus();
    if (auto *edit = qobject_cast<QLineEdit *>(field))
        edit->selectAll();
    else
        static_cast<QAbstractSpinBox *>(field)->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Tab);
}

// Clicks the entry of a shown pop-up menu; false when the menu is not open or the entry is
// missing or disabled.
inline bool chooseFromMenu(QMenu *menu, QAction *action)
{
    if (!menu || !QTest::qWaitFor([menu] { return menu->isVisible(); }, 2000) || !action ||
        !action->isEnabled() || !menu->actionGeometry(action).isValid())
        return false;
    QTest::mouseMove(menu, menu->actionGeometry(action).center());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    return true;
}

inline bool chooseProjectMenuEntry(QWidget *window, const QString &actionName)
{
    return click(window, QStringLiteral("command_project")) &&
           chooseFromMenu(child<QMenu>(window, QStringLiteral("projectMenu")),
                          child<QAction>(window, actionName));
}

inline int selectByToolTip(QListWidget *list, const QStringList &ids)
{
    for (int row = 0; row < list->count(); ++row)
        list->item(row)->setSelected(ids.contains(list->item(row)->toolTip()));
    return int(list->selectedItems().size());
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
