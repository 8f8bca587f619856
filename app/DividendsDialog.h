// "Lisää osinkoja": the dividends after the form's one, as a small table of
// ex-dates and amounts, read by the same reader as kelvaro's --dividends.
#pragma once

#include "Grid.h"

#include <QDialog>

#include <vector>

class QTableWidget;

namespace kelvaro {

class DividendsDialog : public QDialog {
    Q_OBJECT

public:
    explicit DividendsDialog(QWidget* parent = nullptr);

    // The rows shown, one per dividend (dates as YYYY-MM-DD).
    void SetDividends(const std::vector<CDividend>& dividends);
    // The dividends of the last accepted table.
    const std::vector<CDividend>& Dividends() const { return dividends_; }

    QTableWidget* Table() const { return table_; }
    void AddRow(const QString& date = QString(), const QString& amount = QString());
    void RemoveRow();

    // Reads the rows (blank ones skipped); a bad row is named in a message
    // box and the dialog stays open.
    void accept() override;

private:
    QTableWidget* table_;
    std::vector<CDividend> dividends_;
};

} // namespace kelvaro
