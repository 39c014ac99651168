#pragma once
// The experiment window: runs one experiment on the plant or the built-in process simulation, modally.
#include <QDialog>

namespace halvetra {

class TEksperiment : public QDialog {
    Q_OBJECT
public:
    explicit TEksperiment(QWidget* parent = nullptr);
};

}  // namespace halvetra
