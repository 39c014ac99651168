#pragma once
// The settings of the automatic experiment that the Experiment page does not show.
#include <QDialog>

namespace halvetra {

class TForm_SamodNastav : public QDialog {
    Q_OBJECT
public:
    explicit TForm_SamodNastav(QWidget* parent = nullptr);
};

}  // namespace halvetra
