#include "view/darklook.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

QPalette DarkLook::palette()
{
    const QColor window(52, 52, 56);
    const QColor base(36, 36, 40);
    const QColor text(225, 225, 225);
    const QColor disabledText(140, 140, 140);

    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(46, 46, 50));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(66, 66, 70));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(255, 110, 110));
    p.setColor(QPalette::Highlight, QColor(38, 96, 150));
    p.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
    p.setColor(QPalette::ToolTipBase, QColor(30, 30, 30));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(160, 160, 160));
    p.setColor(QPalette::Link, QColor(120, 180, 255));
    p.setColor(QPalette::LinkVisited, QColor(190, 150, 255));
    p.setColor(QPalette::Light, QColor(90, 90, 95));
    p.setColor(QPalette::Midlight, QColor(75, 75, 80));
    p.setColor(QPalette::Mid, QColor(48, 48, 52));
    p.setColor(QPalette::Dark, QColor(28, 28, 30));
    p.setColor(QPalette::Shadow, QColor(10, 10, 10));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabledText);
    return p;
}

void DarkLook::apply(QApplication *app)
{
    if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);
    app->setPalette(palette());
}
