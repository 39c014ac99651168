#pragma once
// The OPC page: server connection and the plant items of the loop's signals.
#include <QWidget>

#include "ui/PageContext.h"

namespace halvetra {

class OpcPage : public QWidget {
    Q_OBJECT
public:
    OpcPage(PageContext context, QWidget* parent = nullptr) : QWidget(parent), ctx_(std::move(context)) {}

private:
    PageContext ctx_;
};

}  // namespace halvetra
