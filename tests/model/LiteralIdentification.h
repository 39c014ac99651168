#pragma once
#include "model/TModel.h"
namespace halvetra {
void LiteralIdentify(TModel& model, IdentificationWindow& window, int n, double ts, double tf);
}
