#pragma once

#include <QLatin1String>
#include <QString>
#include <QWidget>

// Style sheets of a value frame: the tiles and the detail view colour a channel by its state.
namespace TileStyle {

inline constexpr const char *normal =
    "background-color: qlineargradient(spread:pad, x1:0.372222, y1:0.46, x2:1, y2:1, stop:0 "
    "rgba(24, 68, 76, 255), stop:1 rgba(43, 132, 130, 255));";

inline constexpr const char *alarm =
    "background-color: qlineargradient(spread:pad, x1:0.372222, y1:0.46, x2:1, y2:1, stop:0 "
    "rgba(145, 27, 66, 255), stop:1 rgba(181, 69, 96, 255));";

// No value yet, or the device is disconnected.
inline constexpr const char *grey =
    "background-color: qlineargradient(spread:pad, x1:0.372222, y1:0.46, x2:1, y2:1, stop:0 "
    "rgba(80, 80, 80, 255), stop:1 rgba(125, 125, 125, 255));";

// The device answered before and has stopped answering: an alarm of its own, unlike the grey
// of a device that never answered.
inline constexpr const char *noCommunication =
    "background-color: qlineargradient(spread:pad, x1:0.372222, y1:0.46, x2:1, y2:1, stop:0 "
    "rgba(120, 72, 0, 255), stop:1 rgba(196, 122, 20, 255));";

// Setting a style sheet repolishes the widget and all its children even when the text is the
// one it already has. Values arrive every second for every logger, so an unchanged style is
// left alone.
inline void apply(QWidget *widget, const QString &style)
{
    if (widget->styleSheet() != style)
        widget->setStyleSheet(style);
}

inline void apply(QWidget *widget, const char *style)
{
    apply(widget, QString(QLatin1String(style)));
}

} // namespace TileStyle
