// Window creation and teardown of the display view, the same in every front end: the view and grid reset, the font made, the link opened, and at the end the link closed and the font let go.
#include "display/screen.h"
#include "display/view.h"
#include "link/connection.h"
#include "settings/globals.h"
#include "settings/options.h"
#include "settings/preset.h"
#include "transfer/filesend.h"
#include "transfer/record.h"

int32_t CreateDISPLAYInfo(WindowHandle hwnd) {
  InitDISPLAYView();
  DeleteDISPLAYFont();
  GrgbFGColor = 0;
  CompleteDISPLAYFontDesc();
  InitDISPLAYGrid();
  ResetDISPLAYScreen(hwnd);
  // A damaged preset read at start-up says so on the fresh screen.
  if (PresetDamageText()[0]) WriteDISPLAYStatus(PresetDamageText());
  if (OptionsLoadNote()[0]) WriteDISPLAYStatus(OptionsLoadNote());
  // The file dialogs are prepared only for a link that opened.
  if (openConnection()) {
    SendFileInit();
    RecFileInit();
  }
  return 1;
}

int32_t DestroyDISPLAYInfo() {
  if (gfConnected) closeConnection();
  DeleteDISPLAYFont();
  return 1;
}
