#include "ui/Chart.h"

namespace halvetra {

Chart::Chart(const QString& objectName, const QString& title, QWidget* parent) : QCustomPlot(parent) {
    setObjectName(objectName);
    plotLayout()->insertRow(0);
    QFont font(QStringLiteral("Comic Sans MS"));
    font.setPixelSize(16);
    title_ = new QCPTextElement(this, title, font);
    plotLayout()->addElement(0, 0, title_);
    legend->setVisible(false);
    setInteractions({});
}

void Chart::setTitle(const QString& title) { title_->setText(title); }

QString Chart::title() const { return title_->text(); }

}  // namespace halvetra
