#pragma once
// One signal's window, enlarged.
#include <QDialog>

namespace halvetra {

class TForm_Obdelava_Large : public QDialog {
    Q_OBJECT
public:
    explicit TForm_Obdelava_Large(QWidget* parent = nullptr);
};

}  // namespace halvetra
