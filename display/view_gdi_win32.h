// The display view's GDI half: the display font that ResetDISPLAYScreen makes and painting uses.
#pragma once
#include <windows.h>

extern HFONT GhDISPLAYFont;   // null until the first ResetDISPLAYScreen
