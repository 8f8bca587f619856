// The scenario table ("Skenaariot"): the warrant's value at share prices
// (rows) on trading days (columns), with copy and CSV save.
#pragma once

#include "Dialogs.h"
#include "Grid.h"
#include "Scenario.h"
#include "WarrantInputs.h"

#include <QWidget>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QTableWidget;

namespace kelvaro {

class ScenarioWindow : public QWidget {
    Q_OBJECT

public:
    explicit ScenarioWindow(QWidget* parent = nullptr);
    ~ScenarioWindow() override;

    // Shows a rolled-back grid; call again after every calculation. The
    // first grid, and every grid until the user edits the rows or ticks a
    // date, gets the default rows (9 prices from -20 % to +20 % of `share`,
    // or of the strike without it) and date columns; after that the user's
    // prices, cell mode and ticked dates stay, and a ticked date the new grid
    // does not trade is dropped with a note. The grid is kept by reference for
    // later edits and must stay alive and unchanged until the next SetGrid.
    void SetGrid(const CGrid& grid, std::optional<double> share);

    // Recomputes from the first/last/step fields and the ticked dates; a bad
    // field is named in the error box and the table is left as it was.
    void Apply();
    // The shown table to the clipboard, tab-separated.
    void CopyToClipboard();
    // Asks for a file name and saves the CSV (';' between fields with a
    // decimal comma); a failure is shown in the error box.
    void SaveCsv();

    // The user's rows and cell mode as a calculation document keeps them:
    // "first", "last", "step" (numbers with a point) once the user has set
    // rows, "cell" ("value", "change", "percent"); empty for the defaults.
    InputTexts Settings() const;
    // A document's settings, taken as the user's own: typed rows are kept by
    // the next grid (and applied to the shown one).
    void SetSettings(const InputTexts& settings);

    const ScenarioTable& Table() const { return table_; }
    ScenarioCell Cell() const;
    QString CsvText() const;
    QString ClipboardText() const;

    QLineEdit *EditFirst, *EditLast, *EditStep;
    QListWidget* DateList;
    QComboBox* CellChoice;
    QTableWidget* TableView;
    // Says which ticked dates the last grid dropped; hidden when none.
    QLabel* Note;

private:
    void Fill();
    // The ticked days of `grid` for the dates ticked in the list, which
    // belonged to the previous grid; those it does not trade go to `dropped`.
    std::vector<int32_t> KeptDays(const CGrid& grid, QStringList& dropped) const;

    const CGrid* grid_ = nullptr;
    double reference_ = 0;
    // Set once the user edits a price field or ticks a date: from then on a
    // new grid keeps the user's choices instead of the defaults.
    bool custom_ = false;
    // The rows last computed from the user's fields.
    std::vector<double> prices_;
    ScenarioTable table_;
    TSaveTextFileDialog saveDialog_;
};

} // namespace kelvaro
