#include "RadioGroup.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

namespace kelvaro {

RadioGroup::RadioGroup(QWidget* parent)
    : QGroupBox(parent), buttons_(new QButtonGroup(this)), layout_(new QGridLayout(this)) {
    buttons_->setExclusive(true);
    layout_->setContentsMargins(6, 4, 6, 4);
    layout_->setSpacing(2);
}

void RadioGroup::setItems(const QStringList& items) {
    items_ = items;
    Rebuild();
}

void RadioGroup::setColumns(int columns) {
    columns_ = columns < 1 ? 1 : columns;
    Rebuild();
}

int RadioGroup::ItemIndex() const {
    return buttons_->checkedId();
}

void RadioGroup::SetItemIndex(int index) {
    if (QAbstractButton* button = buttons_->button(index)) {
        button->setChecked(true);
    }
}

void RadioGroup::Rebuild() {
    const int checked = ItemIndex();
    for (QAbstractButton* button : buttons_->buttons()) {
        buttons_->removeButton(button);
        delete button;
    }
    // Items run down the columns, the first column filled first.
    const int count = static_cast<int>(items_.size());
    const int rows = (count + columns_ - 1) / columns_;
    for (int i = 0; i < count; ++i) {
        auto* button = new QRadioButton(items_[i], this);
        button->setObjectName(objectName() + QString::number(i));
        buttons_->addButton(button, i);
        layout_->addWidget(button, rows > 0 ? i % rows : 0, rows > 0 ? i / rows : 0);
    }
    setFocusProxy(buttons_->button(0));
    SetItemIndex(checked);
}

} // namespace kelvaro
