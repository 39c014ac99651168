#include "ui/RadioItems.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>

namespace halvetra {

QButtonGroup* AddRadioItems(QGroupBox* group, const QStringList& captions, int checked, QBoxLayout* layout) {
    auto* items = new QButtonGroup(group);
    for (int i = 0; i < captions.size(); ++i) {
        auto* button = new QRadioButton(captions[i], group);
        items->addButton(button, i);
        layout->addWidget(button);
        if (i == checked) button->setChecked(true);
    }
    return items;
}

void SetItemIndex(QButtonGroup* items, int index) {
    if (QAbstractButton* button = items->button(index)) {
        button->setChecked(true);
        return;
    }
    if (QAbstractButton* checked = items->checkedButton()) {
        items->setExclusive(false);
        checked->setChecked(false);
        items->setExclusive(true);
    }
}

}  // namespace halvetra
