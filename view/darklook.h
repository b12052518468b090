#pragma once

class QApplication;
class QPalette;

// The program's dark look for everything the forms do not colour themselves: message boxes,
// file dialogs, drop-down lists, tab captions and the pages behind the panels' lists. Every
// text colour here reads at 4.5:1 or better against the background it is drawn on.
namespace DarkLook {
QPalette palette();
// Sets the Fusion style (the one style that draws with the palette everywhere) and the palette.
void apply(QApplication *app);
} // namespace DarkLook
