#pragma once
// The Report page: the report document of a tuning.
#include <QWidget>

#include "ui/PageContext.h"

namespace halvetra {

class ReportPage : public QWidget {
    Q_OBJECT
public:
    ReportPage(PageContext context, QWidget* parent = nullptr) : QWidget(parent), ctx_(std::move(context)) {}

private:
    PageContext ctx_;
};

}  // namespace halvetra
