#include "model/TModel.h"

namespace halvetra {

void TModel::Identify(IdentificationWindow& window, int n, double ts, double tf) {
    (void)window; (void)n; (void)ts; (void)tf;
}

}  // namespace halvetra
