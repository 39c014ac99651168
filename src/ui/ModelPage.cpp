#include "ui/ModelPage.h"

#include <QLabel>
#include <QStackedLayout>

namespace halvetra {

ModelPage::ModelPage(PageContext context, QWidget* parent) : QWidget(parent), ctx_(std::move(context)) {
    auto* images = new QWidget(this);
    images->setGeometry(8, 8, 41, 41);
    auto image = [images](const char* name) {
        auto* label = new QLabel(images);
        label->setObjectName(name);
        label->setGeometry(0, 0, 41, 41);
        return label;
    };
    Image_Quality_Red = image("Image_Quality_Red");
    Image_Quality_Orange = image("Image_Quality_Orange");
    Image_Quality_Yellow = image("Image_Quality_Yellow");
    Image_Quality_Green = image("Image_Quality_Green");
}

void ModelPage::hideQualityImages() {
    for (QLabel* image : {Image_Quality_Red, Image_Quality_Orange, Image_Quality_Yellow, Image_Quality_Green})
        image->hide();
}

}  // namespace halvetra
