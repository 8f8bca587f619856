// The calculator's one window: inputs, outputs, menu and its commands.
#pragma once

#include "CalculationDocument.h"
#include "Dialogs.h"
#include "Figures.h"
#include "Grid.h"
#include "ImpliedVolatility.h"
#include "Save.h"
#include "Workload.h"

#include <QMainWindow>
#include <exception>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QProgressBar;
class QTimer;
namespace Ui {
class TForm1;
}

namespace kelvaro {
class BackgroundJob;
class FiguresWindow;
class ChartWindow;
class ScenarioWindow;
class DividendsDialog;
class WarrantListWindow;
enum class RefusedCommand;

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Copies every input into the inputs record in a fixed order, each field
    // at once: a failing conversion leaves the earlier fields updated.
    void ReadInputs();

    // The inputs as last read, valued or not.
    CGrid& Inputs() { return inputs_; }
    // The last complete valuation: what the listing, the figures, the chart
    // and the scenario table show and what Tallenna tulokset saves. Only a
    // valuation that succeeds replaces it.
    const CGrid& Grid() const { return grid_; }

    // True while a valuation, check or save runs off the window's thread.
    bool Busy() const;
    // Handles events until the running work has ended (tests, demo).
    void WaitUntilIdle();

    // Valuations estimated to take longer than this ask before they start.
    static constexpr double kAskAboveSeconds = 10.0;
    // Below this many node updates no kernel takes seconds: no estimate is
    // needed, and the speed is not measured for it.
    static constexpr double kUpdatesWorthEstimating = 1e9;

    // The window's components, under their own names.
    Ui::TForm1* ui;
    TSaveTextFileDialog SaveTextFileDialog1;
    TSaveTextFileDialog GridFileDialog;
    TSaveTextFileDialog DocumentFileDialog;

    // The form's inputs as a document: every input by name, with the share
    // and warrant prices when the volatility search is shown.
    CalculationDocument FormDocument() const;
    // Reads the document and fills the form with it, each missing input at
    // the form's default; does not calculate. A document that cannot be read
    // is refused in the error box and nothing changes. True when opened.
    bool OpenCalculation(const QString& path);
    // Saves the form's inputs as a document; a bad input or a failed save is
    // one box. True when saved.
    bool SaveCalculation(const QString& path);
    // The open document; empty for none.
    const QString& DocumentPath() const { return documentPath_; }
    // Changes since the document was opened or saved.
    bool DocumentModified() const;
    // The recent documents, the latest first.
    const QStringList& RecentDocuments() const { return recent_; }
    static constexpr int kRecentDocuments = 5;
    // Starting expiries a chosen number of days ahead ("Aloita tämän päivän
    // päivämäärillä"); 0 is off, the form's fixed dates.
    static constexpr int kStartDaysChoices[] = {0, 30, 90, 180, 365};
    int StartDaysAhead() const { return startDaysAhead_; }
    void SetStartDaysAhead(int days);
    // Reads the user's preferences (window geometry, the Näytä items, recent
    // documents, the file dialogs' folders, the start dates) and keeps them
    // from now on. A window that never calls this touches no settings.
    void UseSettings();

public slots:
    void ButtonCalculateClick();
    void Button1Click();
    void Tallennatulokset1Click();
    // Vie arvotaulukko: the grid at full precision as CSV (ProduceGridCsv).
    void ExportGridClick();
    void Poistu1Click();
    // Hae: the volatility at which the value at Osake is Warrantti, written
    // into Laskentavolatiliteetti and calculated with.
    void ButtonSolveClick();
    // Näytä menu: the hidden volatility search group and check button.
    void ShowVolatilitySearch(bool shown);
    void ShowCheckButton(bool shown);
    void OpenFigures();
    void OpenChart();
    void OpenScenarios();
    // Lisää osinkoja: the table of the dividends after the form's one, opened
    // without blocking; its OK keeps them for the next valuation.
    void ButtonDividendsClick();
    // Asetukset > Lisäsulkemiset…: checking it asks for a closures file
    // (unchecked again when cancelled or refused), unchecking drops it.
    void PickClosuresFile(bool checked);
    // The extra closures file in use; empty for none.
    const std::string& ClosuresFile() const { return closuresFile_; }
    // Asks the running work to stop; the last complete valuation stays.
    void CancelWork();
    // Tiedosto: Avaa laskelma… and Tallenna laskelma….
    void OpenCalculationClick();
    void SaveCalculationClick();
    // Warranttilista, made on first use with the list at `path`, or else
    // the list last opened or saved; Lisää listaan appends the form's inputs.
    WarrantListWindow* OpenList(const QString& path = QString());
    void AddToList();
    // The form's texts by input name, share and price always: what a
    // document holds, what tells a changed form and what a list row takes.
    InputTexts FormTexts() const;
    // Texts as FormTexts gives them (numbers with a point or a comma).
    void SetFormTexts(const InputTexts& texts);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One Laske: the share price of the figures (none without the search
    // group), whether it completed and the seconds of its two parts.
    struct ValuationRun {
        std::optional<double> share;
        bool complete = false;
        double valuationSeconds = 0, figuresSeconds = 0;
    };

    // The form's number texts in the regional separator; the date pickers'
    // formats and typing.
    void SetUpInputs();
    void ConnectCommands();
    // Off the window's thread: builds and rolls back the spare record, then
    // the figures at the run's share price; the listing once complete.
    void RunValuation(ValuationRun& run);
    // Back on the window's thread: a complete run replaces the shown
    // valuation, a cancelled one leaves it.
    void AcceptValuation(const ValuationRun& run, const std::optional<CImpliedVolatility>& solved);
    // Runs a command so that no exception reaches the event loop; a failure
    // is shown in the error box and the window stays open.
    void Guarded(const std::function<void()>& command);

    long double ReadFloat(const QLineEdit* edit, const QLabel* label) const;
    int ReadInt(const QLineEdit* edit, const QLabel* label) const;

    // Reads the inputs and checks the date range; false (with the box shown)
    // when the work cannot start, the box headed as `command` heads it.
    bool PrepareInputs(RefusedCommand command);
    // Asks before a valuation (with the figures' revaluations when
    // `withFigures`) estimated to take long; false to stop.
    bool ConfirmLongValuation(bool withFigures);
    // Refuses (EngineError) a valuation whose arrays would not fit in the
    // memory this process may use.
    void CheckMemory();
    // Runs `work` off the window's thread and `done` back on it, with the
    // controls switched to their running state meanwhile.
    // `cancellable`: Laske turns into Peruuta meanwhile.
    void StartWork(const QString& status, std::function<void()> work, std::function<void()> done,
                   bool cancellable);
    void ShowRunning(bool running, bool cancellable, const QString& status = QString());
    // Asks `dialog` for a name and has `write` save the last valuation there
    // off the window's thread; a failure is one box naming the file.
    void SaveInBackground(TSaveTextFileDialog& dialog,
                          std::function<SaveStatus(const std::string& path)> write);
    void ShowProgress();
    void ShowValuation();
    // Scrolls the listing to the node nearest the share price and marks it.
    void MarkShareInListing(double share);
    double ReadShare() const;
    void SetUpKeyboard();
    // The button's text with the count of further dividends.
    void ShowDividendCount();

    // Asks before unsaved changes to the document are dropped; true to go on.
    bool MayDropChanges();
    void TrackChanges();
    void ShowDocumentState();
    void RememberRecent(const QString& path);
    void ShowRecent();
    void ApplyStartDays();
    void SaveSettings() const;

    QString documentPath_;
    // A document's scenario settings until the scenario window opens.
    InputTexts pendingScenario_;
    InputTexts savedTexts_;   // the form as last opened or saved
    InputTexts defaultTexts_; // the form as it opens
    QStringList recent_;
    int startDaysAhead_ = 0;
    bool useSettings_ = false;
    QString documentFolder_, closuresFolder_;

    // Read inputs live apart from the shown valuation, so that a refused or
    // cancelled Laske never mixes new terms into the windows drawn from it.
    CGrid inputs_;
    // The dividends after the form's one, as the dividends table last took them.
    std::vector<CDividend> moreDividends_;
    DividendsDialog* dividendsDialog_ = nullptr;
    CGrid grid_;
    // The record the running valuation builds into; swapped with grid_ when
    // it completes, so that a cancel or a failure leaves grid_ whole.
    CGrid work_;
    QString workListing_;
    std::string closuresFile_;
    // Osake as read for the valuation (shown group only), its figures, and
    // the volatility Hae solved for the valuation after it.
    std::optional<double> share_;
    std::optional<CShareFigures> workFigures_, figures_;
    std::optional<CImpliedVolatility> solved_, solvedForNext_;
    FiguresWindow* figuresWindow_ = nullptr;
    ChartWindow* chartWindow_ = nullptr;
    ScenarioWindow* scenarioWindow_ = nullptr;
    WarrantListWindow* listWindow_ = nullptr;
    // The roll-back's speed on this machine: measured before the first
    // estimate that needs it, then taken from each valuation that completes.
    std::optional<CKernelSpeed> speed_;
    BackgroundJob* job_;
    QProgressBar* progress_;
    QTimer* progressTimer_;
};

} // namespace kelvaro
