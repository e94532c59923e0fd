// The help command: shows the manual page of the selected object or tag.
#pragma once

#include "main.h"

class DialogCommand : public CommandData {
 public:
  Bool Execute(BaseDocument* doc) override;
};
