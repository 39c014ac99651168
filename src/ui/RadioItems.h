#pragma once
// Radio groups by item index, as the pages and the settings file address them.
#include <QStringList>

class QBoxLayout;
class QButtonGroup;
class QGroupBox;

namespace halvetra {

// One radio button per caption in `group`, added to `layout`, with item ids
// 0, 1, ...; item `checked` is checked (none when it names no item).
QButtonGroup* AddRadioItems(QGroupBox* group, const QStringList& captions, int checked, QBoxLayout* layout);

// Checks item `index`; an index that names no item checks none.
void SetItemIndex(QButtonGroup* items, int index);

}  // namespace halvetra
