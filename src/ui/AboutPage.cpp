#include "ui/AboutPage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

// The pictures are compiled into the window library; a static library's
// resources must be registered by hand, from outside any namespace.
static void registerResources() { Q_INIT_RESOURCE(resources); }

namespace halvetra {

AboutPage::AboutPage(QWidget* parent) : QWidget(parent) {
    registerResources();
    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setFixedSize(897, 446);
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap(QStringLiteral(":/about.jpg")));

    Label_Verzija = new QLabel(this);
    Label_Verzija->setObjectName("Label_Verzija");
    QFont big = Label_Verzija->font();
    big.setPixelSize(20);
    big.setBold(true);
    Label_Verzija->setFont(big);
    Label83 = new QLabel(this);
    Label83->setObjectName("Label83");

    auto* versionRow = new QHBoxLayout;
    versionRow->addWidget(Label_Verzija);
    versionRow->addStretch(1);
    versionRow->addWidget(new QLabel("Version:", this));
    versionRow->addWidget(Label83);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Image1, 0, Qt::AlignHCenter);
    layout->addLayout(versionRow);
    layout->addStretch(1);
}

}  // namespace halvetra
