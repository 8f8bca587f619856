// "Tunnusluvut": the warrant's figures at the share price of the last
// valuation, and the implied volatility when one was solved.
#pragma once

#include "Figures.h"
#include "ImpliedVolatility.h"

#include <QWidget>
#include <optional>

class QLabel;
class QTableWidget;

namespace kelvaro {

class FiguresWindow : public QWidget {
    Q_OBJECT

public:
    explicit FiguresWindow(QWidget* parent = nullptr);

    // Shows the figures with the regional separator; `solved` adds its row.
    void SetFigures(const CShareFigures& figures, const std::optional<CImpliedVolatility>& solved);
    // Before any valuation at a share price.
    void Clear(const QString& why);

    QTableWidget* Table() const { return table_; }

private:
    QLabel* heading_;
    QTableWidget* table_;
    QLabel* notes_;
};

} // namespace kelvaro
