#include "Kelvarounit1.h"

#include "BackgroundJob.h"
#include "CalculationDocument.h"
#include "ChartWindow.h"
#include "Closures.h"
#include "Conversions.h"
#include "DateTyping.h"
#include "Dates.h"
#include "DividendsDialog.h"
#include "FiguresWindow.h"
#include "FloatFormat.h"
#include "GridCsv.h"
#include "InputScaling.h"
#include "Listing.h"
#include "Memory.h"
#include "MemoryCheck.h"
#include "NumberText.h"
#include "PeopleText.h"
#include "QtBridge.h"
#include "Refusals.h"
#include "ResultsFile.h"
#include "ScenarioWindow.h"
#include "ShareOutput.h"
#include "Verdict.h"
#include "WarrantInputs.h"
#include "WarrantListWindow.h"
#include "ui_Kelvarounit1.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLocale>
#include <QProgressBar>
#include <QRadioButton>
#include <QSettings>
#include <QShortcut>
#include <QStatusBar>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <cmath>
#include <new>
#include <utility>

namespace kelvaro {

namespace {

// A number field that does not hold a number, with the field's label.
class FieldError : public std::runtime_error {
public:
    explicit FieldError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& Message() const { return message_; }

private:
    QString message_;
};

// Date and time of day as the picker holds them, whatever its time zone setting.
double PickerSerial(const QDateTimeEdit* picker) {
    return DateTimeToSerial(QDateTime(picker->date(), picker->time()));
}

QString GeneralText(double value) {
    return QString::fromLatin1(
        FloatToStrF(value, TFloatFormat::ffGeneral, 4, 3, DecimalSeparator()));
}

// The locale's short date format, but never with a two-digit year: "06"
// would be read back as 1906.
QString ShortDateFormat() {
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

} // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent), ui(new Ui::TForm1),
      SaveTextFileDialog1(
          this, {QStringLiteral("Tulostiedosto (*.txt)"), QStringLiteral("Kaikki tiedostot (*)")}),
      GridFileDialog(
          this, {QStringLiteral("CSV-tiedosto (*.csv)"), QStringLiteral("Kaikki tiedostot (*)")}),
      DocumentFileDialog(
          this, {QStringLiteral("Laskelma (*.kelvaro)"), QStringLiteral("Kaikki tiedostot (*)")}),
      job_(new BackgroundJob(this)), progress_(new QProgressBar(this)),
      progressTimer_(new QTimer(this)) {
    ui->setupUi(this);

    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPixelSize(11);
    ui->Memo1->setFont(fixed);

    SetUpInputs();

    // Laske stays where it is whether or not the check button is shown.
    QSizePolicy policy = ui->Button1->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    ui->Button1->setSizePolicy(policy);

    ConnectCommands();

    // Today's date at the form's time of day, 10:00.
    ui->DateNow->setDate(SerialToDateTime(Today()).date());

    // Progress of work off the window's thread, read from the job a few
    // times a second rather than signalled per day.
    progress_->setMaximumWidth(200);
    progress_->hide();
    statusBar()->addPermanentWidget(progress_);
    progressTimer_->setInterval(100);
    connect(progressTimer_, &QTimer::timeout, this, &TForm1::ShowProgress);

    SetUpKeyboard();

    resize(564, 539 + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    move(0, 0);

    defaultTexts_ = savedTexts_ = FormTexts();
    TrackChanges();
    ShowRecent();
}

TForm1::~TForm1() {
    // The job's thread reads and writes the records: it ends first.
    job_->RequestStop();
    job_->Wait();
    delete ui;
}

void TForm1::SetUpInputs() {
    // The form holds its texts with a decimal comma; they follow the regional
    // separator so that the defaults can always be calculated.
    const QChar separator = QChar::fromLatin1(DecimalSeparator());
    for (QLineEdit* edit :
         {ui->EditStrike, ui->EditMultiplier, ui->EditSGMarg, ui->EditDivid, ui->EditPriceMin,
          ui->EditPriceMax, ui->EditPriceSteps, ui->EditTimeSteps, ui->EditVolat, ui->EditRate,
          ui->EditXOpen, ui->EditWeekEnd, ui->EditShare, ui->EditWarrant})
        edit->setText(edit->text().replace(QLatin1Char(','), separator));

    // A new format drops the time of day the pickers carry; it stays 18:20.
    for (QDateEdit* picker : {ui->DateExpiry, ui->DateDivid}) {
        const QTime time = picker->time();
        picker->setDisplayFormat(ShortDateFormat());
        picker->setTime(time);
    }
    for (QDateTimeEdit* picker :
         std::initializer_list<QDateTimeEdit*>{ui->DateNow, ui->DateExpiry, ui->DateDivid})
        DateTyping::Install(picker);
}

void TForm1::ConnectCommands() {
    connect(ui->ButtonCalculate, &QPushButton::clicked, this, &TForm1::ButtonCalculateClick);
    connect(ui->Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(ui->allennatulokset1, &QAction::triggered, this, &TForm1::Tallennatulokset1Click);
    connect(ui->Viearvotaulukko1, &QAction::triggered, this, &TForm1::ExportGridClick);
    connect(ui->Poistu1, &QAction::triggered, this, &TForm1::Poistu1Click);
    connect(ui->ButtonSolve, &QPushButton::clicked, this, &TForm1::ButtonSolveClick);
    connect(ui->ButtonDividends, &QToolButton::clicked, this, &TForm1::ButtonDividendsClick);
    connect(ui->Volatiliteettihaku1, &QAction::toggled, this, &TForm1::ShowVolatilitySearch);
    connect(ui->Tarkastaparametrit1, &QAction::toggled, this, &TForm1::ShowCheckButton);
    connect(ui->Tunnusluvut1, &QAction::triggered, this, &TForm1::OpenFigures);
    connect(ui->Arvokayra1, &QAction::triggered, this, &TForm1::OpenChart);
    connect(ui->Skenaariot1, &QAction::triggered, this, &TForm1::OpenScenarios);
    connect(ui->Lisasulkemiset1, &QAction::triggered, this, &TForm1::PickClosuresFile);
    connect(ui->Avaalaskelma1, &QAction::triggered, this, &TForm1::OpenCalculationClick);
    connect(ui->Tallennalaskelma1, &QAction::triggered, this, &TForm1::SaveCalculationClick);
    ui->Aloitapaivamaarilla1->setToolTipsVisible(true);
    ui->Aloitapaivamaarilla1->menuAction()->setToolTip(
        QStringLiteral("Ikkuna avautuu ilman laskelmaa tämän päivän laskentahetkellä ja "
                       "päättymispäivällä valitun ajan päästä (arkipäivä)"));
    auto* startDays = new QActionGroup(this);
    const QString startTexts[] = {
        QStringLiteral("&Ei: kiinteät oletuspäivät"),
        QStringLiteral("&Kuukauden päästä (30 päivää)"),
        QStringLiteral("K&olmen kuukauden päästä (90 päivää)"),
        QStringLiteral("&Puolen vuoden päästä (180 päivää)"),
        QStringLiteral("&Vuoden päästä (365 päivää)"),
    };
    for (std::size_t i = 0; i < std::size(kStartDaysChoices); ++i) {
        QAction* action = ui->Aloitapaivamaarilla1->addAction(startTexts[i]);
        action->setCheckable(true);
        action->setChecked(kStartDaysChoices[i] == 0);
        action->setData(kStartDaysChoices[i]);
        startDays->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, days = kStartDaysChoices[i]] { SetStartDaysAhead(days); });
    }
    connect(ui->Warranttilista1, &QAction::triggered, this, [this] { OpenList(); });
    connect(ui->Lisaalistaan1, &QAction::triggered, this, &TForm1::AddToList);
}

void TForm1::SetUpKeyboard() {
    // Each label names its input, for screen readers and the label's own
    // mnemonic.
    const std::pair<QLabel*, QWidget*> buddies[] = {
        {ui->Label1, ui->DateNow},       {ui->Label2, ui->DateExpiry},
        {ui->Label3, ui->EditStrike},    {ui->Label13, ui->EditMultiplier},
        {ui->Label12, ui->EditSGMarg},   {ui->Label16, ui->DateDivid},
        {ui->Label17, ui->EditDivid},    {ui->Label4, ui->EditPriceMin},
        {ui->Label5, ui->EditPriceMax},  {ui->Label6, ui->EditPriceSteps},
        {ui->Label7, ui->EditTimeSteps}, {ui->Label8, ui->EditVolat},
        {ui->Label11, ui->EditRate},     {ui->Label9, ui->EditXOpen},
        {ui->Label10, ui->EditWeekEnd},  {ui->Label14, ui->EditShare},
        {ui->Label15, ui->EditWarrant}};
    for (const auto& [label, input] : buddies) {
        label->setBuddy(input);
        input->setAccessibleName(label->text());
    }
    // The label's own text is cut short; the whole name is a hover away.
    ui->Label12->setToolTip(QStringLiteral("SG:n knock-out-marginaali (Turbo (SG))"));
    ui->EditSGMarg->setToolTip(ui->Label12->toolTip());
    ui->EditSGMarg->setAccessibleDescription(ui->Label12->toolTip());
    ui->RadioGroupType->setAccessibleName(QStringLiteral("Tyyppi"));
    ui->RadioGroupCallPut->setAccessibleName(QStringLiteral("Call/put"));
    ui->Memo1->setAccessibleName(QStringLiteral("Solmujen hinnat ja nykyarvot"));

    ui->ButtonCalculate->setText(QStringLiteral("&Laske"));
    ui->allennatulokset1->setShortcut(QKeySequence::Save);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &TForm1::CancelWork);

    // Enter in any input calculates; the focus moves down the two columns
    // row by row, as the inputs stand.
    QList<QWidget*> order = {ui->DateNow, ui->DateExpiry};
    for (QRadioButton* button : ui->RadioGroupType->findChildren<QRadioButton*>()) order << button;
    order << ui->EditStrike;
    for (QRadioButton* button : ui->RadioGroupCallPut->findChildren<QRadioButton*>())
        order << button;
    order << ui->EditMultiplier << ui->EditSGMarg << ui->DateDivid << ui->EditDivid
          << ui->ButtonDividends << ui->EditPriceMin << ui->EditPriceMax << ui->EditPriceSteps
          << ui->EditTimeSteps << ui->EditVolat << ui->EditRate << ui->EditXOpen << ui->EditWeekEnd
          << ui->ButtonCalculate << ui->EditShare << ui->EditWarrant << ui->ButtonSolve << ui->Memo1
          << ui->Button1;
    for (qsizetype i = 0; i + 1 < order.size(); ++i) setTabOrder(order[i], order[i + 1]);
    for (QWidget* input : order)
        if (input != ui->ButtonCalculate && input != ui->ButtonSolve && input != ui->Memo1 &&
            input != ui->Button1 && input != ui->ButtonDividends)
            input->installEventFilter(this);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !Busy()) {
            ui->ButtonCalculate->click();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

namespace {

// Converts an edit box's text; a failure names the input's label and its text.
template <class Convert>
auto ReadField(const QLineEdit* edit, const QLabel* label, const char* kind, Convert convert) {
    const QString text = edit->text();
    try {
        return convert(text.toStdString());
    } catch (const EConvertError&) {
        throw FieldError(QStringLiteral("Virheellinen %1 kentässä \"%2\": \"%3\"")
                             .arg(QString::fromUtf8(kind), label->text(), text));
    }
}

} // namespace

long double TForm1::ReadFloat(const QLineEdit* edit, const QLabel* label) const {
    return ReadField(edit, label, "luku", [](const std::string& t) { return StrToFloat(t); });
}

int TForm1::ReadInt(const QLineEdit* edit, const QLabel* label) const {
    return ReadField(edit, label, "kokonaisluku", [](const std::string& t) { return StrToInt(t); });
}

void TForm1::ReadInputs() {
    CWarrant& warrant = inputs_.Warrant;
    warrant.ProductType = ui->RadioGroupType->ItemIndex();
    warrant.IsCall = ui->RadioGroupCallPut->ItemIndex() == 0;
    warrant.Strike = static_cast<double>(ReadFloat(ui->EditStrike, ui->Label3));
    warrant.Expiry = PickerSerial(ui->DateExpiry);
    warrant.Multiplier = static_cast<double>(ReadFloat(ui->EditMultiplier, ui->Label13));
    warrant.Volatility = FromPercent(ReadFloat(ui->EditVolat, ui->Label8));
    warrant.DividendDate = PickerSerial(ui->DateDivid);
    warrant.Dividend = static_cast<double>(ReadFloat(ui->EditDivid, ui->Label17));
    warrant.MoreDividends = moreDividends_;
    warrant.KnockOutMargin = warrant.ProductType == kTurboSG
                                 ? static_cast<double>(ReadFloat(ui->EditSGMarg, ui->Label12))
                                 : 0.0;
    inputs_.ValuationTime = PickerSerial(ui->DateNow);
    inputs_.StepsPerDay = ReadInt(ui->EditTimeSteps, ui->Label7);
    inputs_.OpenFraction = FromPercent(ReadFloat(ui->EditXOpen, ui->Label9));
    inputs_.WeekendWeight = WeekendWeightFromDays(ReadFloat(ui->EditWeekEnd, ui->Label10));
    inputs_.Rate = FromPercent(ReadFloat(ui->EditRate, ui->Label11));
    try {
        inputs_.Closures = ClosureDays(ui->Vapaapaivat1->isChecked() ? kHelsinkiHolidays : "",
                                       closuresFile_, inputs_.ValuationTime, warrant.Expiry);
    } catch (const InputError& e) {
        throw FieldError(SentenceOf(e.what()));
    }
}

void TForm1::PickClosuresFile(bool checked) {
    closuresFile_.clear();
    ui->Lisasulkemiset1->setToolTip({});
    if (!checked) return;
    ui->Lisasulkemiset1->setChecked(false);
    const std::optional<QString> name = AskOpenFileName(
        {this,
         QStringLiteral("Lisäsulkemiset"),
         {QStringLiteral("Tekstitiedostot (*.txt)"), QStringLiteral("Kaikki tiedostot (*)")},
         closuresFolder_});
    if (!name) return;
    closuresFolder_ = QFileInfo(*name).absolutePath();
    try {
        ReadClosuresFile(name->toStdString());
    } catch (const InputError& e) {
        ShowErrorBox(SentenceOf(e.what()));
        return;
    }
    closuresFile_ = name->toStdString();
    ui->Lisasulkemiset1->setChecked(true);
    ui->Lisasulkemiset1->setToolTip(*name);
}

void TForm1::ButtonDividendsClick() {
    if (dividendsDialog_ == nullptr) {
        dividendsDialog_ = new DividendsDialog(this);
        connect(dividendsDialog_, &QDialog::accepted, this, [this] {
            moreDividends_ = dividendsDialog_->Dividends();
            ShowDividendCount();
            ShowDocumentState();
        });
    }
    dividendsDialog_->SetDividends(moreDividends_);
    dividendsDialog_->open();
}

WarrantListWindow* TForm1::OpenList(const QString& path) {
    if (listWindow_ == nullptr) {
        listWindow_ = new WarrantListWindow(this);
        connect(listWindow_, &WarrantListWindow::RowOpened, this,
                [this](const InputTexts& texts) { ShowInForm(*this, texts); });
        const QString last = WarrantListWindow::LastList();
        if (!path.isEmpty())
            listWindow_->OpenList(path);
        else if (!last.isEmpty() && QFile::exists(last))
            listWindow_->OpenList(last);
    } else if (!path.isEmpty()) {
        listWindow_->OpenList(path);
    }
    listWindow_->show();
    listWindow_->raise();
    return listWindow_;
}

void TForm1::AddToList() {
    OpenList()->AddRow(FormTexts());
}

void TForm1::ShowDividendCount() {
    ui->ButtonDividends->setText(moreDividends_.empty()
                                     ? QStringLiteral("Lisää…")
                                     : QStringLiteral("Lisää… (%1)").arg(moreDividends_.size()));
}

bool TForm1::Busy() const {
    return job_->Busy();
}

void TForm1::WaitUntilIdle() {
    // A finished job may start the next (Hae calculates after solving).
    while (Busy()) {
        QEventLoop loop;
        connect(job_, &BackgroundJob::Finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

bool TForm1::PrepareInputs(RefusedCommand command) {
    ReadInputs();
    const std::string refusal = DateRangeRefusalText(inputs_, command, RefusalForm::Box);
    if (refusal.empty()) return true;
    ShowMessage(QString::fromStdString(refusal));
    return false;
}

bool TForm1::ConfirmLongValuation(bool withFigures) {
    CWorkload work;
    int32_t steps = 0, nodes = 0;
    if (!WorkloadOf(inputs_, withFigures, work) || !LatticeSize(inputs_, steps, nodes)) return true;
    if (work.Updates * (1 + work.Revaluations) < kUpdatesWorthEstimating) return true;
    if (!speed_) speed_ = MeasureKernelSpeed();
    const double seconds = EstimatedSeconds(work, *speed_);
    if (seconds <= kAskAboveSeconds) return true;
    return AskYesNo(QStringLiteral("%1 kestää arviolta %2 s (%3 aika-askelta, %4 hintatasoa). "
                                   "Jatketaanko?")
                        .arg(withFigures ? QStringLiteral("Laskenta tunnuslukuineen")
                                         : QStringLiteral("Laskenta"))
                        .arg(QString::fromLatin1(FloatToStrF(seconds, TFloatFormat::ffGeneral, 2, 0,
                                                             DecimalSeparator())))
                        .arg(steps)
                        .arg(nodes));
}

void TForm1::CheckMemory() {
    CLatticeSize size;
    if (!LatticeSize(inputs_, size)) return;
    // A build of the spare record's shape refills its rows instead of
    // allocating new ones.
    const bool sameShape = work_.Allocated && work_.NodeCount == size.NodeCount &&
                           work_.DayValues.size() == static_cast<size_t>(size.DayCount);
    const std::string refusal =
        MemoryRefusalText(size.Bytes(!sameShape), UsableMemoryBytes(), DecimalSeparator());
    if (!refusal.empty()) throw ServiceRefusal(refusal);
}

void TForm1::ButtonCalculateClick() {
    if (Busy()) {
        CancelWork();
        return;
    }
    Guarded([this] {
        const std::optional<CImpliedVolatility> solved =
            std::exchange(solvedForNext_, std::nullopt);
        if (!PrepareInputs(RefusedCommand::Calculate)) return;
        auto run = std::make_shared<ValuationRun>();
        // With the volatility search shown, the figures come at its share price.
        if (!ui->GroupBox1->isHidden()) run->share = ReadShare();
        CheckMemory();
        if (!ConfirmLongValuation(run->share.has_value())) return;
        CopyInputs(inputs_, work_);
        StartWork(
            QStringLiteral("Lasketaan…"), [this, run] { RunValuation(*run); },
            [this, run, solved] { AcceptValuation(*run, solved); }, true);
    });
}

void TForm1::RunValuation(ValuationRun& run) {
    using Clock = std::chrono::steady_clock;
    const auto since = [](Clock::time_point t) {
        return std::chrono::duration<double>(Clock::now() - t).count();
    };
    const auto start = Clock::now();
    if (!BuildLattice(work_)) return;
    const int32_t days = work_.DayCount;
    job_->Days = days;
    job_->Total = days * (run.share ? 1 + kFigureRevaluations : 1);
    run.complete = RollBack(work_, [this](int32_t done) {
        job_->Done = done;
        return !job_->StopRequested();
    });
    run.valuationSeconds = since(start);
    workFigures_.reset();
    if (run.complete && run.share) {
        const auto figuresStart = Clock::now();
        job_->FiguresDone = 0;
        workFigures_ =
            FiguresAt(work_, *run.share, true, [this, days](const CRevaluationProgress& p) {
                job_->FiguresDone = p.Finished;
                job_->Done = days + static_cast<int>(p.DaysDone);
                return !job_->StopRequested();
            });
        run.complete = !workFigures_->Stopped;
        run.figuresSeconds = since(figuresStart);
    }
    if (run.complete) workListing_ = QString::fromLatin1(ListingText(work_));
}

void TForm1::AcceptValuation(const ValuationRun& run,
                             const std::optional<CImpliedVolatility>& solved) {
    if (!run.complete) {
        statusBar()->showMessage(QStringLiteral("Laskenta peruttu; edelliset tulokset ennallaan."));
        return;
    }
    CWorkload work;
    if (speed_ && WorkloadOf(work_, run.share.has_value(), work))
        LearnSpeed(*speed_, work, run.valuationSeconds, run.figuresSeconds);
    // The new valuation replaces the old whole; the old arrays are refilled
    // by the next build of the same shape.
    std::swap(grid_, work_);
    share_ = run.share;
    figures_ = std::exchange(workFigures_, std::nullopt);
    solved_ = solved;
    ShowValuation();
}

void TForm1::ShowValuation() {
    ui->EditPriceSteps->setText(QString::number(grid_.NodeCount));
    ui->EditPriceMax->setText(GeneralText(grid_.PriceMax));
    ui->EditPriceMin->setText(GeneralText(grid_.PriceMin));
    // The boxes keep their four digits (2,247E004); the whole price is a hover away.
    for (auto [edit, price] :
         {std::pair{ui->EditPriceMax, grid_.PriceMax}, std::pair{ui->EditPriceMin, grid_.PriceMin}})
        edit->setToolTip(QString::fromStdString(ReadableNumber(price, 10, DecimalSeparator())));
    // One replacement instead of a line at a time: thousands of lines
    // then appear at once.
    ui->Memo1->setPlainText(std::exchange(workListing_, QString()));
    QString status =
        QStringLiteral("Laskettu: %1, %2.")
            .arg(QString::fromUtf8(Counted(grid_.NodeCount, "hintataso", "hintatasoa")),
                 QString::fromUtf8(
                     Counted(grid_.DayCount, "kaupankäyntipäivä", "kaupankäyntipäivää")));
    if (solved_)
        status =
            QStringLiteral("Implisiittinen volatiliteetti %1 % (%2). ")
                .arg(QString::fromLatin1(VolatilityPercentText(*solved_, DecimalSeparator())),
                     QString::fromUtf8(Counted(solved_->Valuations, "arvostus", "arvostusta"))) +
            status;
    statusBar()->showMessage(status, 15000);
    ui->Memo1->setExtraSelections({}); // a mark of an earlier listing
    if (share_) MarkShareInListing(*share_);
    if (figures_) {
        OpenFigures();
        const auto number = [](double x) {
            return QString::fromStdString(ReadableNumber(x, 6, DecimalSeparator()));
        };
        if (figures_->OffLattice)
            figuresWindow_->Clear(
                QStringLiteral("Osakkeen hinta %1 on hilan hinta-alueen ulkopuolella "
                               "(%2 – %3): tunnuslukuja ei voi laskea tällä hinnalla.")
                    .arg(number(figures_->Share), number(grid_.PriceMin), number(grid_.PriceMax)));
        else
            figuresWindow_->SetFigures(*figures_, solved_);
    } else if (figuresWindow_ != nullptr) {
        figuresWindow_->Clear(QStringLiteral("Viimeisin laskenta ei ollut Osake-kentän hinnalla."));
    }
    ui->Arvokayra1->setEnabled(true);
    ui->Skenaariot1->setEnabled(true);
    if (chartWindow_ != nullptr) chartWindow_->SetGrid(grid_, share_);
    if (scenarioWindow_ != nullptr) scenarioWindow_->SetGrid(grid_, share_);
}

double TForm1::ReadShare() const {
    return static_cast<double>(ReadFloat(ui->EditShare, ui->Label14));
}

void TForm1::MarkShareInListing(double share) {
    // Outside the lattice no node stands for the price: nothing is marked.
    if (!grid_.Allocated || grid_.NodeCount < 1 || share < grid_.Prices.front() ||
        share > grid_.Prices.back())
        return;
    int nearest = 0;
    for (int i = 1; i < grid_.NodeCount; ++i)
        if (std::abs(grid_.Prices[i] - share) < std::abs(grid_.Prices[nearest] - share))
            nearest = i;
    QTextCursor cursor(ui->Memo1->document()->findBlockByNumber(nearest));
    ui->Memo1->setTextCursor(cursor);
    ui->Memo1->centerCursor();
    QTextEdit::ExtraSelection mark;
    mark.cursor = cursor;
    mark.format.setBackground(palette().highlight());
    mark.format.setForeground(palette().highlightedText());
    mark.format.setProperty(QTextFormat::FullWidthSelection, true);
    ui->Memo1->setExtraSelections({mark});
}

void TForm1::ButtonSolveClick() {
    if (Busy()) return;
    Guarded([this] {
        if (!PrepareInputs(RefusedCommand::Calculate)) return;
        const double share = ReadShare();
        const double price = static_cast<double>(ReadFloat(ui->EditWarrant, ui->Label15));
        const CGrid inputs = GridInputs(inputs_);
        auto solved = std::make_shared<CImpliedVolatility>();
        StartWork(
            QStringLiteral("Haetaan volatiliteettia…"),
            [this, inputs, share, price, solved] {
                job_->Total = -1; // valuations, their number unknown ahead
                *solved = SolveImpliedVolatility(inputs, share, price, [this](int32_t valuations) {
                    job_->Done = valuations;
                    return !job_->StopRequested();
                });
            },
            [this, price, solved] {
                const char separator = DecimalSeparator();
                if (solved->Outcome == VolatilityOutcome::Stopped) {
                    statusBar()->showMessage(QStringLiteral("Volatiliteettihaku peruttu."));
                    return;
                }
                if (solved->Outcome != VolatilityOutcome::Solved) {
                    ShowMessage(QString::fromUtf8(VolatilityRefusal(*solved, price, separator)));
                    return;
                }
                // As if typed: the listing, the figures and a later save all
                // use the volatility shown.
                ui->EditVolat->setText(
                    QString::fromLatin1(SolvedVolatilityInput(*solved, separator)));
                solvedForNext_ = *solved;
                ButtonCalculateClick();
            },
            true);
    });
}

void TForm1::ShowVolatilitySearch(bool shown) {
    // The group widens the input column: the form grows so that the
    // listing keeps its width.
    const int listingWidth = ui->Memo1->width();
    ui->GroupBox1->setVisible(shown);
    centralWidget()->layout()->activate();
    if (shown && ui->Memo1->width() < listingWidth)
        resize(width() + listingWidth - ui->Memo1->width(), height());
    ui->GroupBox1->setEnabled(shown);
    ui->ButtonSolve->setEnabled(shown && !Busy());
    ui->Volatiliteettihaku1->setChecked(shown);
}

void TForm1::ShowCheckButton(bool shown) {
    ui->Button1->setVisible(shown);
    ui->Button1->setEnabled(shown && !Busy());
    ui->Tarkastaparametrit1->setChecked(shown);
}

void TForm1::OpenFigures() {
    if (figuresWindow_ == nullptr) figuresWindow_ = new FiguresWindow(this);
    figuresWindow_->show();
}

namespace {

// Opens a window drawn from the grid, made on first use; later valuations
// redraw it through SetGrid.
template <class Window>
void OpenGridWindow(Window*& window, QWidget* parent, const CGrid& grid,
                    std::optional<double> share) {
    if (!grid.Allocated) return;
    if (window == nullptr) {
        window = new Window(parent);
        window->setWindowFlag(Qt::Window);
        window->SetGrid(grid, share);
    }
    window->show();
    window->raise();
}

} // namespace

void TForm1::OpenChart() {
    OpenGridWindow(chartWindow_, this, grid_, share_);
}

void TForm1::OpenScenarios() {
    // A document's rows are the user's own from the first grid on.
    if (scenarioWindow_ == nullptr && grid_.Allocated && !pendingScenario_.empty()) {
        scenarioWindow_ = new ScenarioWindow(this);
        scenarioWindow_->setWindowFlag(Qt::Window);
        scenarioWindow_->SetSettings(std::exchange(pendingScenario_, {}));
        scenarioWindow_->SetGrid(grid_, share_);
    }
    OpenGridWindow(scenarioWindow_, this, grid_, share_);
}

void TForm1::Button1Click() {
    if (Busy()) return;
    Guarded([this] {
        if (!PrepareInputs(RefusedCommand::Check)) return;
        // The check builds into the spare record: the last valuation stays
        // what the listing shows and a save writes.
        CopyInputs(inputs_, work_);
        StartWork(
            QStringLiteral("Tarkastetaan…"), [this] { BuildLattice(work_); },
            [this] {
                ShowMessage(QString::fromUtf8(TimeStepVerdict(work_.PMid, DecimalSeparator())));
            },
            false);
    });
}

void TForm1::Tallennatulokset1Click() {
    const char separator = DecimalSeparator();
    SaveInBackground(SaveTextFileDialog1, [this, separator](const std::string& path) {
        return WriteResultsFile(path, grid_, separator);
    });
}

void TForm1::ExportGridClick() {
    SaveInBackground(GridFileDialog, [this](const std::string& path) {
        return SaveFile(path, [this](const SaveSink& sink) { return ProduceGridCsv(grid_, sink); });
    });
}

void TForm1::SaveInBackground(TSaveTextFileDialog& dialog,
                              std::function<SaveStatus(const std::string& path)> write) {
    if (Busy()) return;
    Guarded([&] {
        if (!dialog.Execute()) return;
        const QString name = dialog.GetFileName();
        const std::string path = QFile::encodeName(name).toStdString();
        auto status = std::make_shared<SaveStatus>(SaveStatus::Ok);
        // Nothing writes grid_ while the job runs: Laske and the check wait.
        StartWork(
            QStringLiteral("Tallennetaan…"),
            [path, status, write = std::move(write)] { *status = write(path); },
            [name, status] {
                if (*status != SaveStatus::Ok)
                    ShowErrorBox(SentenceOf(SaveFailureText(*status, name.toStdString())));
            },
            false);
    });
}

void TForm1::Poistu1Click() {
    close();
}

void TForm1::CancelWork() {
    if (!Busy()) return;
    job_->RequestStop();
    statusBar()->showMessage(QStringLiteral("Peruutetaan…"));
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!MayDropChanges()) {
        event->ignore();
        return;
    }
    if (useSettings_) SaveSettings();
    // A valuation stops at its next trading day; its results are dropped.
    job_->RequestStop();
    job_->Wait();
    ShowRunning(false, false);
    event->accept();
}

void TForm1::StartWork(const QString& status, std::function<void()> work,
                       std::function<void()> done, bool cancellable) {
    ShowRunning(true, cancellable, status);
    job_->Start(std::move(work), [this, done = std::move(done)](std::exception_ptr error) {
        ShowRunning(false, false);
        Guarded([&] {
            if (error) std::rethrow_exception(error);
            done();
        });
    });
}

void TForm1::ShowRunning(bool running, bool cancellable, const QString& status) {
    // Laske turns into its own cancel button; nothing else may start.
    ui->ButtonCalculate->setText(running && cancellable ? QStringLiteral("&Peruuta")
                                                        : QStringLiteral("&Laske"));
    ui->ButtonCalculate->setEnabled(!running || cancellable);
    ui->allennatulokset1->setEnabled(!running);
    ui->Viearvotaulukko1->setEnabled(!running);
    ui->ButtonSolve->setEnabled(!running && !ui->GroupBox1->isHidden());
    ui->Button1->setEnabled(!running && !ui->Button1->isHidden());
    if (running) {
        statusBar()->showMessage(status);
        progress_->setRange(0, 0);
        progress_->show();
        progressTimer_->start();
    } else {
        statusBar()->clearMessage();
        progress_->hide();
        progressTimer_->stop();
    }
}

void TForm1::ShowProgress() {
    const int total = job_->Total;
    if (total < 0) {
        statusBar()->showMessage(
            QStringLiteral("Haetaan volatiliteettia… %1 valmiina")
                .arg(QString::fromUtf8(Counted(job_->Done.load(), "arvostus", "arvostusta"))));
        return;
    }
    if (total <= 0) return; // still building: a busy bar
    progress_->setRange(0, total);
    progress_->setValue(job_->Done);
    const int figures = job_->FiguresDone;
    progress_->setFormat(
        figures >= 0 ? QStringLiteral("Tunnusluvut %1/%2").arg(figures).arg(kFigureRevaluations)
                     : QStringLiteral("%1 / %2 päivää")
                           .arg(std::min(job_->Done.load(), job_->Days.load()))
                           .arg(job_->Days.load()));
}

void TForm1::Guarded(const std::function<void()>& command) {
    try {
        command();
    } catch (const FieldError& e) {
        ShowErrorBox(e.Message());
    } catch (const EConvertError& e) {
        ShowErrorBox(QStringLiteral("Virheellinen luku: \"%1\"").arg(QString::fromUtf8(e.Text())));
    } catch (const EngineError& e) {
        ShowErrorBox(QStringLiteral("Laskenta keskeytyi: ") +
                     QString::fromStdString(RefusalText(e)));
    } catch (const ServiceRefusal& e) {
        ShowErrorBox(QStringLiteral("Laskenta keskeytyi: ") + QString::fromUtf8(e.what()));
    } catch (const InputError& e) {
        ShowErrorBox(SentenceOf(e.what()));
    } catch (const std::bad_alloc&) {
        ShowErrorBox(QStringLiteral("Muisti ei riitä laskentaan."));
    } catch (const std::exception& e) {
        ShowErrorBox(QStringLiteral("Odottamaton virhe: ") + QString::fromUtf8(e.what()));
    } catch (...) {
        ShowErrorBox(QStringLiteral("Odottamaton virhe."));
    }
}

// ---- Calculation documents and preferences

namespace {

constexpr const char* kTypeNames[] = {"normal", "turbo-shb", "turbo-sg"};

// The inputs kept as numbers, by their edit boxes.
struct NumberField {
    const char* name;
    QLineEdit* Ui::TForm1::*edit;
};
constexpr NumberField kNumberFields[] = {
    {"strike", &Ui::TForm1::EditStrike},
    {"multiplier", &Ui::TForm1::EditMultiplier},
    {"margin", &Ui::TForm1::EditSGMarg},
    {"dividend", &Ui::TForm1::EditDivid},
    {"steps-per-day", &Ui::TForm1::EditTimeSteps},
    {"volatility", &Ui::TForm1::EditVolat},
    {"rate", &Ui::TForm1::EditRate},
    {"open", &Ui::TForm1::EditXOpen},
    {"weekend", &Ui::TForm1::EditWeekEnd},
    {"share", &Ui::TForm1::EditShare},
    {"price", &Ui::TForm1::EditWarrant},
};

QSettings UserSettings() {
    return QSettings(QStringLiteral("kelvarolaskuri"), QStringLiteral("kelvarolaskuri"));
}

std::string Utf8(const QString& text) {
    return text.toStdString();
}

// A date (and time) as ReadWarrant reads it, checked there before.
QDateTime DateTimeOf(const std::string& text, QTime timeWithout) {
    const std::optional<DateTimeFields> f = ParseDateTimeFields(text, true);
    if (!f) return {};
    return QDateTime(QDate(f->Year, f->Month, f->Day),
                     f->HasTime ? QTime(f->Hour, f->Minute) : timeWithout);
}

} // namespace

InputTexts TForm1::FormTexts() const {
    InputTexts texts;
    const int type = ui->RadioGroupType->ItemIndex();
    if (type >= 0 && type < static_cast<int>(std::size(kTypeNames)))
        texts["type"] = kTypeNames[type];
    texts["side"] = ui->RadioGroupCallPut->ItemIndex() == 1 ? "put" : "call";
    for (const NumberField& field : kNumberFields)
        texts[field.name] = Utf8((ui->*field.edit)->text());
    texts["valuation"] = Utf8(ui->DateNow->dateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    texts["expiry"] = Utf8(ui->DateExpiry->date().toString(Qt::ISODate));
    // The dividend's time of day is the close unless a document said otherwise.
    QString dividendDate = ui->DateDivid->date().toString(Qt::ISODate);
    if (ui->DateDivid->time() != QTime(18, 20))
        dividendDate += ui->DateDivid->time().toString(QStringLiteral(" HH:mm"));
    texts["dividend-date"] = Utf8(dividendDate);
    if (!moreDividends_.empty()) {
        std::string list;
        for (const CDividend& d : moreDividends_) {
            list += Utf8(SerialToDateTime(d.Date).date().toString(Qt::ISODate)) + ':';
            AppendShortest(list, d.Amount);
            list += ';';
        }
        texts["dividends"] = list;
    }
    if (ui->Vapaapaivat1->isChecked()) texts["holidays"] = kHelsinkiHolidays;
    if (!closuresFile_.empty()) texts["closures"] = closuresFile_;
    return texts;
}

void TForm1::SetFormTexts(const InputTexts& texts) {
    const auto text = [&texts](std::string_view name) {
        const auto it = texts.find(name);
        return it != texts.end() ? it->second : std::string();
    };
    for (int i = 0; i < static_cast<int>(std::size(kTypeNames)); ++i)
        if (text("type") == kTypeNames[i]) ui->RadioGroupType->SetItemIndex(i);
    ui->RadioGroupCallPut->SetItemIndex(text("side") == "put" ? 1 : 0);
    // Documents hold numbers with a point, list rows with either; the form
    // shows the regional separator.
    const QChar separator = QChar::fromLatin1(DecimalSeparator());
    for (const NumberField& field : kNumberFields)
        (ui->*field.edit)
            ->setText(QString::fromStdString(text(field.name))
                          .replace(QLatin1Char('.'), separator)
                          .replace(QLatin1Char(','), separator));
    if (const QDateTime t = DateTimeOf(text("valuation"), QTime(10, 0)); t.isValid())
        ui->DateNow->setDateTime(t);
    if (const QDateTime t = DateTimeOf(text("expiry"), QTime(18, 20)); t.isValid())
        ui->DateExpiry->setDate(t.date());
    if (const QDateTime t = DateTimeOf(text("dividend-date"), QTime(18, 20)); t.isValid()) {
        ui->DateDivid->setDate(t.date());
        ui->DateDivid->setTime(t.time());
    }
    moreDividends_ = ReadDividends("--dividends", text("dividends"));
    ShowDividendCount();
    ui->Vapaapaivat1->setChecked(text("holidays") == kHelsinkiHolidays);
    closuresFile_ = text("closures");
    ui->Lisasulkemiset1->setChecked(!closuresFile_.empty());
    ui->Lisasulkemiset1->setToolTip(QString::fromStdString(closuresFile_));
}

CalculationDocument TForm1::FormDocument() const {
    CalculationDocument document{FormTexts(), {}};
    const char separator = DecimalSeparator();
    for (const NumberField& field : kNumberFields)
        if (auto it = document.Inputs.find(field.name); it != document.Inputs.end())
            std::replace(it->second.begin(), it->second.end(), separator, '.');
    if (ui->GroupBox1->isHidden()) {
        document.Inputs.erase("share");
        document.Inputs.erase("price");
    }
    document.Scenario = scenarioWindow_ != nullptr ? scenarioWindow_->Settings() : pendingScenario_;
    return document;
}

bool TForm1::DocumentModified() const {
    return !documentPath_.isEmpty() && FormTexts() != savedTexts_;
}

bool TForm1::MayDropChanges() {
    if (!DocumentModified()) return true;
    return AskYesNo(QStringLiteral("Laskelmaan \"%1\" on tehty muutoksia, joita ei ole "
                                   "tallennettu. Hylätäänkö muutokset?")
                        .arg(QFileInfo(documentPath_).fileName()));
}

bool TForm1::OpenCalculation(const QString& path) {
    if (!MayDropChanges()) return false;
    CalculationDocument document;
    try {
        document = ReadDocumentFile(QFile::encodeName(path).toStdString());
    } catch (const InputError& e) {
        ShowErrorBox(SentenceOf(e.what()));
        return false;
    }
    InputTexts texts = defaultTexts_;
    for (const auto& [name, text] : document.Inputs) texts.insert_or_assign(name, text);
    SetFormTexts(texts);
    if (document.Inputs.contains("share")) ShowVolatilitySearch(true);
    if (scenarioWindow_ != nullptr)
        scenarioWindow_->SetSettings(document.Scenario);
    else
        pendingScenario_ = document.Scenario;
    documentPath_ = path;
    savedTexts_ = FormTexts();
    RememberRecent(path);
    ShowDocumentState();
    // Opening never calculates: an old document's expiry would only be refused.
    statusBar()->showMessage(
        QStringLiteral("Laskelma %1 avattu. Laske laskee sen.").arg(QFileInfo(path).fileName()));
    return true;
}

bool TForm1::SaveCalculation(const QString& path) {
    bool saved = false;
    Guarded([&] {
        // The same checks as Laske, each failure naming its field.
        ReadInputs();
        if (!ui->GroupBox1->isHidden()) {
            ReadShare();
            ReadFloat(ui->EditWarrant, ui->Label15);
        }
        const SaveStatus status =
            SaveDocument(QFile::encodeName(path).toStdString(), FormDocument());
        if (status != SaveStatus::Ok) {
            ShowErrorBox(SentenceOf(SaveFailureText(status, path.toStdString())));
            return;
        }
        documentPath_ = path;
        savedTexts_ = FormTexts();
        RememberRecent(path);
        ShowDocumentState();
        statusBar()->showMessage(
            QStringLiteral("Laskelma tallennettu: %1").arg(QFileInfo(path).fileName()), 15000);
        saved = true;
    });
    return saved;
}

void TForm1::OpenCalculationClick() {
    const std::optional<QString> name = AskOpenFileName(
        {this,
         QStringLiteral("Avaa laskelma"),
         {QStringLiteral("Laskelma (*.kelvaro)"), QStringLiteral("Kaikki tiedostot (*)")},
         documentFolder_});
    if (!name) return;
    documentFolder_ = QFileInfo(*name).absolutePath();
    OpenCalculation(*name);
}

void TForm1::SaveCalculationClick() {
    DocumentFileDialog.SetFileName(!documentPath_.isEmpty()    ? documentPath_
                                   : documentFolder_.isEmpty() ? QString()
                                                               : documentFolder_ + '/');
    if (!DocumentFileDialog.Execute()) return;
    const QString name = DocumentFileDialog.GetFileName();
    documentFolder_ = QFileInfo(name).absolutePath();
    SaveCalculation(name);
}

void TForm1::TrackChanges() {
    for (const NumberField& field : kNumberFields)
        connect(ui->*field.edit, &QLineEdit::textChanged, this, &TForm1::ShowDocumentState);
    for (QDateTimeEdit* picker :
         std::initializer_list<QDateTimeEdit*>{ui->DateNow, ui->DateExpiry, ui->DateDivid})
        connect(picker, &QDateTimeEdit::dateTimeChanged, this, &TForm1::ShowDocumentState);
    for (QRadioButton* button : findChildren<QRadioButton*>())
        connect(button, &QRadioButton::toggled, this, &TForm1::ShowDocumentState);
    for (QAction* action : {ui->Vapaapaivat1, ui->Lisasulkemiset1})
        connect(action, &QAction::toggled, this, &TForm1::ShowDocumentState);
}

void TForm1::ShowDocumentState() {
    // Without a document the title stays the program's own.
    if (documentPath_.isEmpty()) return;
    setWindowTitle(
        QStringLiteral("%1[*] – Kelvarolaskuri").arg(QFileInfo(documentPath_).fileName()));
    setWindowModified(DocumentModified());
}

void TForm1::RememberRecent(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    recent_.removeAll(absolute);
    recent_.prepend(absolute);
    while (recent_.size() > kRecentDocuments) recent_.removeLast();
    ShowRecent();
    if (useSettings_) UserSettings().setValue(QStringLiteral("recent/files"), recent_);
}

void TForm1::ShowRecent() {
    ui->Viimeisimmat1->clear();
    for (int i = 0; i < recent_.size(); ++i) {
        const QString path = recent_[i];
        QAction* action = ui->Viimeisimmat1->addAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()));
        action->setToolTip(path);
        connect(action, &QAction::triggered, this, [this, path] {
            // A document that has gone leaves the list.
            if (!OpenCalculation(path) && !QFileInfo::exists(path)) {
                recent_.removeAll(path);
                ShowRecent();
            }
        });
    }
    ui->Viimeisimmat1->setToolTipsVisible(true);
    ui->Viimeisimmat1->setEnabled(!recent_.isEmpty());
}

void TForm1::SetStartDaysAhead(int days) {
    if (std::find(std::begin(kStartDaysChoices), std::end(kStartDaysChoices), days) ==
        std::end(kStartDaysChoices))
        days = 0;
    startDaysAhead_ = days;
    for (QAction* action : ui->Aloitapaivamaarilla1->actions())
        action->setChecked(action->data().toInt() == days);
    if (useSettings_) UserSettings().setValue(QStringLiteral("start/daysAhead"), days);
}

void TForm1::ApplyStartDays() {
    if (startDaysAhead_ <= 0 || !documentPath_.isEmpty()) return;
    // The expiry on the weekday on or before the day.
    QDate expiry = QDate::currentDate().addDays(startDaysAhead_);
    while (expiry.dayOfWeek() > 5) expiry = expiry.addDays(-1);
    ui->DateNow->setDate(QDate::currentDate());
    ui->DateExpiry->setDate(expiry);
}

void TForm1::UseSettings() {
    useSettings_ = true;
    const QSettings settings = UserSettings();
    // The search group widens the window: the kept size comes after it.
    if (settings.value(QStringLiteral("show/volatilitySearch")).toBool())
        ShowVolatilitySearch(true);
    if (settings.value(QStringLiteral("show/checkButton")).toBool()) ShowCheckButton(true);
    if (settings.contains(QStringLiteral("window/geometry")))
        restoreGeometry(settings.value(QStringLiteral("window/geometry")).toByteArray());
    recent_ =
        settings.value(QStringLiteral("recent/files")).toStringList().mid(0, kRecentDocuments);
    ShowRecent();
    documentFolder_ = settings.value(QStringLiteral("folders/documents")).toString();
    closuresFolder_ = settings.value(QStringLiteral("folders/closures")).toString();
    for (auto [dialog, key] : {std::pair{&SaveTextFileDialog1, "folders/results"},
                               std::pair{&GridFileDialog, "folders/grid"}})
        if (const QString folder = settings.value(QLatin1String(key)).toString(); !folder.isEmpty())
            dialog->SetFileName(folder + '/');
    SetStartDaysAhead(settings.value(QStringLiteral("start/daysAhead"), 0).toInt());
    ApplyStartDays();
}

void TForm1::SaveSettings() const {
    QSettings settings = UserSettings();
    settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    settings.setValue(QStringLiteral("show/volatilitySearch"), !ui->GroupBox1->isHidden());
    settings.setValue(QStringLiteral("show/checkButton"), !ui->Button1->isHidden());
    settings.setValue(QStringLiteral("recent/files"), recent_);
    settings.setValue(QStringLiteral("folders/documents"), documentFolder_);
    settings.setValue(QStringLiteral("folders/closures"), closuresFolder_);
    for (auto [dialog, key] : {std::pair{&SaveTextFileDialog1, "folders/results"},
                               std::pair{&GridFileDialog, "folders/grid"}})
        if (!dialog->GetFileName().isEmpty())
            settings.setValue(QLatin1String(key), QFileInfo(dialog->GetFileName()).absolutePath());
    settings.setValue(QStringLiteral("start/daysAhead"), startDaysAhead_);
}

} // namespace kelvaro
