// "Warranttilista": a list of warrants in the batch file's format, valued on
// the batch's pool of threads off the window's thread, rows filling in as
// they finish. Share prices are edited per row or per underlying share, and a
// row opens in the main form.
#pragma once

#include "Dialogs.h"
#include "WarrantValuation.h"

#include <QWidget>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class QTimer;
class QHBoxLayout;

namespace kelvaro {

class BackgroundJob;
class TForm1;
class ListValuation;
class WarrantListModel;

class WarrantListWindow : public QWidget {
    Q_OBJECT

public:
    explicit WarrantListWindow(QWidget* parent = nullptr);
    // Stops the valuation and waits for the rows in flight.
    ~WarrantListWindow() override;

    // Reads a list in the batch format; false (with the box shown) when it
    // cannot be read. Its rows replace the list's and are valued.
    bool OpenList(const QString& path);
    // Saves the list in the batch format (kelvaro --batch reads it).
    bool SaveList(const QString& path);
    // The table with every row's results, as kelvaro --batch-format csv writes it.
    bool ExportResults(const QString& path);
    // Appends a warrant by its inputs (name and underlying among them or not).
    void AddRow(const InputTexts& texts);
    // The last list opened or saved, from the preferences; empty for none.
    static QString LastList();

    // Rows valued at once; every core unless set.
    void SetJobs(int jobs) { jobs_ = jobs; }
    bool Running() const { return list_ != nullptr; }
    // Handles events until no row is being valued (tests, demo).
    void WaitUntilIdle();
    // Keskeytä: the rows not yet valued stay so.
    void Cancel();
    // Values every row again.
    void Revalue();
    // Sets the share price of every row of the share, valuing them again;
    // false (with the box shown) when the price is refused.
    bool SetUnderlyingShare(const std::string& underlying, const QString& share);

    WarrantListModel* Model() const { return model_; }
    QSortFilterProxyModel* Proxy() const { return proxy_; }
    QTableView* Table() const { return table_; }
    QLineEdit* Filter() const { return filter_; }
    QLabel* SelectedFigures() const { return selected_; }
    QProgressBar* Progress() const { return progress_; }
    QPushButton* CancelButton() const { return cancel_; }
    // The field of each underlying share's price.
    QLineEdit* ShareField(const std::string& underlying) const;

    TSaveTextFileDialog ListFileDialog;
    TSaveTextFileDialog ExportFileDialog;

signals:
    // A row double-clicked: its inputs.
    void RowOpened(const InputTexts& texts);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void AskOpen();
    void AskSave();
    void AskExport();
    void RemoveSelected();
    // Values the rows whose inputs are newer than their figures.
    void StartQueued();
    void RowValued(uint64_t generation, uint64_t id, const std::vector<std::string>& fields,
                   const WarrantRun& run);
    void StopList();
    void ShowSelected();
    void StartSelected(int row);
    void ShowVegaRho(const WarrantRun& run);
    void RebuildShareFields();
    void ShowUnderlyingShares();
    void RememberList(const QString& path);
    void ShowTitle();

    WarrantListModel* model_;
    QSortFilterProxyModel* proxy_;
    QTableView* table_;
    QLineEdit* filter_;
    QLabel* selected_;
    QProgressBar* progress_;
    QPushButton* cancel_;
    QWidget* shares_;
    QHBoxLayout* sharesLayout_;
    std::map<std::string, QLineEdit*> shareFields_;
    QTimer* startTimer_;
    QString path_;

    int jobs_ = 0;
    // The rows being valued, handed back as each finishes; a generation
    // tells the current list's rows from those of one stopped.
    std::unique_ptr<ListValuation> list_;
    std::vector<std::string> listColumns_; // what list_ reads the rows by
    uint64_t generation_ = 0;
    int inList_ = 0, handedBack_ = 0;
    // The inputs each row was sent with.
    std::map<uint64_t, std::vector<std::string>> submitted_;

    // Vega and rho of the selected row, off the window's thread.
    BackgroundJob* selectedJob_;
    uint64_t selectedId_ = 0;
    std::vector<std::string> selectedFields_;
};

// A row's inputs into the main form, then calculated there: solved at the
// row's market price when it has one.
void ShowInForm(TForm1& form, const InputTexts& texts);

} // namespace kelvaro
