#pragma once
// The Model page: the identified process models, their quality and the model file.
#include <QWidget>

#include "ui/PageContext.h"

class QLabel;

namespace halvetra {

class ModelPage : public QWidget {
    Q_OBJECT
public:
    ModelPage(PageContext context, QWidget* parent = nullptr);

    // The quality images, all at the same place; at most one is visible.
    QLabel* Image_Quality_Red;
    QLabel* Image_Quality_Orange;
    QLabel* Image_Quality_Yellow;
    QLabel* Image_Quality_Green;

    void hideQualityImages();

private:
    PageContext ctx_;
};

}  // namespace halvetra
