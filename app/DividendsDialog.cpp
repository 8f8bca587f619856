#include "DividendsDialog.h"

#include "Calendar.h"
#include "Dialogs.h"
#include "NumberText.h"
#include "WarrantInputs.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace kelvaro {

namespace {

QString CellText(const QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item != nullptr ? item->text().trimmed() : QString();
}

} // namespace

DividendsDialog::DividendsDialog(QWidget* parent)
    : QDialog(parent), table_(new QTableWidget(0, 2, this)) {
    setWindowTitle(QStringLiteral("Lisää osinkoja"));
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("Osinkopäivä (VVVV-KK-PP)"), QStringLiteral("Osinko")});
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table_->verticalHeader()->setVisible(true);

    auto* add = new QPushButton(QStringLiteral("Lisää rivi"), this);
    auto* remove = new QPushButton(QStringLiteral("Poista rivi"), this);
    add->setObjectName(QStringLiteral("ButtonAddDividend"));
    remove->setObjectName(QStringLiteral("ButtonRemoveDividend"));
    connect(add, &QPushButton::clicked, this, [this] { AddRow(); });
    connect(remove, &QPushButton::clicked, this, &DividendsDialog::RemoveRow);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &DividendsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &DividendsDialog::reject);

    auto* rowButtons = new QHBoxLayout;
    rowButtons->addWidget(add);
    rowButtons->addWidget(remove);
    rowButtons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(rowButtons);
    layout->addWidget(buttons);
    resize(380, 300);
}

void DividendsDialog::SetDividends(const std::vector<CDividend>& dividends) {
    dividends_ = dividends;
    table_->setRowCount(0);
    for (const CDividend& d : dividends) {
        const CivilDate date = CivilOfSerial(static_cast<int64_t>(std::floor(d.Date)));
        std::string amount;
        AppendShortest(amount, d.Amount, ',');
        AddRow(QStringLiteral("%1-%2-%3")
                   .arg(date.Year, 4, 10, QLatin1Char('0'))
                   .arg(date.Month, 2, 10, QLatin1Char('0'))
                   .arg(date.Day, 2, 10, QLatin1Char('0')),
               QString::fromStdString(amount));
    }
}

void DividendsDialog::AddRow(const QString& date, const QString& amount) {
    const int row = table_->rowCount();
    table_->insertRow(row);
    table_->setItem(row, 0, new QTableWidgetItem(date));
    auto* amountItem = new QTableWidgetItem(amount);
    amountItem->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    table_->setItem(row, 1, amountItem);
    table_->setCurrentCell(row, 0);
}

void DividendsDialog::RemoveRow() {
    const int row = table_->currentRow();
    if (row >= 0) table_->removeRow(row);
}

void DividendsDialog::accept() {
    std::vector<CDividend> read;
    for (int row = 0; row < table_->rowCount(); ++row) {
        const QString date = CellText(table_, row, 0), amount = CellText(table_, row, 1);
        if (date.isEmpty() && amount.isEmpty()) continue;
        // One row at a time, so that the message names its row.
        const QString item = date + QLatin1Char(':') + amount;
        try {
            for (const CDividend& d : ReadDividends("--dividends", item.toStdString()))
                read.push_back(d);
        } catch (const InputError&) {
            ShowMessage(QStringLiteral("Virheellinen osinko rivillä %1: \"%2\" (päivä muodossa "
                                       "VVVV-KK-PP ja osinko osaketta kohden)")
                            .arg(row + 1)
                            .arg(item));
            return;
        }
    }
    if (read.size() > kMostDividends) {
        ShowMessage(QStringLiteral("Osinkoja voi olla enintään %1.").arg(kMostDividends));
        return;
    }
    dividends_ = std::move(read);
    QDialog::accept();
}

} // namespace kelvaro
