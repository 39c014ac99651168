#pragma once
// Identification written out step by step, one filtering, one fit and one
// simulation per dead time, with the shared procedures only. It is slow and
// obviously right; the fast identification is checked against it.
#include "model/TModel.h"

namespace halvetra {

void LiteralIdentify(TModel& model, IdentificationWindow& window, int n, double ts, double tf);

}  // namespace halvetra
