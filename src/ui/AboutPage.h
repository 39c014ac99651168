#pragma once
// The About page: the program's picture and version.
#include <QWidget>

class QLabel;

namespace halvetra {

class AboutPage : public QWidget {
    Q_OBJECT
public:
    explicit AboutPage(QWidget* parent = nullptr);

    QLabel* Image1;         // the picture, 897 x 446
    QLabel* Label_Verzija;  // the window caption
    QLabel* Label83;        // the version number
};

}  // namespace halvetra
