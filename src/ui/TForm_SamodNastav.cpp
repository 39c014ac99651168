#include "ui/TForm_SamodNastav.h"

namespace halvetra {

TForm_SamodNastav::TForm_SamodNastav(QWidget* parent) : QDialog(parent) {
    setObjectName("Form_SamodNastav");
    setWindowTitle("Additional settings for automatic experiment");
    resize(480, 360);
}

}  // namespace halvetra
