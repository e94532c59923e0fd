#include "carbake_hooks.h"

void WriteBakeKeys(BaseDocument*, BaseObject*, BaseObject*, CarState&, LONG) {}
void ThinBakeKeys(BaseDocument*, BaseObject*, CarState&) {}
void ClearRecordedAnimation(BaseDocument*, BaseObject*, CarState&) {}
