#include "frame/help.h"

#include <new>

namespace {

enum : LONG { kViewerGadget = 1001 };
enum : LONG { kHelpWidth = 1024, kHelpHeight = 768, kViewerMinWidth = 900, kViewerMinHeight = 200 };

const char* TopicQuery(BaseDocument* doc) {
  if (!doc) return "";
  if (BaseTag* tag = doc->GetActiveTag()) {
    // Another plug-in's tag says nothing about the page: the object decides.
    if (tag->GetType() == ID_KOLVARIS) return "?c=kv";
    if (tag->GetType() == ID_ROTELIX) return "?c=rx";
  }
  if (BaseObject* op = doc->GetActiveObject()) {
    if (op->GetType() == ID_SIM) return "?c=sim";
    if (op->GetType() == ID_CAR) return "?c=car";
  }
  return "";
}

}  // namespace

String HelpPageAddress(BaseDocument* doc) {
  String language = GeLoadString(9998);
  // Without a language string there is no page "index_.html"; the English
  // one is always shipped.
  if (language.empty()) language = String("en");
  const Filename page = GeGetPluginPath() + Filename("manual") + Filename("pages") + Filename("index_");
  return page.GetString() + language + ".html" + TopicQuery(doc);
}

HelpDialog::~HelpDialog() = default;

Bool HelpDialog::CreateLayout() {
  // A rebuilt layout has new gadgets; the old viewer is gone with them.
  viewer_ = nullptr;
  DialogGadget* gadget = AddCustomGui(kViewerGadget, CUSTOMGUI_HTMLVIEWER, String("Viewer"), BFH_SCALEFIT | BFV_SCALEFIT,
                                   kViewerMinWidth, kViewerMinHeight, BaseContainer());
  // Without the host's HTML viewer the dialog stays empty.
  viewer_ = dynamic_cast<HtmlViewerCustomGui*>(gadget);
  // The selection the user sees is the active document's; a layout the host
  // restores has no other document at hand.
  if (viewer_) viewer_->SetUrl(HelpPageAddress(GetActiveDocument()), 0);
  return true;
}

DialogCommand::~DialogCommand() = default;

Bool DialogCommand::Execute(BaseDocument*) {
  return dialog_.Open(DLG_TYPE_ASYNC, ID_VANTOHELP, -1, -1, kHelpWidth, kHelpHeight, 0);
}

Bool DialogCommand::RestoreLayout(void* secret) { return dialog_.RestoreLayout(ID_VANTOHELP, 0, secret); }

Bool RegisterHelpCommand() {
  auto* command = new (std::nothrow) DialogCommand;
  if (!command) return false;
  String name = GeLoadString(9999);
  AutoBitmap bmp{String("help.tif")};
  if (RegisterCommandPlugin(ID_VANTOHELP, name, PLUGINFLAG_HIDEPLUGINMENU, bmp, GeLoadString(9999), command))
    return true;
  // The host did not take the command: it is still ours to free.
  delete command;
  return false;
}
