#include <map>

#include "host_file.h"
#include "host_plugin.h"

// ---------------------------------------------------------------- dialogs

GeDialog::~GeDialog() { ClearGadgets(); }

Bool GeDialog::CreateLayout() { return true; }

void GeDialog::ClearGadgets() {
  for (DialogGadget* g : gadgets_) delete g;
  gadgets_.clear();
}

Bool GeDialog::Build() {
  ClearGadgets();
  open_ = CreateLayout();
  return open_;
}

Bool GeDialog::Open(LONG dlgtype, LONG pluginid, LONG xpos, LONG ypos, LONG defaultw, LONG defaulth, LONG subid) {
  opens_.push_back({dlgtype, pluginid, xpos, ypos, defaultw, defaulth, subid, false});
  return Build();
}

Bool GeDialog::RestoreLayout(LONG pluginid, LONG subid, void*) {
  opens_.push_back({DLG_TYPE_ASYNC, pluginid, -1, -1, 0, 0, subid, true});
  return Build();
}

Bool GeDialog::Close() {
  open_ = false;
  return true;
}

namespace {
Bool g_html_viewer = true;
}  // namespace

void hostdialog::SetHtmlViewerAvailable(Bool available) { g_html_viewer = available; }

DialogGadget* GeDialog::AddCustomGui(LONG id, LONG pluginid, const String& name, LONG flags, LONG minw, LONG minh,
                                  const BaseContainer&) {
  if (pluginid == CUSTOMGUI_HTMLVIEWER && !g_html_viewer) return nullptr;
  DialogGadget* g = pluginid == CUSTOMGUI_HTMLVIEWER ? new HtmlViewerCustomGui : new DialogGadget;
  g->id = id;
  g->gui = pluginid;
  g->name = name;
  g->flags = flags;
  g->minw = minw;
  g->minh = minh;
  gadgets_.push_back(g);
  return g;
}

Bool CommandData::RestoreLayout(void*) { return false; }

// ---------------------------------------------------------------- counted services

namespace {
LONG g_events = 0, g_last_event = 0, g_mouse = 0, g_last_mouse = -1;
std::map<LONG, LONG>& SyncCounts() {
  static std::map<LONG, LONG> counts;
  return counts;
}
}  // namespace

void EventAdd(LONG flags) {
  ++g_events;
  g_last_event = flags;
}

Bool GeSyncMessage(LONG message, LONG) {
  ++SyncCounts()[message];
  return true;
}

namespace hostevents {
LONG EventAddCount() { return g_events; }
LONG LastEventFlags() { return g_last_event; }
LONG SyncMessageCount(LONG message) {
  auto it = SyncCounts().find(message);
  return it == SyncCounts().end() ? 0 : it->second;
}
LONG ShowMouseCount() { return g_mouse; }
LONG LastMouseMode() { return g_last_mouse; }
void RecordShowMouse(LONG mode) {
  ++g_mouse;
  g_last_mouse = mode;
}
void Reset() {
  g_events = g_last_event = g_mouse = 0;
  g_last_mouse = -1;
  SyncCounts().clear();
}
}  // namespace hostevents
