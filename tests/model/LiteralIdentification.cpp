#include "model/LiteralIdentification.h"
namespace halvetra {
void LiteralIdentify(TModel&, IdentificationWindow&, int, double, double) {}
}
