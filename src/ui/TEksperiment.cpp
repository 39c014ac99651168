#include "ui/TEksperiment.h"

namespace halvetra {

TEksperiment::TEksperiment(QWidget* parent) : QDialog(parent) {
    setObjectName("Eksperiment");
    setWindowTitle("Eksperiment");
    resize(640, 480);
}

}  // namespace halvetra
