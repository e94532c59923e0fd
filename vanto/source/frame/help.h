// The help command: shows the manual page of the selected object or tag.
#pragma once

#include "host_file.h"
#include "frame/plugin_main.h"

// The manual page for the interface language (string 9998) with the topic
// of what is selected in doc: the Kolvaris or Rotelix tag when one is the
// active tag, else the Sim or the Car when one is the active object, else
// no topic. doc may be null.
String HelpPageAddress(BaseDocument* doc);

// A non-modal dialog with the host's HTML viewer showing one manual page,
// chosen from the host's active document when the layout is built.
class HelpDialog : public GeDialog {
 public:
  ~HelpDialog() override;
  Bool CreateLayout() override;

  // Null without the host's HTML viewer.
  HtmlViewerCustomGui* Viewer() const { return viewer_; }

 private:
  HtmlViewerCustomGui* viewer_ = nullptr;  // owned by the dialog's gadgets
};

class DialogCommand : public CommandData {
 public:
  ~DialogCommand() override;
  // The page follows the host's active document, not doc.
  Bool Execute(BaseDocument* doc) override;
  Bool RestoreLayout(void* secret) override;
  HelpDialog& Dialog() { return dialog_; }

 private:
  HelpDialog dialog_;
};
