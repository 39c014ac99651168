#pragma once
// The Controller page: tuning rules, simulation and the controller's parameters.
#include <QWidget>

#include "ui/PageContext.h"

namespace halvetra {

class ControllerPage : public QWidget {
    Q_OBJECT
public:
    ControllerPage(PageContext context, QWidget* parent = nullptr) : QWidget(parent), ctx_(std::move(context)) {}

private:
    PageContext ctx_;
};

}  // namespace halvetra
