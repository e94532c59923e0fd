#include "help.h"

Bool DialogCommand::Execute(BaseDocument*) { return true; }

Bool RegisterHelpCommand() {
  auto* command = new DialogCommand;
  String name = GeLoadString(9999);
  AutoBitmap bmp{String("help.tif")};
  if (RegisterCommandPlugin(ID_VANTOHELP, name, PLUGINFLAG_HIDEPLUGINMENU, bmp, GeLoadString(9999), command))
    return true;
  // The host did not take the command: it is still ours to free.
  delete command;
  return false;
}
