#pragma once
// The Report page: the report document of a tuning.
#include <QWidget>

#include "ui/PageContext.h"

namespace halvetra {

class ReportPage : public QWidget {
    Q_OBJECT
public:
    ReportPage(PageContext context, QWidget* parent = nullptr) : QWidget(parent), ctx_(std::move(context)) {}

    // The report's content: "Measured data", "Process model", "Controller".
    // Held here until the page shows them as its check boxes; an automatic
    // experiment copies them from its settings window.
    struct Content {
        bool MeasuredData = true;
        bool ProcessModel = true;
        bool Controller = true;
    };
    Content ReportContent;

private:
    PageContext ctx_;
};

}  // namespace halvetra
