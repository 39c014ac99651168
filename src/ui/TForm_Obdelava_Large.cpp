#include "ui/TForm_Obdelava_Large.h"

namespace halvetra {

TForm_Obdelava_Large::TForm_Obdelava_Large(QWidget* parent) : QDialog(parent) {
    setObjectName("Form_Obdelava_Large");
    setWindowTitle("Prikaz signala");
    resize(593, 425);
}

}  // namespace halvetra
