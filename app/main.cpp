// Kelvarolaskuri: values warrants on a share in one window.
#include "Dialogs.h"
#include "Kelvarounit1.h"
#include "Memory.h"
#include "Translations.h"
#include "ui_Kelvarounit1.h"

#include <QApplication>
#include <QScrollBar>
#include <QTimer>
#include <cstdlib>
#include <exception>

namespace {

// KELVARO_DEMO=1 (screenshots): expiry a year ahead on a weekday, then Laske,
// and the listing scrolled to the strike in the middle.
void StartDemo(TForm1& form) {
    QDate expiry = QDate::currentDate().addYears(1);
    while (expiry.dayOfWeek() > 5) expiry = expiry.addDays(-1);
    form.ui->DateExpiry->setDate(expiry);
    QTimer::singleShot(0, &form, [&form] {
        form.ButtonCalculateClick();
        form.WaitUntilIdle();
        QScrollBar* bar = form.ui->Memo1->verticalScrollBar();
        bar->setValue(bar->maximum() / 2);
    });
}

}  // namespace

int main(int argc, char* argv[]) {
    KeepFreedMemoryForReuse();
    QApplication application(argc, argv);
    InstallQtTranslations(application);
    try {
        TForm1 Form1;
        Form1.show();
        if (qEnvironmentVariableIntValue("KELVARO_DEMO") != 0) StartDemo(Form1);
        return application.exec();
    } catch (const std::exception& e) {
        ShowErrorBox(QStringLiteral("Kelvarolaskuri pysähtyi virheeseen: ") +
                     QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowErrorBox(QStringLiteral("Kelvarolaskuri pysähtyi tuntemattomaan virheeseen."));
    }
    // The box was shown; a script or session manager still learns of the failure.
    return EXIT_FAILURE;
}
