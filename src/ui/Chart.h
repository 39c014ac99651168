#pragma once
// The chart every page and window draws on: a QCustomPlot with a title row
// above the axis rectangle.
#include <qcustomplot.h>

namespace halvetra {

class Chart : public QCustomPlot {
    Q_OBJECT
public:
    Chart(const QString& objectName, const QString& title, QWidget* parent = nullptr);

    void setTitle(const QString& title);
    QString title() const;

private:
    QCPTextElement* title_;
};

}  // namespace halvetra
