#pragma once
// The histogram of one signal's window.
#include <QDialog>

namespace halvetra {

class TForm_Histogram : public QDialog {
    Q_OBJECT
public:
    explicit TForm_Histogram(QWidget* parent = nullptr);
};

}  // namespace halvetra
