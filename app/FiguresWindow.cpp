#include "FiguresWindow.h"

#include "Conversions.h"
#include "FloatFormat.h"
#include "PeopleText.h"
#include "ShareOutput.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kelvaro {

FiguresWindow::FiguresWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), heading_(new QLabel(this)), table_(new QTableWidget(0, 3, this)),
      notes_(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Tunnusluvut"));
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("Tunnusluku"), QStringLiteral("Arvo"), QStringLiteral("Yksikkö")});
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setAccessibleName(windowTitle());
    notes_->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addWidget(table_);
    layout->addWidget(notes_);
    resize(480, 560);
    Clear(QStringLiteral("Näytä Volatiliteettihaku ja laske: tunnusluvut lasketaan "
                         "Osake-kentän hinnalla."));
}

void FiguresWindow::Clear(const QString& why) {
    heading_->setText(why);
    table_->setRowCount(0);
    notes_->clear();
}

void FiguresWindow::SetFigures(const CShareFigures& figures,
                               const std::optional<CImpliedVolatility>& solved) {
    const char separator = DecimalSeparator();
    const auto text = [](const std::string& s) { return QString::fromUtf8(s); };
    heading_->setText(QStringLiteral("Osakkeen hinnalla %1")
                          .arg(QString::fromLatin1(FloatToStrF(
                              figures.Share, TFloatFormat::ffGeneral, 6, 3, separator))));
    std::vector<FigureRow> rows;
    if (solved)
        rows.push_back({"Implisiittinen volatiliteetti", VolatilityPercentText(*solved, separator),
                        "% (" + Counted(solved->Valuations, "arvostus", "arvostusta") + ")"});
    for (FigureRow& row : FigureRows(figures, separator)) rows.push_back(std::move(row));
    table_->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        table_->setItem(r, 0, new QTableWidgetItem(text(rows[r].Name)));
        auto* value = new QTableWidgetItem(text(rows[r].Value));
        value->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table_->setItem(r, 1, value);
        table_->setItem(r, 2, new QTableWidgetItem(text(rows[r].Unit)));
    }
    table_->resizeColumnsToContents();
    QStringList notes;
    if (figures.KnockedOut)
        notes << QStringLiteral("Knock-out: hinta on knock-out-tasolla tai sen takana.");
    if (figures.Unreliable)
        notes << QStringLiteral("Huom.: tunnusluvut ovat epävarmoja, hinta on solmun päässä "
                                "knock-out-tasosta tai stop-loss-alueesta.");
    if (figures.OffLattice) notes << QStringLiteral("Hinta on hilan hinta-alueen ulkopuolella.");
    notes_->setText(notes.join(QLatin1Char('\n')));
}

} // namespace kelvaro
