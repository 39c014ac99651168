#include "ui/TForm_Histogram.h"

namespace halvetra {

TForm_Histogram::TForm_Histogram(QWidget* parent) : QDialog(parent) {
    setObjectName("Form_Histogram");
    setWindowTitle("Histogram");
    setFixedSize(416, 266);
}

}  // namespace halvetra
