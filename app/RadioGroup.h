// A titled group of radio buttons chosen by index, as the window's type and
// side choices need it. Items and columns are set from the form.
#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QGridLayout;

namespace kelvaro {

class RadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QStringList items READ items WRITE setItems)
    Q_PROPERTY(int columns READ columns WRITE setColumns)
    Q_PROPERTY(int itemIndex READ ItemIndex WRITE setItemIndex)

public:
    explicit RadioGroup(QWidget* parent = nullptr);

    QStringList items() const { return items_; }
    void setItems(const QStringList& items);
    int columns() const { return columns_; }
    void setColumns(int columns);

    // Index of the checked item, -1 when none is.
    int ItemIndex() const;
    void SetItemIndex(int index);
    void setItemIndex(int index) { SetItemIndex(index); } // the form's setter

private:
    void Rebuild();

    QStringList items_;
    int columns_ = 1;
    QButtonGroup* buttons_;
    QGridLayout* layout_;
};

} // namespace kelvaro
